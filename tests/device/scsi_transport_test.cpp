// The transport: open modes, timeouts, the short-transfer rule and what a
// caller sees on failure, observed on the simulated bridge's wire.
#include <gtest/gtest.h>

#include <array>

#include "device/scsi_transport.h"
#include "device/vendor_commands.h"
#include "tests/support/simulated_machine.h"

namespace vxe {
namespace {

class ScsiTransportTest : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    std::string path = test::UsbDiskPath(0);
    sim::Bridge& bridge = machine.addDisk(path, sim::Vxe720Enclosure());

    const sim::LogEntry& last() const { return bridge.log().back(); }
};

TEST_F(ScsiTransportTest, DataInSharesTheDeviceAndWaitsTwentySeconds) {
    uint8_t buffer[8] = {};
    const Cdb cdb = FlashGroupCdb(0x13);  // byte 2 == 0x13 does not matter for data-in
    EXPECT_EQ(ScsiDataIn(path.c_str(), cdb.data(), 12, buffer, 8, nullptr), 1);
    EXPECT_TRUE(last().command.dataIn);
    EXPECT_FALSE(last().command.exclusiveOpen);
    EXPECT_EQ(last().command.timeoutSeconds, 20u);
    EXPECT_EQ(last().command.cdbLength, 12);
}

TEST_F(ScsiTransportTest, DataOutIsExclusiveWithTenSecondsOrHundredForChipErase) {
    EXPECT_EQ(PrepareForUpdate(path.c_str()), 1);
    EXPECT_FALSE(last().command.dataIn);
    EXPECT_TRUE(last().command.exclusiveOpen);
    EXPECT_EQ(last().command.timeoutSeconds, 10u);

    EXPECT_EQ(FlashChipErase(path.c_str()), 1);
    EXPECT_EQ(last().command.timeoutSeconds, 100u);
}

TEST_F(ScsiTransportTest, ShortTransfersGoThroughTheScratchBuffer) {
    std::array<uint8_t, 4> pattern = {0xA5, 0x3C, 0x0F, 0x77};
    bridge.fillFlash(0xFF);
    bridge.setFlash(0, pattern);

    // One byte in: two move on the wire, the caller gets exactly one.
    std::array<uint8_t, 2> one = {0x00, 0xEE};
    ASSERT_EQ(FlashRead(path.c_str(), 0, one.data(), 1), 1);
    EXPECT_EQ(last().command.length, 2u);
    EXPECT_EQ(one[0], 0xA5);
    EXPECT_EQ(one[1], 0xEE);

    // Three bytes: three on the wire.
    std::array<uint8_t, 4> three = {0, 0, 0, 0xEE};
    ASSERT_EQ(FlashRead(path.c_str(), 0, three.data(), 3), 1);
    EXPECT_EQ(last().command.length, 3u);
    EXPECT_EQ(three, (std::array<uint8_t, 4>{0xA5, 0x3C, 0x0F, 0xEE}));

    // Four bytes and more use the caller's buffer directly.
    std::array<uint8_t, 4> four{};
    ASSERT_EQ(FlashRead(path.c_str(), 0, four.data(), 4), 1);
    EXPECT_EQ(last().command.length, 4u);
    EXPECT_EQ(four, pattern);
}

TEST_F(ScsiTransportTest, OneByteWriteSendsTheByteThenZero) {
    bridge.fillFlash(0xFF);
    const uint8_t data = 0x5A;
    ASSERT_EQ(FlashProgram(path.c_str(), 0x100, &data, 1), 1);
    EXPECT_EQ(last().command.length, 2u);
    EXPECT_EQ(bridge.flash()[0x100], 0x5A);
    EXPECT_EQ(bridge.flash()[0x101], 0x00);
    EXPECT_EQ(bridge.flash()[0x102], 0xFF);
}

TEST_F(ScsiTransportTest, ZeroLengthKeepsItsDirection) {
    int32_t transferred = -1;
    const Cdb cdb = FlashGroupCdb(0x20);
    EXPECT_EQ(ScsiDataIn(path.c_str(), cdb.data(), 12, nullptr, 0, &transferred), 1);
    EXPECT_TRUE(last().command.dataIn);
    EXPECT_EQ(last().command.length, 0u);
    EXPECT_EQ(transferred, 0);
}

TEST_F(ScsiTransportTest, UnopenableDeviceReturnsZeroAndLeavesEverythingAlone) {
    int32_t transferred = 1234;
    uint8_t buffer[2] = {0x11, 0x22};
    const Cdb cdb = FlashGroupCdb(0x12);
    EXPECT_EQ(ScsiDataIn("\\\\?\\usbstor#nothing-here", cdb.data(), 12, buffer, 1, &transferred), 0);
    EXPECT_EQ(transferred, 1234);
    EXPECT_EQ(buffer[0], 0x11);

    machine.platform.setHeldElsewhere(path, true);
    EXPECT_EQ(ScsiDataOut(path.c_str(), cdb.data(), 12, nullptr, 0, &transferred), 0);
    EXPECT_EQ(transferred, 1234);
    EXPECT_EQ(ScsiDataIn(path.c_str(), cdb.data(), 12, buffer, 1, &transferred), 1) << "data-in shares the device";
}

TEST_F(ScsiTransportTest, CheckConditionCountsAsCarriedAndFailureStillReportsLength) {
    bridge.faults().checkConditionOnVendorCommands = true;
    int32_t transferred = -1;
    uint8_t reply[16] = {};
    EXPECT_EQ(GetChipInformation(path.c_str(), reply, 16, &transferred), 1);
    EXPECT_EQ(transferred, 0);

    bridge.faults().checkConditionOnVendorCommands = false;
    bridge.faults().failCommandAt = bridge.commandCount();
    transferred = -1;
    EXPECT_EQ(GetChipInformation(path.c_str(), reply, 16, &transferred), 0);
    EXPECT_GE(transferred, 0) << "the length is written on a failed request too";
}

// A short data-in goes through the scratch buffer, which starts with the
// caller's bytes: what the device did not deliver stays as it was, whether
// the request failed or came back short.
TEST_F(ScsiTransportTest, AFailedOrShortDataInKeepsWhatDidNotArrive) {
    bridge.fillFlash(0xFF);
    const std::array<uint8_t, 3> pattern = {0xA5, 0x3C, 0x0F};
    bridge.setFlash(0, pattern);

    bridge.faults().failCommandAt = bridge.commandCount();
    std::array<uint8_t, 3> failed = {0xEE, 0xEE, 0xEE};
    int32_t transferred = -1;
    EXPECT_EQ(FlashRead(path.c_str(), 0, failed.data(), 3, &transferred), 0);
    EXPECT_EQ(last().command.length, 3u);
    EXPECT_EQ(failed, (std::array<uint8_t, 3>{0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(transferred, 0) << "the length is written on a failed request too";

    bridge.faults().failCommandAt.reset();
    bridge.faults().shortReadAt = bridge.commandCount();
    std::array<uint8_t, 3> shortRead = {0xEE, 0xEE, 0xEE};
    EXPECT_EQ(FlashRead(path.c_str(), 0, shortRead.data(), 3, &transferred), 1);
    EXPECT_EQ(shortRead, (std::array<uint8_t, 3>{0xA5, 0x3C, 0xEE}));
    EXPECT_EQ(transferred, 2);
}

}  // namespace
}  // namespace vxe
