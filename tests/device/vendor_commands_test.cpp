// Every vendor command's bytes on the wire, and the commands that read
// meaning into a reply.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "device/vendor_commands.h"
#include "tests/support/simulated_machine.h"

namespace vxe {
namespace {

using Bytes = std::vector<uint8_t>;

class VendorCommandsTest : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    std::string path = test::UsbDiskPath(0);
    sim::Bridge& bridge = machine.addDisk(path, sim::Vxe720Enclosure());
    const char* p() const { return path.c_str(); }

    Bytes lastCdb() const {
        const auto& c = bridge.log().back().command;
        return Bytes(c.cdb.begin(), c.cdb.begin() + c.cdbLength);
    }
};

struct WireCase {
    const char* name;
    std::function<int32_t(const char*)> send;
    Bytes cdb;
    bool dataIn;
    uint32_t length;  // bytes on the wire
};

TEST_F(VendorCommandsTest, CommandBlocksDirectionsAndLengths) {
    static uint8_t buf[0x2000];
    const std::vector<WireCase> cases = {
        {"Inquiry", [](const char* d) { return Inquiry(d, buf, 40); },
         {0x12, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0}, true, 40},
        {"GetChipInformation", [](const char* d) { return GetChipInformation(d, buf, 16, nullptr); },
         {0xE0, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true, 16},
        {"ReadIdWord", [](const char* d) { return ReadIdWord(d, buf); },
         {0xDF, 0x10, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0xFF}, true, 2},
        {"ReadMemory", [](const char* d) { return ReadMemory(d, buf, 0xFDB0, 4); },
         {0xDF, 0x10, 0, 0, 0x04, 0, 0xFD, 0xB0, 0, 0, 0, 0xFD}, true, 4},
        {"SpiFlashRead", [](const char* d) { return SpiFlashRead(d, 0x012345, buf, 0x2000); },
         {0xDF, 0x10, 0, 0x20, 0x00, 0, 0, 0, 0x01, 0x23, 0x45, 0xFA}, true, 0x2000},
        {"SpiFlashWrite keeps bits 0-2 and 7", [](const char* d) { return SpiFlashWrite(d, 0x1000, buf, 512, 0x8A); },
         {0xDF, 0x82, 0, 0x02, 0x00, 0, 0, 0, 0x00, 0x10, 0x00, 0xFB}, false, 512},
        {"ParallelFlashBusy", [](const char* d) { return ParallelFlashBusy(d); },
         {0xFF, 0x04, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true, 2},
        {"ParallelFlashErase", [](const char* d) { return ParallelFlashErase(d); },
         {0xFF, 0x04, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false, 0},
        {"ParallelFlashProgram type 0", [](const char* d) { return ParallelFlashProgram(d, buf, 16, 0); },
         {0xFF, 0x04, 0x02, 0x55, 0x55, 0xAA, 0x2A, 0x55, 0x55, 0xAA, 0x55, 0xA0}, false, 16},
        {"ParallelFlashProgram type 1", [](const char* d) { return ParallelFlashProgram(d, buf, 16, 1); },
         {0xFF, 0x04, 0x02, 0x55, 0x05, 0xAA, 0x02, 0x55, 0x05, 0xAA, 0x55, 0xA0}, false, 16},
        {"ParallelFlashProgram type 2", [](const char* d) { return ParallelFlashProgram(d, buf, 16, 2); },
         {0xFF, 0x04, 0x02, 0x55, 0x55, 0xAA, 0x2A, 0x55, 0x55, 0xAA, 0x55, 0xA0}, false, 16},
        {"ParallelFlashProgram type 3", [](const char* d) { return ParallelFlashProgram(d, buf, 16, 3); },
         {0xFF, 0x04, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false, 16},
        {"ParallelFlashRead low byte first", [](const char* d) { return ParallelFlashRead(d, 0x12345, buf, 16); },
         {0xFF, 0x04, 0x03, 0x45, 0x23, 0x01, 0x00, 0, 0, 0, 0, 0}, true, 16},
        {"ParallelFlashPreErase", [](const char* d) { return ParallelFlashPreErase(d, 0); },
         {0xFF, 0x04, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false, 18},
        {"SwitchToInternalRom", [](const char* d) { return SwitchToInternalRom(d); },
         {0xFF, 0x04, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false, 0},
        {"FlashRead high byte first", [](const char* d) { return FlashRead(d, 0x12345, buf, 16); },
         {0xFF, 0x04, 0x10, 0x01, 0x23, 0x45, 0, 0, 0, 0, 0, 0}, true, 16},
        {"FlashProgram", [](const char* d) { return FlashProgram(d, 0x8000, buf, 16); },
         {0xFF, 0x04, 0x11, 0x00, 0x80, 0x00, 0, 0, 0, 0, 0, 0}, false, 16},
        {"FlashReadStatus moves two bytes", [](const char* d) { uint8_t s; return FlashReadStatus(d, &s); },
         {0xFF, 0x04, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true, 2},
        {"FlashChipErase", [](const char* d) { return FlashChipErase(d); },
         {0xFF, 0x04, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false, 0},
        {"FlashBlockErase", [](const char* d) { return FlashBlockErase(d, 0x8000); },
         {0xFF, 0x04, 0x14, 0x00, 0x80, 0x00, 0, 0, 0, 0, 0, 0}, false, 0},
        {"ReadFlashVendor", [](const char* d) { return ReadFlashVendor(d, buf); },
         {0xFF, 0x04, 0x23, 0x04, 0, 0, 0, 0, 0, 0, 0, 0}, true, 4},
        {"PrepareForUpdate", [](const char* d) { return PrepareForUpdate(d); },
         {0xFF, 0x04, 0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false, 0},
        {"ReadIdString", [](const char* d) { return ReadIdString(d, buf, 40); },
         {0xFF, 0x04, 0x30, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}, true, 40},
        {"HostAttach", [](const char* d) { return HostAttach(d); },
         {0xFF, 0x04, 0x43, 0x56, 0x55, 0, 0, 0, 0, 0, 0, 0}, false, 0},
        {"HostDetach", [](const char* d) { return HostDetach(d); },
         {0xFF, 0x04, 0x43, 0x56, 0xAA, 0, 0, 0, 0, 0, 0, 0}, false, 0},
    };
    for (const WireCase& c : cases) {
        SCOPED_TRACE(c.name);
        const uint64_t before = bridge.commandCount();
        c.send(p());
        ASSERT_EQ(bridge.commandCount(), before + 1);
        EXPECT_EQ(lastCdb(), c.cdb);
        EXPECT_EQ(bridge.log().back().command.dataIn, c.dataIn);
        EXPECT_EQ(bridge.log().back().command.length, c.length);
    }
}

TEST_F(VendorCommandsTest, PreEraseSequencesPerFlashType) {
    const Bytes high = {0x55, 0x55, 0xAA, 0x2A, 0x55, 0x55, 0x55, 0x55, 0xAA, 0x2A, 0x55, 0x55,
                        0xAA, 0x55, 0x80, 0xAA, 0x55, 0x10};
    const Bytes low = {0x55, 0x05, 0xAA, 0x02, 0x55, 0x05, 0x55, 0x05, 0xAA, 0x02, 0x55, 0x05,
                       0xAA, 0x55, 0x80, 0xAA, 0x55, 0x10};
    auto data = [](int32_t type) {
        const auto a = ParallelFlashPreEraseData(type);
        return Bytes(a.begin(), a.end());
    };
    EXPECT_EQ(data(0), high);
    EXPECT_EQ(data(2), high);
    EXPECT_EQ(data(1), low);
    EXPECT_EQ(data(3), Bytes(18, 0));
    EXPECT_EQ(data(-1), Bytes(18, 0));
}

TEST_F(VendorCommandsTest, DetectAmicFlashMapsTheCapacityCode) {
    struct Case {
        std::array<uint8_t, 4> jedec;
        int32_t code;
    };
    const Case cases[] = {
        {{0x7F, 0x37, 0x20, 0x12}, 1}, {{0x7F, 0x37, 0x20, 0x11}, 3}, {{0x7F, 0x37, 0x20, 0x20}, 4},
        {{0x7F, 0x37, 0x20, 0x10}, 5}, {{0x7F, 0x37, 0x20, 0x13}, -1}, {{0x7F, 0x37, 0x20, 0x21}, -1},
        {{0x7F, 0x37, 0x30, 0x11}, -1}, {{0xEF, 0x30, 0x11, 0x00}, -1},
    };
    for (const Case& c : cases) {
        bridge.description().jedecId = c.jedec;
        EXPECT_EQ(DetectAmicFlash(p()), c.code);
        const auto& log = bridge.log();
        const auto& request = log[log.size() - 2].command;
        EXPECT_EQ(Bytes(request.cdb.begin(), request.cdb.begin() + 12),
                  (Bytes{0xFF, 0x04, 0x20, 0x01, 0x01, 0x9F, 0, 0, 0, 0, 0, 0}));
        EXPECT_TRUE(request.dataIn);
        EXPECT_EQ(request.length, 0u);
    }
    bridge.faults().failCommandAt = bridge.commandCount();
    EXPECT_EQ(DetectAmicFlash(p()), -1);
}

TEST_F(VendorCommandsTest, MemoryTestsReadTheirWords) {
    auto& memory = bridge.description();
    memory.setMemory(0xFDB0, {0x00, 0xB3, 0x00, 0x00});
    EXPECT_EQ(TestMemoryFDB0(p()), 0);
    memory.setMemory(0xFDB0, {0x00, 0xB4, 0x00, 0x00});
    EXPECT_EQ(TestMemoryFDB0(p()), 1);

    memory.setMemory(0x505E, {0x00, 0x00, 0x01, 0x00});
    EXPECT_EQ(TestMemory505E(p()), 1);
    memory.setMemory(0x505E, {0x00, 0x01, 0x01, 0x00});
    EXPECT_EQ(TestMemory505E(p()), 0);

    bridge.faults().failMatching.push_back({0xDF, 0xFD});
    memory.setMemory(0xFDB0, {0x00, 0xFF, 0x00, 0x00});
    EXPECT_EQ(TestMemoryFDB0(p()), 0);
    EXPECT_EQ(TestMemory505E(p()), 0);
}

TEST_F(VendorCommandsTest, ParallelBusyCountsAFailedPollAsBusy) {
    sim::Bridge& parallel = machine.addDisk(test::UsbDiskPath(1), sim::ProfileForFamily(2));
    const std::string other = test::UsbDiskPath(1);
    EXPECT_EQ(ParallelFlashBusy(other.c_str()), 0);
    parallel.faults().failCommandAt = parallel.commandCount();
    EXPECT_EQ(ParallelFlashBusy(other.c_str()), 1);
}

class WaitFlashReadyTest : public VendorCommandsTest {
protected:
    // Makes the flash busy for `ms` from now with a chip erase.
    void busyFor(uint32_t ms) {
        bridge.description().timing.chipEraseMs = ms;
        ASSERT_EQ(FlashChipErase(p()), 1);
        bridge.clearLog();
    }
    size_t statusReads() const { return bridge.log().size(); }
};

TEST_F(WaitFlashReadyTest, ReadyOnTheLastAllowedPoll) {
    busyFor(5000);  // busy on the first read and re-polls 1..499
    EXPECT_EQ(WaitFlashReady(p()), 1);
    EXPECT_EQ(statusReads(), 501u);
}

TEST_F(WaitFlashReadyTest, StillBusyAfterFiveHundredPolls) {
    busyFor(5001);
    EXPECT_EQ(WaitFlashReady(p()), 0);
    EXPECT_EQ(statusReads(), 501u);
    EXPECT_EQ(machine.platform.sleptMs(), 5000u);
}

TEST_F(WaitFlashReadyTest, ReadyAtOnceSendsOneCommand) {
    EXPECT_EQ(WaitFlashReady(p()), 1);
    EXPECT_EQ(bridge.log().size(), 1u);
    EXPECT_EQ(machine.platform.sleptMs(), 0u);
}

// A device that is gone (pulled mid-update) ends the wait at once instead of
// freezing the window for five seconds; one that answers with errors is
// waited for, since it may come back.
TEST_F(WaitFlashReadyTest, GoneDeviceEndsTheWaitAtOnceAFailingOneIsWaitedFor) {
    bridge.faults().vanishFrom = bridge.commandCount();
    EXPECT_EQ(WaitFlashReady(p()), 0);
    EXPECT_EQ(machine.platform.sleptMs(), 0u);

    bridge.faults().vanishFrom.reset();
    bridge.faults().failMatching.push_back(sim::CommandMatch{0xFF, std::nullopt});
    bridge.clearLog();
    EXPECT_EQ(WaitFlashReady(p()), 0);
    EXPECT_EQ(statusReads(), 501u);
    EXPECT_EQ(machine.platform.sleptMs(), 5000u);
}

}  // namespace
}  // namespace vxe
