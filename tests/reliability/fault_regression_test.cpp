// Faults that once let an update report success over the wrong flash
// contents, each kept as a case of its own.
#include <gtest/gtest.h>

#include <vector>

#include "device/vendor_commands.h"
#include "flash/one_click_update.h"
#include "flash/spi_flash.h"
#include "flash/update_engine.h"
#include "tests/reliability/swept_procedures.h"
#include "tests/support/simulated_machine.h"
#include "tests/support/wire_log.h"

namespace vxe {
namespace {

constexpr uint16_t kVxe720 = 0x000A;
constexpr uint16_t kVxe720RevisionNine = 0x090A;

bool IsSpiRead(const sim::LogEntry& e) { return e.command.cdb[0] == 0xDF && e.command.cdb[11] == 0xFA; }
bool IsMemoryRead(const sim::LogEntry& e) { return e.command.cdb[0] == 0xDF && e.command.cdb[11] == 0xFD; }

class FaultRegression : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    std::string path = test::UsbDiskPath(0);
    RecordingStatusSink sink;
    EngineOptions options;

    sim::Bridge& addVxe720(bool direct) {
        sim::ProfileOptions o;
        o.memory505eDirect = direct;
        o.register7058Bit0 = true;
        sim::Bridge& b = machine.addDisk(path, sim::Vxe720Enclosure(o));
        b.setFlash(0, reliability::Vxe720OldFlash());
        return b;
    }
    // The index of the `nth` command (from 0) that `matches`, in a fault-free
    // run of `run` on a fresh machine set up like this one by `setUp`.
    template <typename SetUp, typename Run, typename Match>
    static uint64_t IndexInCleanRun(SetUp setUp, Run run, Match matches, size_t nth) {
        test::SimulatedMachine clean;
        sim::Bridge& b = setUp(clean);
        run();
        for (const sim::LogEntry& e : b.log()) {
            if (matches(e) && nth-- == 0) return e.index;
        }
        ADD_FAILURE() << "no such command";
        return 0;
    }
    std::vector<uint8_t> flashOf(const sim::Bridge& b) const { return {b.flash().begin(), b.flash().end()}; }
};

// The direct path writes the old bytes beyond the image's end back as it read
// them; a transfer that came back short left zeros in their place.
TEST_F(FaultRegression, AShortReadOfTheOldContentsStopsTheDirectPathBeforeAnyWrite) {
    const auto setUp = [&](test::SimulatedMachine& m) -> sim::Bridge& {
        sim::ProfileOptions o;
        o.memory505eDirect = true;
        sim::Bridge& b = m.addDisk(path, sim::Vxe720Enclosure(o));
        b.setFlash(0, reliability::Vxe720OldFlash());
        return b;
    };
    const auto run = [&] { return RunOneClickUpdate(path.c_str(), kVxe720, options, sink); };
    // SPI reads: the header, then eight transfers of the old contents.
    const uint64_t lastOldRead = IndexInCleanRun(setUp, run, IsSpiRead, 8);

    sim::Bridge& b = setUp(machine);
    const auto before = flashOf(b);
    b.faults().shortReadAt = lastOldRead;
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(test::SpiWrites(b).empty());
    EXPECT_EQ(flashOf(b), before);
}

TEST_F(FaultRegression, SpiReadRangeFailsOnATransferThatComesBackShort) {
    sim::Bridge& b = addVxe720(true);
    std::vector<uint8_t> bytes(20000);
    ASSERT_TRUE(SpiReadRange(path.c_str(), 0, bytes));
    b.clearLog();
    b.faults().shortReadAt = b.commandCount() + 3;  // status, read, status, the second read
    EXPECT_FALSE(SpiReadRange(path.c_str(), 0, bytes));
}

// Without the probe's answer the path is a guess, and the paged path writes
// zeros where the direct path keeps the device's data.
TEST_F(FaultRegression, AnUnansweredProbeWritesNothingUnlessTheRevisionFixesThePath) {
    for (const bool shortAnswer : {false, true}) {
        SCOPED_TRACE(shortAnswer ? "answer cut short" : "command failed");
        test::SimulatedMachine m;
        sim::ProfileOptions o;
        o.memory505eDirect = true;
        sim::Bridge& b = m.addDisk(path, sim::Vxe720Enclosure(o));
        b.setFlash(0, reliability::Vxe720OldFlash());
        if (shortAnswer) {
            b.faults().shortReadAt = 0;  // the probe is the first command
            b.faults().shortReadMissing = 2;
        } else {
            b.faults().failCommandAt = 0;
        }
        EXPECT_EQ(RunOneClickUpdate(path.c_str(), kVxe720, options, sink), 0);
        EXPECT_TRUE(test::NothingWritten(b));
        EXPECT_EQ(b.counters().prepareForUpdate, 0u);
    }

    sim::ProfileOptions o;
    o.fdb0AtLeastB4 = true;
    sim::Bridge& nine = machine.addDisk(path, sim::Vxe720Enclosure(o));
    nine.faults().failCommandAt = 0;
    EXPECT_EQ(RunOneClickUpdate(path.c_str(), kVxe720RevisionNine, options, sink), 1);
    EXPECT_FALSE(test::SpiWrites(nine).empty());
}

// The register decides bit 1 of the configuration flags; a guess of 0 set a
// bit the device had not asked for.
TEST_F(FaultRegression, AnUnreadConfigurationRegisterWritesNothing) {
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct" : "paged");
        test::SimulatedMachine m;
        sim::ProfileOptions o;
        o.memory505eDirect = direct;
        o.register7058Bit0 = true;
        sim::Bridge& b = m.addDisk(path, sim::Vxe720Enclosure(o));
        b.setFlash(0, reliability::Vxe720OldFlash());
        b.faults().failCommandAt = 2;  // the probe, PrepareForUpdate, the register
        EXPECT_EQ(RunOneClickUpdate(path.c_str(), kVxe720, options, sink), 0);
        EXPECT_TRUE(test::NothingWritten(b));
        ASSERT_GE(b.log().size(), 3u);
        EXPECT_TRUE(IsMemoryRead(b.log()[2]));
    }
}

// The first 4 KB are the controller's NVRAM and go back as read.
TEST_F(FaultRegression, AShortNvramReadStopsTheNvramKeepingUpdate) {
    sim::Bridge& b = machine.addDisk(path, sim::ProfileForFamily(6));
    const auto old = reliability::Pattern(0x10000, 6);
    b.setFlash(0, old);
    machine.platform.setResource("FW652A", "FW", reliability::Pattern(20000, 7));
    b.faults().shortReadAt = 1;  // the status poll, then the NVRAM read
    int32_t nvramSkip = 0;
    EXPECT_EQ(RunNvramKeepingUpdate(path.c_str(), options, sink, nvramSkip), 0);
    EXPECT_EQ(sink.statusText(), "Backup NVRAM command fail!");
    EXPECT_TRUE(test::NothingWritten(b));
    EXPECT_EQ(flashOf(b), old);
}

// A program command acknowledged but not done, and a read-back that came
// back short over the same bytes: the missing bytes compared as the zeros
// the image holds there, and YES reported success over an erased chunk.
TEST_F(FaultRegression, AShortReadBackOverADroppedWriteIsNoSuccess) {
    const auto setUp = [&](test::SimulatedMachine& m) -> sim::Bridge& {
        sim::Bridge& b = m.addDisk(path, sim::Vxe720Enclosure());  // the paged path
        b.setFlash(0, reliability::Vxe720OldFlash());
        return b;
    };
    const auto run = [&] { return RunOneClickUpdate(path.c_str(), kVxe720, options, sink); };
    const auto isProgram = [](const sim::LogEntry& e) { return e.command.cdb[0] == 0xFF && e.command.cdb[2] == 0x11; };
    const auto isRead = [](const sim::LogEntry& e) { return e.command.cdb[0] == 0xFF && e.command.cdb[2] == 0x10; };
    const uint64_t lastProgram = IndexInCleanRun(setUp, run, isProgram, 7);  // the chunk at 0xE000
    const uint64_t lastReadBack = IndexInCleanRun(setUp, run, isRead, 7);    // the page at 0xC000

    sim::Bridge& b = setUp(machine);
    b.faults().ignoreWriteAt = lastProgram;
    b.faults().shortReadAt = lastReadBack;
    b.faults().shortReadMissing = 8192;
    EXPECT_EQ(run(), 0);
}

// Both paths erase before they program, so the image they write must be
// known first: without it nothing at all is sent.
TEST_F(FaultRegression, WithoutTheBuiltInImageYesSendsNothing) {
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct" : "paged");
        test::SimulatedMachine m;
        sim::ProfileOptions o;
        o.memory505eDirect = direct;
        sim::Bridge& b = m.addDisk(path, sim::Vxe720Enclosure(o));
        b.setFlash(0, reliability::Vxe720OldFlash());
        m.platform.hideResource("VXE720FW", "FW");
        EXPECT_EQ(RunOneClickUpdate(path.c_str(), kVxe720, options, sink), 0);
        EXPECT_TRUE(b.log().empty());
        m.platform.setResource("VXE720FW", "FW", reliability::Pattern(0x10001, 1));
        EXPECT_EQ(RunOneClickUpdate(path.c_str(), kVxe720, options, sink), 0);
        EXPECT_TRUE(b.log().empty()) << "an image larger than the flash is refused as well";
    }
}

TEST_F(FaultRegression, TheProbeTellsNoFromNoAnswer) {
    sim::Bridge& b = addVxe720(false);
    bool answered = false;
    EXPECT_EQ(TestMemory505E(path.c_str(), &answered), 0);
    EXPECT_TRUE(answered);
    b.faults().failCommandAt = b.commandCount();
    EXPECT_EQ(TestMemory505E(path.c_str(), &answered), 0);
    EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace vxe
