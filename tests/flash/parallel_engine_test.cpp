// The parallel-flash engine against simulated 64 KB parallel flashes of each type.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "device/vendor_commands.h"
#include "flash/parallel_engine.h"
#include "tests/support/simulated_machine.h"
#include "tests/support/wire_log.h"

namespace vxe {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Image(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 5 + 3);
    return bytes;
}

class ParallelEngineTest : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    std::string path = test::UsbDiskPath(0);
    RecordingStatusSink sink;
    EngineOptions options;

    sim::Bridge& add(int family, int flashType) {
        sim::ProfileOptions o;
        o.parallelFlashType = flashType;
        sim::Bridge& b = machine.addDisk(path, sim::ProfileForFamily(family, sim::Route::InquiryTag, o));
        b.fillFlash(0x5A);  // old firmware
        return b;
    }
    size_t count(const sim::Bridge& b, uint8_t sub) const { return test::CommandsOf(b, 0xFF, sub).size(); }
};

TEST_F(ParallelEngineTest, EachFlashTypeIsErasedProgrammedAndCompared) {
    const auto image = Image(40000);
    for (int type : {0, 1, 2}) {
        SCOPED_TRACE(type);
        test::SimulatedMachine m;
        sim::ProfileOptions o;
        o.parallelFlashType = type;
        sim::Bridge& b = m.addDisk(path, sim::ProfileForFamily(type == 1 ? 18 : 2, sim::Route::InquiryTag, o));
        b.fillFlash(0x5A);
        m.platform.setResource("FW849", "FW", image);
        RecordingStatusSink s;
        RunParallelFlashUpdate(path.c_str(), type, options, s);
        EXPECT_EQ(s.statusText(), "Programming & Compare Success!!");
        EXPECT_TRUE(std::equal(image.begin(), image.end(), b.flash().begin()));
        for (size_t i = image.size(); i < 65536; ++i) ASSERT_EQ(b.flash()[i], 0xFF) << i;
        const auto reads = test::CommandsOf(b, 0xFF, 0x03);
        ASSERT_EQ(reads.size(), 2u);
        EXPECT_EQ(reads[1].length, 40000u) << "compared over exactly the image";
        EXPECT_EQ(b.counters().switchToInternalRom, 1u);
    }
}

TEST_F(ParallelEngineTest, WrongFlashTypeIsReportedNotClaimedAsSuccess) {
    sim::Bridge& b = add(2, 0);
    machine.platform.setResource("FW849", "FW", Image(40000));
    RunParallelFlashUpdate(path.c_str(), 1, options, sink);
    EXPECT_EQ(sink.statusText(), "Not Erase correctly!");
    EXPECT_EQ(count(b, 0x02), 0u) << "nothing is programmed";

    b.fillFlash(0xFF);
    RunParallelFlashUpdate(path.c_str(), 1, options, sink);
    EXPECT_EQ(sink.statusText(), "Compare Fail!!");
}

TEST_F(ParallelEngineTest, InternalRomSwitchUnlessA1Chip) {
    sim::Bridge& b = add(2, 0);
    machine.platform.setResource("FW849", "FW", Image(40000));
    b.faults().failMatching.push_back({0xFF, 0x05});
    RunParallelFlashUpdate(path.c_str(), 0, options, sink);
    EXPECT_EQ(sink.statusText(), "Can't switch to internal ROM");
    EXPECT_EQ(b.log().size(), 1u);

    options.a1Chip = true;
    b.clearLog();
    RunParallelFlashUpdate(path.c_str(), 0, options, sink);
    EXPECT_EQ(count(b, 0x05), 0u);
    EXPECT_EQ(sink.statusText(), "Programming & Compare Success!!");
}

// Without an image that fits the flash (the shipped resources carry none)
// the update is refused before a single command: nothing is erased.
TEST_F(ParallelEngineTest, NoImageThatFitsMeansNothingIsSent) {
    sim::Bridge& b = add(2, 0);
    for (const size_t size : {size_t{0}, size_t{65537}}) {
        SCOPED_TRACE(size);
        if (size == 0) machine.platform.hideResource("FW849", "FW");
        else machine.platform.setResource("FW849", "FW", Image(size));
        b.clearLog();
        RunParallelFlashUpdate(path.c_str(), 0, options, sink);
        EXPECT_EQ(sink.statusText(), "Programming Fail!!");
        EXPECT_TRUE(b.log().empty());
        EXPECT_EQ(b.flash()[0x1234], 0x5A) << "the old firmware stays";
    }
    options.eraseOnly = true;  // erase only needs no image
    RunParallelFlashUpdate(path.c_str(), 0, options, sink);
    EXPECT_EQ(sink.statusText(), "Erase All success!!");
}

// A busy poll the device rejects (CHECK CONDITION, no status byte) is no
// "ready": the wait runs to its bound.
TEST_F(ParallelEngineTest, ARejectedBusyPollIsBusy) {
    sim::Bridge& b = add(2, 0);
    b.faults().checkConditionOnVendorCommands = true;
    EXPECT_EQ(ParallelFlashBusy(path.c_str()), 1);
    b.clearLog();
    EXPECT_FALSE(WaitParallelFlashReady(path.c_str()));
    EXPECT_EQ(count(b, 0x00), 50000u);
}

TEST_F(ParallelEngineTest, EraseOnlyWinsOverBackupOnly) {
    sim::Bridge& b = add(18, 2);
    options.eraseOnly = true;
    options.backupOnly = true;
    RunParallelFlashUpdate(path.c_str(), 2, options, sink);
    EXPECT_EQ(sink.statusText(), "Erase All success!!");
    EXPECT_EQ(b.flash()[0x1234], 0xFF);
    EXPECT_TRUE(machine.platform.messages().empty());
    EXPECT_GE(sink.statusRepaints, 3) << "start, erase ok and success are shown at once";
}

TEST_F(ParallelEngineTest, EraseOnlyFindsAByteThatStayed) {
    sim::Bridge& b = add(2, 0);
    b.faults().stuckBit = sim::StuckBit{0x100, 0x00};
    b.faults().ignoreWriteAt = 1;  // pre-erase, then the erase
    EraseParallelFlash(path.c_str(), 0, sink);
    EXPECT_EQ(sink.statusText(), "Not Erase correctly!");
}

TEST_F(ParallelEngineTest, BackupWritesTheWhole64KToOldflashBak) {
    sim::Bridge& b = add(2, 0);
    const fs::path dir = fs::temp_directory_path() / ("vxe-parallel-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    options.backupOnly = true;
    RunParallelFlashUpdate(path.c_str(), 0, options, sink);
    fs::current_path(before);

    EXPECT_EQ(sink.statusText(), "Read flash and backup success!");
    ASSERT_EQ(machine.platform.messages().size(), 1u);
    EXPECT_EQ(machine.platform.messages()[0].text, "Default backup firmware as OldFalsh.bak!");
    {
        // Closed before the folder goes: Windows removes no open file.
        std::ifstream in(dir / "oldflash.bak", std::ios::binary);
        const std::vector<uint8_t> saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(saved, std::vector<uint8_t>(b.flash().begin(), b.flash().end()));
    }
    fs::remove_all(dir);

    options.backupFileName = (dir / "missing" / "x.bak").string();
    RunParallelFlashUpdate(path.c_str(), 0, options, sink);
    EXPECT_EQ(sink.statusText(), "Read ROM Suceess, but save to file fail!!");
}

TEST_F(ParallelEngineTest, ADeviceThatStopsAnsweringEndsTheWaitAfterItsBound) {
    sim::Bridge& b = add(2, 0);
    b.faults().failMatching.push_back({0xFF, 0x00});
    EXPECT_FALSE(WaitParallelFlashReady(path.c_str()));
    EXPECT_EQ(count(b, 0x00), 50000u);
    EXPECT_EQ(machine.platform.sleptMs(), 0u);
}

}  // namespace
}  // namespace vxe
