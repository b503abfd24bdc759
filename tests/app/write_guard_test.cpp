// The guards around a procedure that writes flash: the device lock, the
// held-back signals, the identity check and the kept header.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/device_lock.h"
#include "app/identity_watch.h"
#include "app/interruption_guard.h"
#include "app/kept_header.h"
#include "app/sleep_inhibitor.h"
#include "chip/chip_identification.h"
#include "flash/one_click_update.h"
#include "sim/profiles.h"
#include "tests/support/simulated_machine.h"

namespace vxe::test {
namespace {

namespace fs = std::filesystem;

class StateFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::path(::testing::TempDir()) / "write_guard_test" / info->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
        const char* old = std::getenv("XDG_STATE_HOME");
        if (old != nullptr) previous = old;
        setenv("XDG_STATE_HOME", dir.c_str(), 1);
    }
    void TearDown() override {
        if (previous) setenv("XDG_STATE_HOME", previous->c_str(), 1);
        else unsetenv("XDG_STATE_HOME");
        fs::remove_all(dir);
    }
    fs::path dir;
    std::optional<std::string> previous;
};

std::array<uint8_t, 128> SignedHeader(uint8_t fill) {
    std::array<uint8_t, 128> header{};
    header.fill(fill);
    header[0x7E] = 'C';
    header[0x7F] = 'V';
    return header;
}

TEST(DeviceLock, OneHolderPerIdentityUntilItLetsGo) {
    const std::string identity = "/sys/devices/test/" + std::to_string(::getpid()) + "/3:0:0:0";
    std::optional<DeviceLock> first(DeviceLock::TryAcquire(identity));
    ASSERT_TRUE(first->held()) << first->problem();
    EXPECT_EQ(DeviceLock::TryAcquire(identity).outcome(), DeviceLock::Outcome::Busy);
    EXPECT_TRUE(DeviceLock::TryAcquire(identity + "1").held());  // another device is free
    first.reset();
    EXPECT_TRUE(DeviceLock::TryAcquire(identity).held());
    // Any identity gives a short name of plain characters after the prefix.
    const std::string name = DeviceLock::NameFor(std::string(300, '/') + "a b\n/sg2");
    EXPECT_LT(name.size(), 64u);
    EXPECT_EQ(name.substr(name.find_first_of("/\\") + 1).find_first_of("/\\ \n"), std::string::npos);
}

TEST(InterruptionGuard, HoldsSignalsBackUntilItEndsAndRestoresTheOldHandlers) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        sigaction(signal, nullptr, &before);
        {
            InterruptionGuard guard;
            std::raise(signal);  // would end the test binary without the guard
            std::raise(SIGTERM);
            EXPECT_EQ(guard.deferredSignal(), signal);  // the first one counts
        }
        struct sigaction after {};
        sigaction(signal, nullptr, &after);
        EXPECT_EQ(after.sa_handler, before.sa_handler);
    }
    EXPECT_EQ(ExitStatusForSignal(SIGINT), 130);
    EXPECT_EQ(ExitStatusForSignal(SIGTERM), 143);
    EXPECT_EQ(ExitStatusForSignal(SIGHUP), 129);
    EXPECT_EQ(InterruptionNote(SIGTERM).rfind("SIGTERM ", 0), 0u);
}

TEST(SleepInhibitor, WithoutASystemBusTheProcedureGoesOn) {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/vxe-test-bus", 1);
    SleepInhibitor inhibitor;
    EXPECT_FALSE(inhibitor.held());
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

TEST(IdentityWatch, NothingIsWrittenOnceThePathNamesAnotherDevice) {
    SimulatedMachine machine;
    sim::Bridge& bridge = machine.addDisk("enclosure", sim::Vxe720Enclosure());
    const uint16_t chipId = IdentifyChip("enclosure");
    bridge.clearLog();
    RecordingStatusSink sink;
    int32_t outcome = 1;
    bool changed = false;
    {
        DevicePin guard("enclosure");
        // The enclosure is pulled after the header read and its node goes to another.
        machine.bus.find("enclosure")->givenAwayAfter = 8;
        outcome = RunOneClickUpdate("enclosure", chipId, EngineOptions{}, sink);
        changed = guard.deviceChanged();
    }
    EXPECT_EQ(outcome, 0);
    EXPECT_TRUE(changed);
    // Reads may still reach the path; not one write after the change.
    size_t writesBefore = 0;
    for (const sim::LogEntry& entry : bridge.log()) {
        if (entry.index >= 8) {
            EXPECT_TRUE(entry.command.dataIn) << entry.index;
        } else if (!entry.command.dataIn) {
            ++writesBefore;
        }
    }
    EXPECT_GT(writesBefore, 0u);  // the procedure had begun writing
    EXPECT_EQ(&CurrentPlatform(), &machine.platform);
}

using KeptHeader = StateFolderTest;

TEST_F(KeptHeader, EachKeepIsANewFileThatReadsBack) {
    std::string problem;
    const auto first = KeepOldHeader("/dev/sg2", SignedHeader(0x11), problem);
    const auto second = KeepOldHeader("/dev/sg2", SignedHeader(0x22), problem);
    ASSERT_TRUE(first && second) << problem;
    EXPECT_NE(*first, *second);
    EXPECT_EQ(first->parent_path(), dir / "vxe-fwupdate");
    EXPECT_NE(first->filename().string().find("sg2"), std::string::npos);
    EXPECT_EQ(ReadKeptHeader(first->string(), problem), SignedHeader(0x11));
    EXPECT_EQ(ReadKeptHeader(second->string(), problem), SignedHeader(0x22));
}

TEST_F(KeptHeader, OnlyAFileThatBeginsWithASignedHeaderIsTaken) {
    std::string problem;
    const fs::path unsigned_ = dir / "unsigned.bin", shortFile = dir / "short.bin", fifo = dir / "fifo";
    std::array<uint8_t, 128> bytes = SignedHeader(0);
    bytes[0x7F] = 0;
    std::ofstream(unsigned_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 128);
    std::ofstream(shortFile, std::ios::binary).write(reinterpret_cast<const char*>(SignedHeader(0).data()), 100);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const fs::path& file : {unsigned_, shortFile, fifo, dir / "missing"}) {
        problem.clear();
        EXPECT_FALSE(ReadKeptHeader(file.string(), problem)) << file;  // the FIFO must not block
        EXPECT_NE(problem.find(file.string()), std::string::npos);
    }
}

}  // namespace
}  // namespace vxe::test
