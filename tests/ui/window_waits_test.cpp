// The window answers through every wait of an update: each ready poll and
// each fixed pause lets it process messages, while the commands on the wire,
// their timeouts and their times stay those of the procedure run without a
// window, and nothing the window takes in meanwhile starts anything.
#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "flash/one_click_update.h"
#include "tests/support/simulated_machine.h"
#include "tests/ui/engineering_bench.h"
#include "ui/demo/demo_enclosures.h"
#include "ui/demo/sim_bus_notifications.h"
#include "ui/fwupdate.h"

namespace vxe {
namespace {

// One command as the bridge saw it, with its time from the first command.
struct Sent {
    std::array<uint8_t, 16> cdb;
    uint32_t length;
    bool dataIn;
    uint32_t timeoutSeconds;
    bool exclusive;
    uint64_t atMs;
    bool operator==(const Sent&) const = default;
};

std::vector<Sent> SentTo(const sim::Bridge& bridge) {
    std::vector<Sent> sent;
    const auto& log = bridge.log();
    for (const sim::LogEntry& e : log) {
        sent.push_back({e.command.cdb, e.command.length, e.command.dataIn, e.command.timeoutSeconds,
                        e.command.exclusiveOpen, e.timeMs - log.front().timeMs});
    }
    return sent;
}

sim::Bridge& AddOlderEnclosure(test::SimulatedMachine& machine, int n, bool direct) {
    sim::ProfileOptions options;
    options.memory505eDirect = direct;
    options.timing = sim::Timing::SmallSpiNor();
    sim::Bridge& bridge = machine.addDisk(test::UsbDiskPath(n), sim::Vxe720Enclosure(options));
    bridge.setFlash(0, demo::OlderFirmwareFlash(n));
    return bridge;
}

class KeepsEveryHeader final : public HeaderKeeper {
public:
    bool keep(std::span<const uint8_t, 128>) override { return true; }
    std::optional<std::array<uint8_t, 128>> fallback() override { return std::nullopt; }
};

// The update as the procedure runs it alone, with a sink that pumps nothing.
struct Alone {
    std::vector<Sent> sent;
    uint64_t deviceMs = 0;
    int sinkPumps = 0;
};

Alone RunAlone(bool direct, uint16_t chipId) {
    test::SimulatedMachine machine;
    sim::Bridge& bridge = AddOlderEnclosure(machine, 0, direct);
    KeepsEveryHeader keeper;
    EngineOptions options;
    options.headerKeeper = &keeper;
    RecordingStatusSink sink;
    const uint64_t start = machine.clock.nowMs();
    EXPECT_EQ(RunOneClickUpdate(test::UsbDiskPath(0).c_str(), chipId, options, sink), 1);
    return {SentTo(bridge), machine.clock.nowMs() - start, sink.messagePumps};
}

// The window with the simulated clock noted at each pump, and a test's action
// run at the first one.
class TimedWindow : public TR84xFwTool {
public:
    explicit TimedWindow(const sim::Clock& clock) : clock_(clock) {}
    void processMessages() override {
        pumpsAtMs.push_back(clock_.nowMs());
        if (onPump) std::exchange(onPump, nullptr)();
        TR84xFwTool::processMessages();
    }
    std::vector<uint64_t> pumpsAtMs;
    std::function<void()> onPump;

private:
    const sim::Clock& clock_;
};

class WindowWaits : public ::testing::Test {
protected:
    WindowWaits() { InstallNotificationFactory([this] { return MakeSimulatedBusNotifications(machine->bus); }); }
    ~WindowWaits() override { InstallNotificationFactory(nullptr); }

    std::unique_ptr<TimedWindow> open() {
        auto w = std::make_unique<TimedWindow>(machine->clock);
        QCoreApplication::processEvents();
        return w;
    }
    // YES; returns the simulated time it took.
    uint64_t pressYes(TimedWindow& w, sim::Bridge& bridge) {
        bridge.clearLog();
        w.pumpsAtMs.clear();
        const uint64_t start = machine->clock.nowMs();
        w.EraseButton->click();
        w.pumpsAtMs.insert(w.pumpsAtMs.begin(), start);
        w.pumpsAtMs.push_back(machine->clock.nowMs());
        return machine->clock.nowMs() - start;
    }

    std::unique_ptr<test::SimulatedMachine> machine = std::make_unique<test::SimulatedMachine>();
};

TEST_F(WindowWaits, EveryWaitPumpsWhileTheWireStaysAsTheProcedureAloneSendsIt) {
    for (bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "serial path" : "paged path");
        machine.reset();  // a machine of the path's own
        machine = std::make_unique<test::SimulatedMachine>();
        sim::Bridge& bridge = AddOlderEnclosure(*machine, 0, direct);
        auto w = open();
        ASSERT_FALSE(w->EraseButton->isHidden());
        const Alone alone = RunAlone(direct, w->ChipId);

        const uint64_t took = pressYes(*w, bridge);
        ASSERT_FALSE(w->replugLable1->isHidden()) << "the update ended done";

        EXPECT_EQ(SentTo(bridge), alone.sent) << "the same bytes, timeouts and times on the wire";
        EXPECT_EQ(took, alone.deviceMs) << "the pauses last as long as before";
        EXPECT_GT(static_cast<int>(w->pumpsAtMs.size()) - 2, alone.sinkPumps);
        uint64_t longest = 0;
        for (size_t i = 1; i < w->pumpsAtMs.size(); ++i) {
            longest = std::max(longest, w->pumpsAtMs[i] - w->pumpsAtMs[i - 1]);
        }
        // The shortest erase of the timing model (a 32 KB block) is 120 ms.
        EXPECT_LT(longest, 120u) << "the window never stands still for a whole erase";
    }
}

TEST_F(WindowWaits, WhatTheWindowTakesInDuringAWaitStartsNothing) {
    sim::Bridge& bridge = AddOlderEnclosure(*machine, 0, true);
    auto w = open();
    const Alone alone = RunAlone(true, w->ChipId);
    ASSERT_EQ(alone.sinkPumps, 0) << "on this path every pump is a wait's";

    // A file chooser that opened anyway is closed again, so the test fails
    // instead of hanging.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    closer.start(50);
    sim::Bridge* second = nullptr;
    bool updating = false;
    w->onPump = [&] {
        updating = w->UpdateRunning();
        // A second enclosure plugged in: its notice arrives in this pump.
        second = &AddOlderEnclosure(*machine, 1, true);
        w->RefreshBtn->click();
        w->EraseButtonClick(w->EraseButton);  // YES as its handler would get it
        test::PressRun(*w);
        w->LoadBtn->click();
        w->BackupBtn->click();
        w->RdCheckBox->click();
        w->EraseOnlyCheck->click();
        w->BackupFWCheckBox->click();
        emit w->DeviceList->activated(0);
        emit w->FwPgSizeCheck->activated(0);
    };
    pressYes(*w, bridge);

    ASSERT_TRUE(updating);
    const std::vector<Sent> sent = SentTo(bridge);
    ASSERT_GE(sent.size(), alone.sent.size());
    EXPECT_TRUE(std::equal(alone.sent.begin(), alone.sent.end(), sent.begin()))
        << "the whole update, with nothing between its commands";
    EXPECT_TRUE(w->OpenDialog1.initialDir.isEmpty()) << "no file chooser was opened";
    // The notice and the click on Refresh were held to the end, then run once.
    EXPECT_EQ(w->DeviceCount, 2);
    EXPECT_FALSE(second->log().empty());
}

}  // namespace
}  // namespace vxe
