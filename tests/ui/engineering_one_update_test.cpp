// One update at a time: while Run or YES works and lets the window process
// messages, neither starts a second update, on that device or any other;
// what arrived meanwhile (a device notice, a close) happens once it ends.
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/wire_log.h"
#include "tests/ui/engineering_bench.h"

namespace vxe {
namespace {

using test::Rig;

size_t RunTraces(const SimulatedPlatform& platform) {
    const auto& lines = platform.debugLines();
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), std::string("Update Btn Press\n")));
}

TEST(OneUpdateAtATime, RunHoldsOffYesAndASecondRun) {
    Rig rig(1);
    test::BenchWindow& w = rig.window;
    rig.setFirmware(test::TestImage(32768));
    ASSERT_FALSE(w.EraseButton->isHidden());
    ASSERT_TRUE(w.EraseButton->isEnabled());

    // The user's clicks, queued while Run works: they reach the window only
    // when the procedure lets it process messages.
    bool ranDuringRun = false;
    size_t commandsBefore = 0;
    size_t commandsAfter = 0;
    QTimer::singleShot(0, [&] {
        ranDuringRun = w.UpdateRunning();
        commandsBefore = rig.bridge.log().size();
        w.EraseButton->click();
        test::PressRun(w);  // enabled meanwhile, as choosing a file does
        commandsAfter = rig.bridge.log().size();
    });
    test::PressRun(w);

    EXPECT_TRUE(ranDuringRun) << "the window kept processing messages";
    EXPECT_EQ(commandsAfter, commandsBefore) << "nothing sent by the held-off clicks";
    EXPECT_EQ(RunTraces(rig.machine.platform), 1u);
    EXPECT_TRUE(w.FwUpdatBar->isHidden()) << "YES did not start";
    EXPECT_FALSE(w.devLable->isHidden());
    EXPECT_TRUE(w.EraseButton->isEnabled());
    EXPECT_EQ(rig.status(), "..Programming Success!!") << "the running update was left alone";
    EXPECT_EQ(test::FlashPrograms(rig.bridge).size(), 2u);
    EXPECT_FALSE(w.UpdateRunning());
}

TEST(OneUpdateAtATime, YesHoldsOffRunOnAnotherDevice) {
    sim::ProfileOptions paged;  // the path that lets messages through
    paged.memory505eDirect = false;
    Rig rig(sim::Vxe720Enclosure(paged));
    rig.bridge.fillFlash(0x00);
    sim::Bridge& other = rig.machine.addDisk(test::UsbDiskPath(1), sim::ProfileForFamily(1));
    rig.setFirmware(test::TestImage(32768));  // what Run would program there
    test::BenchWindow& w = rig.window;
    test::ListDevices(w, {test::UsbDiskPath(0), test::UsbDiskPath(1)});
    ASSERT_EQ(w.ChipFamily(), 10);

    bool tried = false;
    w.onPump = [&] {
        // The engineer picks the other device and presses Run. The readout
        // waits for the update's end, so nothing reaches the other device.
        other.clearLog();
        rig.machine.platform.clearRecords();
        w.DeviceList->setCurrentIndex(1);
        w.UpdateBtnCheck(w.DeviceList);
        EXPECT_EQ(w.ChipFamily(), 10);
        test::PressRun(w);
        tried = true;
        EXPECT_TRUE(other.log().empty());
        EXPECT_EQ(RunTraces(rig.machine.platform), 0u);
    };
    w.EraseButton->click();

    ASSERT_TRUE(tried);
    EXPECT_FALSE(w.replugLable1->isHidden()) << "YES ended with its own update done";
    EXPECT_TRUE(test::NothingWritten(other));
    EXPECT_FALSE(w.UpdateRunning());
    EXPECT_EQ(w.ChipFamily(), 1) << "the postponed readout ran when YES ended";
}

TEST(OneUpdateAtATime, ANoticeDuringRunRefreshesOnlyOnceItEnds) {
    Rig rig(1);
    test::BenchWindow& w = rig.window;
    rig.setFirmware(test::TestImage(32768));
    const std::string row = w.DeviceTable[0].DevicePath;
    w.onPump = [&] {
        w.WMDeviceChange(kDeviceArrival);
        EXPECT_EQ(w.DeviceList->count(), 1) << "the list stays under a running update";
        EXPECT_EQ(std::string(w.DeviceTable[0].DevicePath), row);
    };
    test::PressRun(w);
    EXPECT_EQ(rig.status(), "..Programming Success!!");
    // The postponed refresh ran: a family-1 bridge is no one-click target.
    EXPECT_EQ(w.DeviceCount, 1);
    EXPECT_EQ(w.DeviceList->count(), 0);
}

TEST(OneUpdateAtATime, ClosingDuringRunWaitsForItsEnd) {
    Rig rig(1);
    test::BenchWindow& w = rig.window;
    rig.setFirmware(test::TestImage(32768));
    w.show();
    w.onPump = [&] {
        w.ExitBtn->click();
        EXPECT_TRUE(w.isVisible());
    };
    test::PressRun(w);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(test::FlashPrograms(rig.bridge).size(), 2u) << "the update ran to its end";
}

}  // namespace
}  // namespace vxe
