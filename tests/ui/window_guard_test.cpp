// The window around an update: a device held by another procedure, a device
// pulled during YES, an exception in a handler, a signal during the write,
// and rows whose device left before the end.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

#include "app/write_guard.h"
#include "chip/firmware_image.h"
#include "tests/support/simulated_machine.h"
#include "ui/demo/sim_bus_notifications.h"
#include "ui/fwupdate.h"

namespace vxe {
namespace {

const QString kFailed = QStringLiteral("                     Update    fail!!");

class GuardedWindow : public TR84xFwTool {
public:
    using TR84xFwTool::TR84xFwTool;
    void processMessages() override {
        if (onPump) std::exchange(onPump, nullptr)();
        TR84xFwTool::processMessages();
    }
    std::function<void()> onPump;
};

class WindowGuardTest : public ::testing::Test {
protected:
    WindowGuardTest() {
        InstallNotificationFactory([this] { return MakeSimulatedBusNotifications(machine.bus); });
        image.resize(LoadEmbeddedImage(image, 0, 0));
    }
    ~WindowGuardTest() override { InstallNotificationFactory(nullptr); }

    // An enclosure on the paged path, which lets messages through as it works.
    sim::Bridge& addEnclosure(const std::string& path) {
        sim::Bridge& b = machine.addDisk(path, sim::Vxe720Enclosure());
        b.fillFlash(0x00);
        return b;
    }
    std::unique_ptr<GuardedWindow> open() {
        auto w = std::make_unique<GuardedWindow>();
        settle();
        return w;
    }
    void settle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    test::SimulatedMachine machine;
    std::vector<uint8_t> image = std::vector<uint8_t>(65536, 0);
    const std::string path = test::UsbDiskPath(0);
};

TEST_F(WindowGuardTest, PulledDuringYesFailsAtOnceAndTheFailureOutlastsThePostponedRefresh) {
    addEnclosure(path);
    auto w = open();
    w->onPump = [&] {
        machine.bus.unplug(path);
        settle();
        machine.platform.clearRecords();
    };
    w->EraseButton->click();
    EXPECT_LT(machine.platform.sleptMs(), 100u) << "no polling of a device that is gone";
    EXPECT_EQ(w->DeviceCount, 0) << "the postponed refresh ran";
    EXPECT_EQ(w->devLable->text(), kFailed);
    EXPECT_FALSE(w->devLable->isHidden());

    machine.bus.remove(path);  // more removal notices change nothing
    settle();
    EXPECT_EQ(w->devLable->text(), kFailed);
    // A device plugged in after the update: the user has moved on.
    addEnclosure(test::UsbDiskPath(1));
    settle();
    EXPECT_EQ(w->devLable->text(), "Click 'Yes' to proceed with the firmware update");
}

TEST_F(WindowGuardTest, YesOnADeviceAnotherProcedureHoldsSendsNothingAndSaysSo) {
    sim::Bridge& b = addEnclosure(path);
    auto w = open();
    {
        const DeviceLock other = LockDevice(path.c_str());
        ASSERT_TRUE(other.held());
        b.clearLog();
        w->EraseButton->click();
        EXPECT_TRUE(b.log().empty());
        EXPECT_EQ(w->devLable->text(), "   Another program is updating this device");
        EXPECT_FALSE(w->devLable->isHidden());
        EXPECT_TRUE(w->EraseButton->isEnabled() && !w->EraseButton->isHidden()) << "YES stays offered";
        EXPECT_FALSE(w->UpdateRunning());
    }
    w->EraseButton->click();
    EXPECT_FALSE(w->replugLable1->isHidden()) << "done once the other procedure let go";
}

// Refresh, readout and the detach at the end each talk to a device only under
// its lock: one another procedure holds is not listed and is sent nothing.
TEST_F(WindowGuardTest, ADeviceAnotherProcedureHoldsIsNotListedAndIsSentNothing) {
    const std::string cdromPath = "\\\\?\\usbstor#cdrom&ven_corvane#2";
    addEnclosure(path);
    sim::Bridge& held = machine.addCdRom(cdromPath, sim::Vxe720Enclosure());
    std::optional<DeviceLock> other(LockDevice(cdromPath.c_str()));
    ASSERT_TRUE(other->held());
    auto w = open();
    EXPECT_EQ(w->DeviceList->count(), 1);
    EXPECT_TRUE(held.log().empty());
    const std::string why = LockRefusal(LockDevice(cdromPath.c_str()), cdromPath) + "; not listed";
    const auto& lines = machine.platform.debugLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), why + "\n"), lines.end());
    EXPECT_EQ(w->devLable->toolTip().toStdString(), why);
    EXPECT_EQ(w->devLable->text(), "Click 'Yes' to proceed with the firmware update") << "the one-click set as it was";

    other.reset();
    w->RefreshBtn->click();
    ASSERT_EQ(w->DeviceList->count(), 2);
    EXPECT_TRUE(w->devLable->toolTip().isEmpty());
    // Taken by the other procedure again before the readout and the close.
    other.emplace(LockDevice(cdromPath.c_str()));
    held.clearLog();
    w->DeviceList->setCurrentIndex(1);
    w->UpdateBtnCheck(w->DeviceList);
    EXPECT_TRUE(held.log().empty());
    EXPECT_EQ(w->StatusEdit->text().toStdString(), LockRefusal(LockDevice(cdromPath.c_str()), cdromPath));
    ASSERT_EQ(w->DeviceTable[1].DetachAtExit, 1);
    w.reset();
    EXPECT_EQ(held.counters().hostDetach, 0u);
}

TEST_F(WindowGuardTest, AnExceptionInAnUpdateGivesTheSlotBackSoTheWindowCloses) {
    addEnclosure(path);
    auto w = open();
    w->show();
    w->onPump = [] { throw std::runtime_error("out of memory"); };
    EXPECT_THROW(w->EraseButtonClick(w->EraseButton), std::runtime_error);
    EXPECT_FALSE(w->UpdateRunning());
    w->ExtBtn->click();
    EXPECT_FALSE(w->isVisible());
}

#ifndef _WIN32
// (Windows holds back the console's control events, not raised signals.)
TEST_F(WindowGuardTest, ASignalDuringTheWriteWaitsForTheVerifiedFlashThenEndsTheProgram) {
    sim::Bridge& b = addEnclosure(path);
    auto w = open();
    w->show();
    w->onPump = [] { std::raise(SIGTERM); };
    w->EraseButton->click();
    EXPECT_FALSE(w->replugLable1->isHidden()) << "the update was carried to its end";
    EXPECT_TRUE(std::equal(image.begin() + 128, image.end(), b.flash().begin() + 128));
    EXPECT_EQ(w->ExitStatus(), 143);
    EXPECT_FALSE(w->isVisible());
}
#endif

TEST_F(WindowGuardTest, ARowWhoseDeviceLeftIsNotDetachedAtTheEnd) {
    const std::string cdromPath = "\\\\?\\usbstor#cdrom&ven_corvane#2";
    sim::Bridge& cdrom = machine.addCdRom(cdromPath, sim::Vxe720Enclosure());
    auto w = open();
    ASSERT_EQ(w->DeviceTable[0].DetachAtExit, 1);
    // During an update the enclosure is pulled and another takes its node;
    // the window is closed before a refresh could look again.
    ASSERT_TRUE(w->BeginUpdate());
    machine.bus.unplug(cdromPath);
    settle();
    machine.bus.plug(cdromPath);
    settle();
    w->close();
    w->EndUpdate();
    w.reset();
    EXPECT_EQ(cdrom.counters().hostDetach, 0u);
}

}  // namespace
}  // namespace vxe
