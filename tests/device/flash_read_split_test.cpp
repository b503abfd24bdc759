// Flash reads longer than the platform carries in one request, as on a USB
// 2.0 link under Linux: consecutive reads on the wire, the same bytes in the
// caller's buffer, and one verdict for the whole read.
#include <gtest/gtest.h>

#include <vector>

#include "device/scsi_transport.h"
#include "device/vendor_commands.h"
#include "tests/support/simulated_machine.h"
#include "tests/support/wire_log.h"

namespace vxe {
namespace {

constexpr uint32_t kUsb2Limit = 120 * 1024;
constexpr int32_t kOneMiB = 1024 * 1024;

class FlashReadSplitTest : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    std::string path = test::UsbDiskPath(0);
    sim::Bridge& bridge = machine.addDisk(path, OneMiBFlash());

    FlashReadSplitTest() {
        std::vector<uint8_t> flash(kOneMiB);
        for (size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>((i * 7) ^ (i >> 9) ^ (i >> 17));
        bridge.setFlash(0, flash);
    }
    static sim::DeviceDescription OneMiBFlash() {
        sim::DeviceDescription d = sim::Vxe720Enclosure();
        d.flashSize = kOneMiB;
        return d;
    }
    std::vector<uint8_t> read(uint32_t address, int32_t length, int32_t& transferred, int32_t& result) {
        std::vector<uint8_t> bytes(static_cast<size_t>(length), 0xEE);
        result = FlashRead(path.c_str(), address, bytes.data(), length, &transferred);
        return bytes;
    }
};

TEST_F(FlashReadSplitTest, ALongReadGoesOutInPiecesAndReadsTheSameBytes) {
    int32_t transferred = 0, result = 0;
    const auto whole = read(0x100, kOneMiB, transferred, result);
    ASSERT_EQ(result, 1);
    ASSERT_EQ(test::FlashReads(bridge).size(), 1u);  // no limit: one command, as sent before

    bridge.clearLog();
    machine.platform.setTransferLimit(path, kUsb2Limit);
    const auto pieced = read(0x100, kOneMiB, transferred, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(transferred, kOneMiB);
    EXPECT_TRUE(pieced == whole);

    const auto reads = test::FlashReads(bridge);
    ASSERT_EQ(reads.size(), 9u);
    EXPECT_EQ(bridge.log().size(), 9u);  // nothing else was sent
    for (size_t i = 0; i < reads.size(); ++i) {
        EXPECT_EQ(reads[i].address, 0x100 + i * kUsb2Limit) << i;
        EXPECT_EQ(reads[i].length, i < 8 ? kUsb2Limit : kOneMiB - 8 * kUsb2Limit) << i;
        EXPECT_TRUE(bridge.log()[i].command.dataIn);
    }
}

TEST_F(FlashReadSplitTest, AReadWithinTheLimitIsOneCommand) {
    machine.platform.setTransferLimit(path, kUsb2Limit);
    int32_t transferred = 0, result = 0;
    read(0x8000, kUsb2Limit, transferred, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(transferred, static_cast<int32_t>(kUsb2Limit));
    ASSERT_EQ(bridge.log().size(), 1u);
    const auto& cdb = bridge.log()[0].command.cdb;
    EXPECT_EQ(std::vector<uint8_t>(cdb.begin(), cdb.begin() + 12),
              (std::vector<uint8_t>{0xFF, 0x04, 0x10, 0x00, 0x80, 0x00, 0, 0, 0, 0, 0, 0}));
}

TEST_F(FlashReadSplitTest, TheKernelsRefusalIsWhatTheSplitAvoids) {
    machine.platform.setTransferLimit(path, kUsb2Limit);
    std::vector<uint8_t> bytes(kOneMiB);
    int32_t transferred = -7;
    const Cdb cdb = FlashGroupCdb(0x10, 0);
    EXPECT_EQ(ScsiDataIn(path.c_str(), cdb.data(), kCdbLength, bytes.data(), kOneMiB, &transferred), 0);
    EXPECT_EQ(transferred, 0);
    EXPECT_TRUE(bridge.log().empty());
}

TEST_F(FlashReadSplitTest, AFailedPieceFailsTheReadAndNothingFollowsIt) {
    machine.platform.setTransferLimit(path, kUsb2Limit);
    bridge.faults().failCommandAt = 2;
    int32_t transferred = 0, result = 0;
    read(0, kOneMiB, transferred, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(test::FlashReads(bridge).size(), 3u);
    EXPECT_EQ(transferred, static_cast<int32_t>(2 * kUsb2Limit));

    // A device that cannot be opened reports no length at all, as one read would.
    bridge.faults() = {};
    bridge.faults().vanishFrom = bridge.commandCount();
    transferred = -7;
    read(0, kOneMiB, transferred, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(transferred, -7);
}

TEST_F(FlashReadSplitTest, AShortPieceShowsInTheSum) {
    machine.platform.setTransferLimit(path, kUsb2Limit);
    bridge.faults().shortReadAt = 4;
    bridge.faults().shortReadMissing = 100;
    int32_t transferred = 0, result = 0;
    read(0, kOneMiB, transferred, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(transferred, kOneMiB - 100);
    EXPECT_EQ(test::FlashReads(bridge).size(), 9u);
}

}  // namespace
}  // namespace vxe
