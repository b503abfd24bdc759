// The demo's bench: it switches every enclosure it put on the bus, and it
// never keeps the demo running once the utility's window is closed.
#include "ui/demo/bench_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

#include "sim/bus.h"
#include "sim/clock.h"
#include "sim/simulated_platform.h"
#include "ui/demo/demo_enclosures.h"

namespace vxe::test {
namespace {

// Where the state folder goes.
#ifdef _WIN32
constexpr const char* kStateBase = "LOCALAPPDATA";
#else
constexpr const char* kStateBase = "XDG_STATE_HOME";
#endif

class DemoBench : public ::testing::Test {
protected:
    void SetUp() override {
        // A folder per test: ctest runs this file's tests side by side.
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        state_ = std::filesystem::path(::testing::TempDir()) / "demo_bench_state" / test->name();
        std::filesystem::remove_all(state_);
        qputenv(kStateBase, QByteArray::fromStdString(state_.string()));
        demo::AddEnclosure(bus, 1);
    }
    void TearDown() override {
        qunsetenv(kStateBase);
        std::filesystem::remove_all(state_);
    }

    void press(demo::BenchWindow& bench, const QString& text) {
        for (QPushButton* b : bench.findChildren<QPushButton*>()) {
            if (b->text() == text) return b->click();
        }
        ADD_FAILURE() << "no button " << text.toStdString();
    }
    bool plugged(int enclosure) {
        const sim::BusDevice* d = bus.find(demo::EnclosurePath(enclosure));
        return d != nullptr && d->plugged;
    }

    sim::FakeClock clock;
    sim::Bus bus{clock};
    SimulatedPlatform platform{bus};
    ScopedPlatform installed{platform};
    std::filesystem::path state_;
};

TEST_F(DemoBench, SwitchesTheSecondEnclosureItAdded) {
    demo::BenchWindow bench(bus);
    press(bench, QStringLiteral("Add a second enclosure"));
    ASSERT_TRUE(plugged(2));
    press(bench, QStringLiteral("Plug / unplug enclosure 2"));
    EXPECT_FALSE(plugged(2));
    EXPECT_TRUE(plugged(1));
    press(bench, QStringLiteral("Plug / unplug enclosure 2"));
    EXPECT_TRUE(plugged(2));
    press(bench, QStringLiteral("Power-cycle enclosure 2"));
    EXPECT_FALSE(plugged(2));  // back on after the power-off pause
}

TEST_F(DemoBench, ClosingTheUtilityWindowEndsTheLoopWithTheBenchOpen) {
    demo::BenchWindow bench(bus);
    bench.show();
    QWidget utility;
    utility.show();
    QTimer::singleShot(0, &utility, [&utility] { utility.close(); });
    // Only reached when the loop outlives the utility's window.
    QTimer::singleShot(10000, [] { QApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0);
}

}  // namespace
}  // namespace vxe::test
