// The one-click window from start to end over simulated enclosures: the
// states, YES on every path, device notices in every state, the end.
#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "chip/firmware_image.h"
#include "flash/one_click_update.h"
#include "tests/support/simulated_machine.h"
#include "tests/support/wire_log.h"
#include "ui/application.h"
#include "ui/demo/sim_bus_notifications.h"
#include "ui/fwupdate.h"

namespace vxe {
namespace {

enum class State { Ready, NothingToDo, Updating, Done, Failed, Unknown };

const char* Name(State s) {
    switch (s) {
        case State::Ready: return "Ready";
        case State::NothingToDo: return "Nothing to do";
        case State::Updating: return "Updating";
        case State::Done: return "Done";
        case State::Failed: return "Failed";
        default: return "unknown";
    }
}

bool Shown(const QWidget* w) { return !w->isHidden(); }
// The colour the label really draws its text in.
bool Red(const QLabel* l) { return l->palette().color(l->foregroundRole()) == QColor(255, 0, 0); }

// Reads the one-click set the way a user sees it.
State StateOf(const TR84xFwTool& w) {
    const QString text = w.devLable->text();
    if (Shown(w.FwUpdatBar) && !Shown(w.devLable) && Shown(w.EraseButton) && !w.EraseButton->isEnabled())
        return State::Updating;
    if (Shown(w.devLable) && !Red(w.devLable) && text == "Click 'Yes' to proceed with the firmware update" &&
        Shown(w.EraseButton) && w.EraseButton->isEnabled() && Shown(w.ExitBtn) && w.ExitBtn->isEnabled() &&
        !Shown(w.ExtBtn) && !Shown(w.replugLable1) && !Shown(w.FwUpdatBar))
        return State::Ready;
    if (Shown(w.devLable) && Red(w.devLable) && !Shown(w.EraseButton) && !Shown(w.ExitBtn) && Shown(w.ExtBtn) &&
        !Shown(w.FwUpdatBar) && !Shown(w.replugLable1)) {
        if (text == "               The chip already updated!!" || text == "                 No device found!!")
            return State::NothingToDo;
        if (text == "                     Update    fail!!") return State::Failed;
    }
    if (!Shown(w.devLable) && Shown(w.replugLable1) && !Shown(w.FwUpdatBar) && !Shown(w.EraseButton) &&
        !Shown(w.ExitBtn) && Shown(w.ExtBtn))
        return State::Done;
    return State::Unknown;
}

// A window that lets a test act while a procedure lets messages through.
class ObservedWindow : public TR84xFwTool {
public:
    using TR84xFwTool::TR84xFwTool;
    void processMessages() override {
        if (onPump) {
            auto action = std::exchange(onPump, nullptr);
            action();
        }
        TR84xFwTool::processMessages();
    }
    void advanceProgress(int step) override {
        if (statesDuringUpdate.empty()) statesDuringUpdate.push_back(StateOf(*this));
        TR84xFwTool::advanceProgress(step);
    }
    std::function<void()> onPump;
    std::vector<State> statesDuringUpdate;
};

class OneClickWindowTest : public ::testing::Test {
protected:
    OneClickWindowTest() {
        InstallNotificationFactory([this] { return MakeSimulatedBusNotifications(machine.bus); });
        image.resize(LoadEmbeddedImage(image, 0, 0));
    }
    ~OneClickWindowTest() override { InstallNotificationFactory(nullptr); }

    sim::Bridge& addEnclosure(int n, bool direct = true) {
        sim::ProfileOptions o;
        o.memory505eDirect = direct;
        sim::Bridge& b = machine.addDisk(test::UsbDiskPath(n), sim::Vxe720Enclosure(o));
        b.fillFlash(0x00);
        return b;
    }
    sim::Bridge& addCurrent(int n) {
        sim::Bridge& b = addEnclosure(n);
        b.setFlash(0, image);
        return b;
    }
    std::unique_ptr<ObservedWindow> open() {
        auto w = std::make_unique<ObservedWindow>();
        QCoreApplication::processEvents();  // notices of the devices added before
        return w;
    }
    void settle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    test::SimulatedMachine machine;
    std::vector<uint8_t> image = std::vector<uint8_t>(65536, 0);
};

TEST_F(OneClickWindowTest, StartsWithTheListBeforeShowingAndShrinksToTheOneClickSet) {
    addEnclosure(0);
    auto w = open();
    EXPECT_EQ(StateOf(*w), State::Ready) << Name(StateOf(*w));
    EXPECT_EQ(w->size(), QSize(411, 100));
    EXPECT_TRUE(w->RdPanel->isHidden());
    EXPECT_EQ(w->windowTitle(), "Corvane VXE720 Firmware Update Utility v0.0.7");
    EXPECT_EQ(w->DeviceCount, 1);
    EXPECT_EQ(w->DeviceList->count(), 1);
    EXPECT_EQ(w->ChipLabelEdit->text(), "VXE731/720 Series");
    EXPECT_FALSE(w->UpdateBtn->isEnabled());
}

TEST_F(OneClickWindowTest, NoticesAreFollowedOnlyAfterTheFirstRefreshAndReadout) {
    sim::Bridge& b = addEnclosure(0);
    uint64_t commandsWhenRegistered = 0;
    InstallNotificationFactory([&] {
        commandsWhenRegistered = b.commandCount();
        return MakeSimulatedBusNotifications(machine.bus);
    });
    auto w = open();
    EXPECT_GT(commandsWhenRegistered, 0u);
    EXPECT_EQ(commandsWhenRegistered, b.commandCount());
}

TEST_F(OneClickWindowTest, NothingToDoReadsNoDeviceOrAlreadyUpdated) {
    auto empty = open();
    EXPECT_EQ(StateOf(*empty), State::NothingToDo);
    EXPECT_EQ(empty->devLable->text(), "                 No device found!!");
    EXPECT_EQ(empty->DeviceList->itemText(0), "No available device!!!");
    EXPECT_FALSE(empty->DeviceList->isEnabled());
    empty.reset();

    // Candidates, but none of them a target: an empty list that stays
    // enabled, the readout emptied, "No device found!!".
    machine.addDisk(test::UsbDiskPath(1), sim::PlainUsbDisk());
    machine.addDisk(test::UsbDiskPath(2), sim::ProfileForFamily(4));
    auto others = open();
    EXPECT_EQ(StateOf(*others), State::NothingToDo);
    EXPECT_EQ(others->devLable->text(), "                 No device found!!");
    EXPECT_EQ(others->DeviceCount, 2);
    EXPECT_EQ(others->DeviceList->count(), 0);
    EXPECT_TRUE(others->DeviceList->isEnabled());
    EXPECT_FALSE(others->UpdateBtn->isEnabled());
    others.reset();

    addCurrent(0);
    auto w = open();
    EXPECT_EQ(StateOf(*w), State::NothingToDo);
    EXPECT_EQ(w->devLable->text(), "               The chip already updated!!");
}

TEST_F(OneClickWindowTest, YesOnTheDirectPathEndsDoneWithTheMergedImage) {
    sim::Bridge& b = addEnclosure(0, true);
    auto w = open();
    w->EraseButton->click();
    EXPECT_EQ(w->statesDuringUpdate, std::vector<State>{State::Updating});
    EXPECT_EQ(StateOf(*w), State::Done) << Name(StateOf(*w));
    EXPECT_TRUE(w->EraseButton->isEnabled());
    EXPECT_TRUE(std::equal(image.begin() + 128, image.end(), b.flash().begin() + 128));
    EXPECT_EQ(b.flash()[0x2F], 0x36) << "blank header taken whole, register flag 0";
    for (size_t i = image.size(); i < 65536; ++i) ASSERT_EQ(b.flash()[i], 0x00) << "old bytes kept";
}

TEST_F(OneClickWindowTest, YesOnTheHeaderedPathAdvancesTheBarToSeventy) {
    sim::Bridge& b = addEnclosure(0, false);
    b.fillFlash(0x77);
    auto w = open();
    int highest = 0;
    w->onPump = nullptr;
    QObject::connect(w->FwUpdatBar, &QProgressBar::valueChanged, [&](int v) { highest = std::max(highest, v); });
    w->EraseButton->click();
    EXPECT_EQ(StateOf(*w), State::Done);
    EXPECT_EQ(highest, 70);
    for (size_t i = image.size(); i < 65536; ++i) ASSERT_EQ(b.flash()[i], 0x00) << "zeros after the image";
}

TEST_F(OneClickWindowTest, FamiliesWithoutAnUpdateFailWithoutACommand) {
    sim::Bridge& b = addEnclosure(0);
    auto w = open();
    for (uint16_t family : {0, 11}) {
        w->ChipId = family;
        b.clearLog();
        w->EraseButton->click();
        EXPECT_EQ(StateOf(*w), State::Failed) << family;
        EXPECT_TRUE(b.log().empty());
        EXPECT_EQ(w->FwUpdatBar->value(), 20);
    }
}

TEST_F(OneClickWindowTest, AFailedUpdateShowsTheRedLine) {
    sim::Bridge& b = addEnclosure(0);
    auto w = open();
    uint32_t at = 0x3000;
    while (image[at] & 0x01) ++at;  // a bit the image clears
    b.faults().stuckBit = sim::StuckBit{at, 0x01};
    w->EraseButton->click();
    EXPECT_EQ(StateOf(*w), State::Failed);

    // From Failed a notice refreshes as from any other state.
    b.faults().stuckBit.reset();
    addEnclosure(1);
    settle();
    EXPECT_EQ(StateOf(*w), State::Ready);
    EXPECT_EQ(w->DeviceList->count(), 2);
}

TEST_F(OneClickWindowTest, NoticesRefreshInEveryStateButWaitForARunningUpdate) {
    auto w = open();
    ASSERT_EQ(StateOf(*w), State::NothingToDo);
    // The paged path lets messages through while it works.
    sim::Bridge& b = addEnclosure(0, false);  // arrival
    settle();
    ASSERT_EQ(StateOf(*w), State::Ready);

    // During the update: a second enclosure arrives; the table stays.
    const std::string before = w->DeviceTable[0].DevicePath;
    w->onPump = [&] {
        addEnclosure(1);
        settle();
        EXPECT_EQ(w->DeviceList->count(), 1) << "no refresh under a running update";
        EXPECT_EQ(std::string(w->DeviceTable[0].DevicePath), before);
    };
    w->EraseButton->click();
    // The postponed refresh ran when the update ended: the updated enclosure
    // is left out, the new one is offered.
    EXPECT_EQ(StateOf(*w), State::Ready);
    EXPECT_EQ(w->DeviceList->count(), 1);
    EXPECT_STREQ(w->DeviceTable[0].DevicePath, test::UsbDiskPath(1).c_str());

    // Done -> power cycle: removal, then arrival of an updated enclosure.
    machine.bus.unplug(test::UsbDiskPath(1));
    machine.bus.unplug(test::UsbDiskPath(0));
    settle();
    EXPECT_EQ(w->devLable->text(), "                 No device found!!");
    machine.bus.plug(test::UsbDiskPath(0));
    settle();
    EXPECT_EQ(w->devLable->text(), "               The chip already updated!!");
    (void)b;

    // Any other event code changes nothing.
    b.clearLog();
    w->WMDeviceChange(0x0007);
    EXPECT_TRUE(b.log().empty());
}

TEST_F(OneClickWindowTest, ClosingDuringAnUpdateWaitsForItsEnd) {
    sim::Bridge& b = addEnclosure(0, false);
    auto w = open();
    w->show();
    w->onPump = [&] { w->ExitBtn->click(); };
    w->EraseButton->click();
    EXPECT_FALSE(w->isVisible()) << "closed once the update had ended";
    EXPECT_TRUE(std::equal(image.begin() + 128, image.end(), b.flash().begin() + 128)) << "the update finished";
}

TEST_F(OneClickWindowTest, TheEndDetachesExactlyTheMarkedRows) {
    addEnclosure(0);
    sim::Bridge& cdrom = machine.addCdRom("\\\\?\\usbstor#cdrom&ven_corvane#2", sim::Vxe720Enclosure());
    cdrom.fillFlash(0x00);
    sim::Bridge& disk = *machine.bus.bridge(test::UsbDiskPath(0));
    auto w = open();
    ASSERT_EQ(w->DeviceCount, 2);
    EXPECT_EQ(cdrom.counters().hostAttach, 2u);
    w->DeviceTable[5].DetachAtExit = 1;  // beyond DeviceCount: never detached
    w.reset();
    EXPECT_EQ(cdrom.counters().hostDetach, 1u);
    EXPECT_EQ(disk.counters().hostDetach, 0u);
}

TEST_F(OneClickWindowTest, TheProgramRunsTheWindowAndReturnsZero) {
    addEnclosure(0);
    QString title;
    QSize size;
    QTimer::singleShot(0, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<TR84xFwTool*>(top); window && window->isVisible()) {
                title = window->windowTitle();
                size = window->size();
                window->ExitBtn->click();
            }
        }
    });
    // The same start as the program's, on the application the suite owns.
    EXPECT_EQ(RunMainWindow(), 0);
    EXPECT_EQ(title, "Corvane VXE720 Firmware Update Utility v0.0.7");
    EXPECT_EQ(size, QSize(411, 100));
}

}  // namespace
}  // namespace vxe
