// Injected faults and malformed commands: what the host sees and what the
// flash keeps.
#include <gtest/gtest.h>

#include "sim/bridge.h"
#include "sim/profiles.h"
#include "tests/sim/raw_command.h"

namespace {

using namespace simtest;

class BridgeFaults : public ::testing::Test {
protected:
    sim::Reply program(uint32_t address, std::vector<uint8_t> data) {
        return SendOut(bridge, {0xFF, 0x04, 0x11, A2(address), Hi(address), Lo(address), 0, 0, 0, 0, 0, 0},
                       std::move(data));
    }
    sim::Reply inquiry() {
        sim::Reply r;
        ReadIn(bridge, {0x12, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0}, 40, &r);
        return r;
    }

    sim::FakeClock clock;
    sim::Bridge bridge{sim::Vxe720Enclosure(), clock};
};

TEST_F(BridgeFaults, FailedCommandsDoNothingAndAreLogged) {
    bridge.faults().failCommandAt = 0;
    bridge.faults().failMatching.push_back({0xDF, 0xFA});
    const sim::Reply failed = program(0, {0x00});
    EXPECT_EQ(failed.outcome, sim::Outcome::TransportError);
    EXPECT_EQ(failed.transferred, 0u);
    EXPECT_EQ(bridge.flash()[0], 0xFF);

    sim::Reply spiRead;
    ReadIn(bridge, {0xDF, 0x10, 0, 0x02, 0x00, 0, 0, 0, 0, 0, 0, 0xFA}, 512, &spiRead);
    EXPECT_EQ(spiRead.outcome, sim::Outcome::TransportError);
    EXPECT_EQ(program(0, {0x00}).outcome, sim::Outcome::Good);
    EXPECT_EQ(bridge.flash()[0], 0x00);

    ASSERT_EQ(bridge.log().size(), 3u);
    EXPECT_EQ(bridge.log()[1].index, 1u);
    EXPECT_EQ(bridge.log()[1].command.cdb[11], 0xFA);
    EXPECT_EQ(bridge.log()[1].reply.outcome, sim::Outcome::TransportError);
}

TEST_F(BridgeFaults, VendorCommandsAnsweredLikeAPlainDisk) {
    bridge.faults().checkConditionOnVendorCommands = true;
    std::vector<uint8_t> buffer(16, 0xEE);
    const sim::Reply r = bridge.execute(Raw({0xE0, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true, 16), buffer);
    EXPECT_EQ(r.outcome, sim::Outcome::CheckCondition);
    EXPECT_EQ(r.transferred, 0u);
    EXPECT_EQ(r.sense[0], 0x70);
    EXPECT_EQ(r.sense[2], sim::kSenseIllegalRequest);
    EXPECT_EQ(r.sense[12], sim::kAscInvalidOpcode);
    EXPECT_EQ(buffer, std::vector<uint8_t>(16, 0xEE));
    EXPECT_EQ(inquiry().outcome, sim::Outcome::Good);
}

TEST_F(BridgeFaults, MalformedCommands) {
    sim::Reply r;
    ReadIn(bridge, {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, 512, &r);  // READ(10): not a bridge command here
    EXPECT_EQ(r.outcome, sim::Outcome::CheckCondition);
    EXPECT_EQ(r.sense[12], sim::kAscInvalidOpcode);
    ReadIn(bridge, {0xFF, 0x04, 0x77, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 4, &r);
    EXPECT_EQ(r.sense[12], sim::kAscInvalidField);
    // A data phase against the command's direction is a phase error.
    ReadIn(bridge, {0xFF, 0x04, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 16, &r);
    EXPECT_EQ(r.outcome, sim::Outcome::TransportError);
    EXPECT_EQ(bridge.flash()[0], 0xFF);
}

TEST_F(BridgeFaults, VanishedDeviceIsNotPresentFromThatCommandOn) {
    bridge.faults().vanishFrom = 1;
    EXPECT_EQ(inquiry().outcome, sim::Outcome::Good);
    EXPECT_FALSE(bridge.present());
    EXPECT_EQ(inquiry().outcome, sim::Outcome::NotPresent);
    EXPECT_EQ(bridge.commandCount(), 1u);
}

TEST_F(BridgeFaults, StuckBusyFlashTimesOutEveryFlashCommand) {
    bridge.faults().stuckBusyFrom = 1;
    EXPECT_EQ(FlashStatus(bridge), 0x00);
    EXPECT_EQ(FlashStatus(bridge), 0x01);
    clock.advance(3'600'000);
    EXPECT_EQ(FlashStatus(bridge), 0x01);
    EXPECT_EQ(program(0, {0x00}).outcome, sim::Outcome::TransportError);
    EXPECT_EQ(SendOut(bridge, {0xFF, 0x04, 0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0}).outcome, sim::Outcome::TransportError);
    sim::Reply r;
    ReadIn(bridge, {0xFF, 0x04, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 16, &r);
    EXPECT_EQ(r.outcome, sim::Outcome::TransportError);
    EXPECT_EQ(inquiry().outcome, sim::Outcome::Good);  // the controller itself still answers
    EXPECT_EQ(bridge.flash()[0], 0xFF);
}

TEST_F(BridgeFaults, IgnoredWriteIsAcknowledgedButChangesNothing) {
    bridge.fillFlash(0x00);
    bridge.faults().ignoreWriteAt = 0;
    EXPECT_EQ(SendOut(bridge, {0xFF, 0x04, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0}).outcome, sim::Outcome::Good);
    EXPECT_EQ(bridge.flash()[0], 0x00);
    EXPECT_EQ(bridge.counters().serialErases, 0u);
}

TEST_F(BridgeFaults, StuckBitNeverProgramsToZero) {
    bridge.faults().stuckBit = sim::StuckBit{0x10, 0x81};
    program(0x0F, {0x00, 0x00, 0x00});
    EXPECT_EQ(FlashRead(bridge, 0x0F, 3), (std::vector<uint8_t>{0x00, 0x81, 0x00}));
}

TEST_F(BridgeFaults, ShortReadLeavesTheTailOfTheHostBufferUntouched) {
    program(0, std::vector<uint8_t>(16, 0x11));
    bridge.faults().shortReadAt = 1;
    bridge.faults().shortReadMissing = 3;
    std::vector<uint8_t> buffer(16, 0xEE);
    const sim::Reply r = bridge.execute(Raw({0xFF, 0x04, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true, 16), buffer);
    EXPECT_EQ(r.transferred, 13u);
    EXPECT_EQ(buffer[12], 0x11);
    EXPECT_EQ(buffer[13], 0xEE);
    EXPECT_EQ(buffer[15], 0xEE);
}

}  // namespace
