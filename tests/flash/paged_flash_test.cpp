// Page-by-page reads and erases, and the complete program-and-verify sequence.
#include <gtest/gtest.h>

#include <vector>

#include "flash/paged_flash.h"
#include "tests/support/metered_platform.h"
#include "tests/support/simulated_machine.h"
#include "tests/support/wire_log.h"

namespace vxe {
namespace {

class PagedFlashTest : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    std::string path = test::UsbDiskPath(0);
    sim::Bridge& bridge = machine.addDisk(path, sim::ProfileForFamily(1));
    RecordingStatusSink sink;
    const char* p() const { return path.c_str(); }
};

std::vector<uint8_t> Image(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
    return bytes;
}

TEST_F(PagedFlashTest, ReadsWholePagesWithADotEach) {
    std::vector<uint8_t> destination(65536);
    ASSERT_TRUE(ReadFlashPaged(p(), 0, destination, 65536, 16384, sink));
    EXPECT_EQ(test::Addresses(test::FlashReads(bridge)), (std::vector<uint32_t>{0, 0x4000, 0x8000, 0xC000}));
    EXPECT_EQ(sink.statusText(), "ReadFlash..." + std::string(4, '.'));
}

TEST_F(PagedFlashTest, OneImageAsksForTheDevicesTransferBoundOnce) {
    test::MeteredPlatform metered(machine.platform, machine.clock);
    const ScopedPlatform installed(metered);
    bridge.fillFlash(0xFF);
    ASSERT_TRUE(ProgramFlashImage(p(), Image(65536), 16384, sink));
    EXPECT_EQ(test::FlashReads(bridge).size(), 8u);
    EXPECT_EQ(metered.limitLookups, 1u);
}

TEST_F(PagedFlashTest, NothingToReadIsAFailureWithoutARead) {
    std::vector<uint8_t> destination(16);
    EXPECT_FALSE(ReadFlashPaged(p(), 0, destination, 0, 16384, sink));
    EXPECT_TRUE(test::FlashReads(bridge).empty());
}

TEST_F(PagedFlashTest, ADestinationTooSmallForWholePagesIsRefused) {
    std::vector<uint8_t> destination(1000);
    EXPECT_FALSE(ReadFlashPaged(p(), 0, destination, 1000, 2048, sink));
    EXPECT_TRUE(test::FlashReads(bridge).empty());
}

TEST_F(PagedFlashTest, ErasesOnePageSizeStepAtATime) {
    ASSERT_TRUE(EraseFlashPaged(p(), 65536, 2048, sink));
    const auto erases = test::BlockErases(bridge);
    ASSERT_EQ(erases.size(), 32u);
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(erases[i].address, i * 2048);
    EXPECT_EQ(sink.statusText(), "Erase..." + std::string(32, '.'));
}

TEST_F(PagedFlashTest, ErasingStopsAtTheFirstFailedCommand) {
    bridge.faults().failMatching.push_back({0xFF, 0x14});
    EXPECT_FALSE(EraseFlashPaged(p(), 65536, 16384, sink));
    EXPECT_EQ(test::BlockErases(bridge).size(), 1u);
    EXPECT_EQ(sink.statusText(), "Erase...");
}

TEST_F(PagedFlashTest, ProgramsA64KImageInEightChunksAndAdvancesFifty) {
    bridge.fillFlash(0x00);
    const auto image = Image(65536);
    ASSERT_TRUE(ProgramFlashImage(p(), image, 16384, sink));
    EXPECT_EQ(test::Addresses(test::BlockErases(bridge)), (std::vector<uint32_t>{0, 0x8000}));
    const auto programs = test::FlashPrograms(bridge);
    ASSERT_EQ(programs.size(), 8u);
    for (uint32_t c = 0; c < 8; ++c) {
        EXPECT_EQ(programs[c].address, c * 8192);
        EXPECT_EQ(programs[c].length, 8192u);
    }
    EXPECT_TRUE(test::ChipErases(bridge).empty());
    EXPECT_EQ(sink.stepsTaken, 50);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), bridge.flash().begin()));
}

TEST_F(PagedFlashTest, ABlockThatStaysProgrammedGetsOneChipErase) {
    bridge.fillFlash(0x00);
    // The second block erase is acknowledged but not carried out.
    bridge.faults().failMatching.clear();
    const auto image = Image(65536);
    uint64_t secondErase = 0;
    {
        // Dry run on a twin to find the command index of the second block erase.
        test::SimulatedMachine twin;
        sim::Bridge& t = twin.addDisk(path, sim::ProfileForFamily(1));
        RecordingStatusSink s;
        ASSERT_TRUE(ProgramFlashImage(p(), image, 16384, s));
        secondErase = test::BlockErases(t)[1].index;
    }
    bridge.faults().ignoreWriteAt = secondErase;
    ASSERT_TRUE(ProgramFlashImage(p(), image, 16384, sink));
    EXPECT_EQ(test::ChipErases(bridge).size(), 1u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), bridge.flash().begin()));
}

TEST_F(PagedFlashTest, AFailedChipEraseStillProgramsAndTheCompareDecides) {
    bridge.fillFlash(0x00);
    bridge.faults().failMatching = {{0xFF, 0x14}};
    EXPECT_FALSE(ProgramFlashImage(p(), Image(65536), 16384, sink)) << "a failed block erase ends it";

    bridge.faults().failMatching = {{0xFF, 0x13}};
    bridge.faults().ignoreWriteAt = bridge.commandCount() + 1;  // the first block erase: status poll, erase
    bridge.clearLog();
    EXPECT_FALSE(ProgramFlashImage(p(), Image(65536), 16384, sink));
    EXPECT_EQ(test::FlashPrograms(bridge).size(), 8u);
}

}  // namespace
}  // namespace vxe
