// Device notices as Windows delivers them: WM_DEVICECHANGE in the window's
// own message queue, on the windows platform (under wine, on a screen).
#ifdef _WIN32
#include <windows.h>
#include <dbt.h>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "tests/support/simulated_machine.h"
#include "ui/fwupdate.h"

namespace vxe {
namespace {

const QString kNoDevice = QStringLiteral("                 No device found!!");
const QString kReady = QStringLiteral("Click 'Yes' to proceed with the firmware update");

// Counts the device messages the window takes from its queue, and lets a
// test act while an update lets messages through.
class CountingWindow : public TR84xFwTool {
public:
    using TR84xFwTool::TR84xFwTool;
    void processMessages() override {
        if (onPump) std::exchange(onPump, nullptr)();
        TR84xFwTool::processMessages();
    }
    int deviceMessages = 0;
    std::function<void()> onPump;

protected:
    bool nativeEvent(const QByteArray& type, void* message, qintptr* result) override {
        if (static_cast<const MSG*>(message)->message == WM_DEVICECHANGE) ++deviceMessages;
        return TR84xFwTool::nativeEvent(type, message, result);
    }
};

class WindowsNotices : public ::testing::Test {
protected:
    // No notification source is installed: only Windows messages reach it.
    std::unique_ptr<CountingWindow> open() {
        auto w = std::make_unique<CountingWindow>();
        w->show();
        deliver();
        return w;
    }
    // Sends a notice as Windows does: from another thread, synchronously,
    // with a broadcast record. The window's thread takes it when it next
    // looks at its messages, here at once.
    static void notify(TR84xFwTool& w, WPARAM code) {
        const HWND window = reinterpret_cast<HWND>(w.winId());
        ASSERT_TRUE(IsWindow(window)) << "no window handle: under wine the windows platform needs DISPLAY";
        std::atomic<bool> answered{false};
        std::thread system([&] {
            DEV_BROADCAST_DEVICEINTERFACE_W record{};
            record.dbcc_size = sizeof record;
            record.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            DWORD_PTR reply = 0;
            // The bound only keeps a broken window from hanging the suite.
            SendMessageTimeoutW(window, WM_DEVICECHANGE, code, reinterpret_cast<LPARAM>(&record), SMTO_NORMAL,
                                60000, &reply);
            answered = true;
        });
        while (!answered && !(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)) std::this_thread::yield();
        QCoreApplication::processEvents();
        system.join();
    }
    static void deliver() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
    void addEnclosure(int n, bool direct = true) {
        sim::ProfileOptions o;
        o.memory505eDirect = direct;  // the paged path lets messages through
        machine.addDisk(test::UsbDiskPath(n), sim::Vxe720Enclosure(o)).fillFlash(0x00);
    }

    test::SimulatedMachine machine;
};

TEST_F(WindowsNotices, ArrivalAndRemovalRefreshTheWindowOtherCodesDoNot) {
    auto w = open();
    ASSERT_EQ(w->devLable->text(), kNoDevice);
    addEnclosure(0);
    deliver();
    EXPECT_EQ(w->devLable->text(), kNoDevice) << "only a notice makes the window look again";

    notify(*w, DBT_DEVNODES_CHANGED);
    deliver();
    EXPECT_EQ(w->deviceMessages, 1);
    EXPECT_EQ(w->devLable->text(), kNoDevice);

    notify(*w, DBT_DEVICEARRIVAL);
    deliver();
    EXPECT_EQ(w->devLable->text(), kReady);
    EXPECT_FALSE(w->EraseButton->isHidden());

    machine.bus.unplug(test::UsbDiskPath(0));
    notify(*w, DBT_DEVICEREMOVECOMPLETE);
    deliver();
    EXPECT_EQ(w->deviceMessages, 3);
    EXPECT_EQ(w->devLable->text(), kNoDevice);
}

TEST_F(WindowsNotices, ANoticeDuringAnUpdateIsTakenAndItsRefreshWaitsForTheEnd) {
    addEnclosure(0, false);
    auto w = open();
    ASSERT_EQ(w->devLable->text(), kReady);
    w->onPump = [&] {
        addEnclosure(1);
        notify(*w, DBT_DEVICEARRIVAL);
        EXPECT_EQ(w->deviceMessages, 1);
        EXPECT_EQ(w->DeviceList->count(), 1) << "no refresh under a running update";
        EXPECT_EQ(std::string(w->DeviceTable[0].DevicePath), test::UsbDiskPath(0));
    };
    w->EraseButton->click();
    ASSERT_EQ(w->onPump, nullptr) << "the update let no messages through";
    EXPECT_EQ(w->deviceMessages, 1);
    // The postponed refresh ran at the end: the updated enclosure is left
    // out, the new one is offered.
    EXPECT_EQ(w->devLable->text(), kReady);
    ASSERT_EQ(w->DeviceList->count(), 1);
    EXPECT_EQ(std::string(w->DeviceTable[0].DevicePath), test::UsbDiskPath(1));
}

}  // namespace
}  // namespace vxe
#endif
