// Serial flash transfers of the VXE720 generation, checked on the wire and in
// the simulated flash.
#include <gtest/gtest.h>

#include <numeric>
#include <tuple>
#include <vector>

#include "chip/firmware_image.h"
#include "flash/spi_flash.h"
#include "platform/platform.h"
#include "tests/support/simulated_machine.h"
#include "tests/support/wire_log.h"

namespace vxe {
namespace {

using Transfer = std::tuple<uint32_t, uint32_t, uint8_t>;  // address, length, mode byte

std::vector<Transfer> WritesOf(const sim::Bridge& bridge) {
    std::vector<Transfer> out;
    for (const auto& w : test::SpiWrites(bridge)) out.emplace_back(w.address, w.length, w.modeByte);
    return out;
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed = 1) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 31 + seed) ^ (i >> 8));
    return bytes;
}

class SpiFlashTest : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    std::string path = test::UsbDiskPath(0);
    sim::Bridge& bridge = machine.addDisk(path, sim::Vxe720Enclosure());
    const char* p() const { return path.c_str(); }
};

TEST_F(SpiFlashTest, LargeUnitsOfVendorZeroFollowTheWorkedExample) {
    const auto data = Pattern(65536);
    ASSERT_TRUE(SpiWriteRange(p(), 0, data, 2, 0));
    const std::vector<Transfer> expected = {
        {0, 4096, 2},         {4096, 8192, 0},  {12288, 8192, 0}, {20480, 8192, 0}, {28672, 4096, 0},
        {32768, 8192, 2},     {40960, 8192, 0}, {49152, 8192, 0}, {57344, 8192, 0},
    };
    EXPECT_EQ(WritesOf(bridge), expected);
}

TEST_F(SpiFlashTest, SmallUnitsAndWholeFlashModes) {
    const auto data = Pattern(65536);
    ASSERT_TRUE(SpiWriteRange(p(), 0, data, 1, 0));
    auto writes = WritesOf(bridge);
    ASSERT_EQ(writes.size(), 16u);
    for (size_t i = 0; i < writes.size(); ++i) EXPECT_EQ(writes[i], Transfer(i * 4096, 4096, 1));

    bridge.clearLog();
    ASSERT_TRUE(SpiWriteRange(p(), 0, data, 1, 3));  // vendor 3: small unit 32768
    writes = WritesOf(bridge);
    ASSERT_GE(writes.size(), 6u);
    EXPECT_EQ(writes[0], Transfer(0, 4096, 1));
    EXPECT_EQ(writes[1], Transfer(4096, 8192, 0));
    EXPECT_EQ(writes[4], Transfer(28672, 4096, 0));
    EXPECT_EQ(writes[5], Transfer(32768, 8192, 1));

    bridge.clearLog();
    ASSERT_TRUE(SpiWriteRange(p(), 0, data, 3, 0));
    writes = WritesOf(bridge);
    EXPECT_EQ(writes[0], Transfer(0, 4096, 3));
    for (size_t i = 1; i < writes.size(); ++i) EXPECT_EQ(std::get<2>(writes[i]), 0) << i;
}

TEST_F(SpiFlashTest, VendorCodesBeyondTheTablesUseTheUnitsOfAnUnreadVendor) {
    const auto data = Pattern(65536);
    ASSERT_TRUE(SpiWriteRange(p(), 0, data, 2, 200));
    const auto unknown = WritesOf(bridge);
    bridge.clearLog();
    ASSERT_TRUE(SpiWriteRange(p(), 0, data, 2, 0));
    EXPECT_EQ(unknown, WritesOf(bridge));
}

TEST_F(SpiFlashTest, ReadsRoundTo512AndReturnExactlyTheLength) {
    bridge.setFlash(0, Pattern(1024));
    std::vector<uint8_t> destination(101, 0xEE);
    ASSERT_TRUE(SpiReadRange(p(), 0, std::span<uint8_t>(destination).first(100)));
    ASSERT_EQ(test::SpiReads(bridge).size(), 1u);
    EXPECT_EQ(test::SpiReads(bridge)[0].length, 512u);
    const auto expected = Pattern(100);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), destination.begin()));
    EXPECT_EQ(destination[100], 0xEE);
}

TEST_F(SpiFlashTest, WritesPadTheRoundingWithZeros) {
    bridge.fillFlash(0xFF);
    const std::vector<uint8_t> data(1000, 0xA5);
    ASSERT_TRUE(SpiWriteRange(p(), 0x2000, data, 0, 0));
    ASSERT_EQ(test::SpiWrites(bridge).size(), 1u);
    EXPECT_EQ(test::SpiWrites(bridge)[0].length, 1024u);
    EXPECT_EQ(bridge.flash()[0x2000 + 999], 0xA5);
    for (uint32_t i = 1000; i < 1024; ++i) EXPECT_EQ(bridge.flash()[0x2000 + i], 0x00) << i;
    EXPECT_EQ(bridge.flash()[0x2000 + 1024], 0xFF);
}

TEST_F(SpiFlashTest, ZeroLengthSendsNothing) {
    std::vector<uint8_t> none;
    EXPECT_FALSE(SpiReadRange(p(), 0, none));
    EXPECT_FALSE(SpiWriteRange(p(), 0, none, 2, 0));
    EXPECT_TRUE(bridge.log().empty());
}

TEST_F(SpiFlashTest, FailedReadMidRangeKeepsWhatCameAndZerosTheRest) {
    const auto flash = Pattern(65536, 7);
    bridge.setFlash(0, flash);
    std::vector<uint8_t> destination(3 * 8192 + 100, 0xEE);
    const uint64_t start = bridge.commandCount();
    // Each transfer is a status poll, then the read: the third read is command start + 5.
    bridge.faults().failCommandAt = start + 5;
    EXPECT_FALSE(SpiReadRange(p(), 0, destination));
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 2 * 8192, destination.begin()));
    for (size_t i = 2 * 8192; i < destination.size(); ++i) ASSERT_EQ(destination[i], 0) << i;
}

class SpiProgramTest : public SpiFlashTest {
protected:
    // Passes of the image: every transfer at address 0 starts one.
    size_t passes() const {
        size_t n = 0;
        for (const auto& w : test::SpiWrites(bridge)) n += w.address == 0 ? 1 : 0;
        return n;
    }
};

TEST_F(SpiProgramTest, EqualOnTheFirstAttemptIsWrittenOnce) {
    const auto image = Pattern(65536, 3);
    EXPECT_TRUE(SpiProgramAndCompare(p(), image));
    EXPECT_EQ(passes(), 1u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), bridge.flash().begin()));
}

TEST_F(SpiProgramTest, NeverEqualTriesThreeTimesWithModesTwoThreeOne) {
    bridge.faults().stuckBit = sim::StuckBit{0x9000, 0x01};
    auto image = Pattern(65536, 3);
    image[0x9000] &= 0xFE;
    EXPECT_FALSE(SpiProgramAndCompare(p(), image));
    std::vector<uint8_t> firstModes;
    for (const auto& w : test::SpiWrites(bridge)) {
        if (w.address == 0) firstModes.push_back(w.modeByte);
    }
    EXPECT_EQ(firstModes, (std::vector<uint8_t>{2, 3, 1}));
}

TEST_F(SpiProgramTest, VendorFivePreWritesAndFlagsTheFirstTransfer) {
    bridge.description().flashVendorCode = 5;
    bridge.faults().stuckBit = sim::StuckBit{0x9000, 0x01};
    auto image = Pattern(65536, 3);
    image[0x9000] &= 0xFE;
    EXPECT_FALSE(SpiProgramAndCompare(p(), image));
    const auto writes = test::SpiWrites(bridge);
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[0].address, 0u);
    EXPECT_EQ(writes[0].length, 4096u);
    EXPECT_EQ(writes[0].modeByte, 2) << "the pre-write carries no flag";
    std::vector<uint8_t> firstModes;
    for (size_t i = 1; i < writes.size(); ++i) {
        if (writes[i].address == 0) firstModes.push_back(writes[i].modeByte);
        else EXPECT_EQ(writes[i].modeByte & 0x80, 0);
    }
    EXPECT_EQ(firstModes, (std::vector<uint8_t>{0x82, 0x83, 0x81}));
    EXPECT_GE(machine.platform.sleptMs(), 500u);
}

TEST_F(SpiProgramTest, UpdateImageKeepsTheOldBytesBeyondTheImage) {
    const auto old = Pattern(65536, 9);
    bridge.setFlash(0, old);
    std::vector<uint8_t> header(128);
    std::iota(header.begin(), header.end(), uint8_t{0x40});
    ASSERT_TRUE(SpiUpdateImage(p(), header));

    std::vector<uint8_t> image(65536, 0);
    const uint32_t size = LoadEmbeddedImage(image, 0, 0);
    ASSERT_EQ(size, 36940u);
    const auto flash = bridge.flash();
    EXPECT_TRUE(std::equal(header.begin(), header.end(), flash.begin()));
    EXPECT_TRUE(std::equal(image.begin() + 128, image.begin() + size, flash.begin() + 128));
    EXPECT_TRUE(std::equal(old.begin() + size, old.end(), flash.begin() + size));
}

TEST_F(SpiProgramTest, UpdateImageWritesNothingWhenTheOldContentsCannotBeRead) {
    bridge.faults().failMatching.push_back({0xDF, 0xFA});
    std::vector<uint8_t> header(128, 0x11);
    EXPECT_FALSE(SpiUpdateImage(p(), header));
    EXPECT_TRUE(test::NothingWritten(bridge));
}

}  // namespace
}  // namespace vxe
