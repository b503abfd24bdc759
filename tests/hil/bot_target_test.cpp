#include "bot_target.h"

#include <gtest/gtest.h>

#include <vector>

#include "gadget_profile.h"
#include "sim/clock.h"
#include "sim/profiles.h"

namespace hil {
namespace {

std::vector<uint8_t> Wrapper(uint32_t tag, uint32_t length, bool in, const std::vector<uint8_t>& cdb, uint8_t lun = 0) {
    std::vector<uint8_t> w(kCbwSize, 0);
    w[0] = 'U';
    w[1] = 'S';
    w[2] = 'B';
    w[3] = 'C';
    for (int i = 0; i < 4; ++i) {
        w[4 + i] = static_cast<uint8_t>(tag >> (8 * i));
        w[8 + i] = static_cast<uint8_t>(length >> (8 * i));
    }
    w[12] = in ? 0x80 : 0x00;
    w[13] = lun;
    w[14] = static_cast<uint8_t>(cdb.size());
    std::copy(cdb.begin(), cdb.end(), w.begin() + 15);
    return w;
}

Cbw Parsed(uint32_t length, bool in, const std::vector<uint8_t>& cdb, uint8_t lun = 0) {
    std::optional<Cbw> cbw = ParseCbw(Wrapper(7, length, in, cdb, lun));
    EXPECT_TRUE(cbw.has_value());
    return cbw.value_or(Cbw{});
}

TEST(BotWireFormat, CommandWrapperFieldsAreLittleEndian) {
    std::optional<Cbw> cbw = ParseCbw(Wrapper(0x11223344, 0x00010200, true, {0xE0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 0));
    ASSERT_TRUE(cbw);
    EXPECT_EQ(cbw->tag, 0x11223344u);
    EXPECT_EQ(cbw->dataLength, 0x00010200u);
    EXPECT_TRUE(cbw->dataIn);
    EXPECT_EQ(cbw->cdbLength, 12);
    EXPECT_EQ(cbw->cdb[0], 0xE0);
    EXPECT_EQ(cbw->cdb[11], 11);
    EXPECT_EQ(cbw->cdb[12], 0) << "nothing past the command block";
}

TEST(BotWireFormat, MalformedWrappersAreRefused) {
    std::vector<uint8_t> good = Wrapper(1, 0, false, {0x00, 0, 0, 0, 0, 0});
    EXPECT_TRUE(ParseCbw(good));

    EXPECT_FALSE(ParseCbw(std::span(good).first(30)));
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_FALSE(ParseCbw(longer));

    std::vector<uint8_t> signature = good;
    signature[3] = 'S';
    EXPECT_FALSE(ParseCbw(signature));

    std::vector<uint8_t> noCommand = good;
    noCommand[14] = 0;
    EXPECT_FALSE(ParseCbw(noCommand));
    std::vector<uint8_t> tooLong = good;
    tooLong[14] = 17;
    EXPECT_FALSE(ParseCbw(tooLong));
}

TEST(BotWireFormat, StatusWrapperCarriesTagResidueAndStatus) {
    const auto csw = BuildCsw(0xA1B2C3D4, 0x0102, CswStatus::Failed);
    const std::array<uint8_t, kCswSize> expected{'U', 'S', 'B', 'S', 0xD4, 0xC3, 0xB2, 0xA1, 0x02, 0x01, 0, 0, 1};
    EXPECT_EQ(csw, expected);
}

class BotTargetTest : public testing::Test {
protected:
    sim::FakeClock clock;
    sim::Bridge bridge{sim::Vxe720Enclosure(), clock};
    BotTarget target{bridge, 2048};
    std::vector<uint8_t> data;

    BotResult run(uint32_t length, bool in, const std::vector<uint8_t>& cdb, uint8_t lun = 0) {
        data.assign(length, 0xAA);
        return target.execute(Parsed(length, in, cdb, lun), data);
    }
};

TEST_F(BotTargetTest, BridgeCommandsReachTheBridgeAndShortRepliesArePaddedWithResidue) {
    BotResult inquiry = run(36, true, {0x12, 0, 0, 0, 36, 0});
    EXPECT_EQ(inquiry.status, CswStatus::Passed);
    EXPECT_EQ(inquiry.residue, 0u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), bridge.description().inquiry.begin()));

    const auto& block = bridge.description().chipInformation;
    BotResult info = run(64, true, {0xE0, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(info.status, CswStatus::Passed);
    EXPECT_EQ(info.residue, 64 - block.size());
    EXPECT_TRUE(std::equal(block.begin(), block.end(), data.begin()));
    EXPECT_TRUE(std::all_of(data.begin() + static_cast<long>(block.size()), data.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(bridge.commandCount(), 2u);
}

TEST_F(BotTargetTest, DataOutBytesReachTheFlash) {
    data = {0x12, 0x34, 0x56, 0x78};
    BotResult result = target.execute(Parsed(4, false, {0xFF, 0x04, 0x11, 0x00, 0x00, 0x20}), data);
    EXPECT_EQ(result.status, CswStatus::Passed);
    EXPECT_EQ(result.residue, 0u);
    EXPECT_EQ(std::vector<uint8_t>(bridge.flash().begin() + 0x20, bridge.flash().begin() + 0x24), data);
}

TEST_F(BotTargetTest, RejectedCommandLeavesSenseForOneRequestSense) {
    BotResult rejected = run(8, true, {0xC7, 0, 0, 0, 0, 0});
    EXPECT_EQ(rejected.status, CswStatus::Failed);
    EXPECT_EQ(rejected.residue, 8u);
    EXPECT_TRUE(std::all_of(data.begin(), data.end(), [](uint8_t b) { return b == 0; }));

    BotResult sense = run(18, true, {0x03, 0, 0, 0, 18, 0});
    EXPECT_EQ(sense.status, CswStatus::Passed);
    EXPECT_EQ(data[0], 0x70);
    EXPECT_EQ(data[2], 0x05) << "ILLEGAL REQUEST";
    EXPECT_EQ(data[12], 0x20) << "invalid command operation code";

    run(18, true, {0x03, 0, 0, 0, 18, 0});
    EXPECT_EQ(data[2], 0x00) << "sense is reported once";
    EXPECT_EQ(data[12], 0x00);
}

TEST_F(BotTargetTest, BlockCommandsAreAnsweredByTheDiskBehindTheBridge) {
    EXPECT_EQ(run(0, false, {0x00, 0, 0, 0, 0, 0}).status, CswStatus::Passed);

    EXPECT_EQ(run(8, true, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}).status, CswStatus::Passed);
    EXPECT_EQ(data, (std::vector<uint8_t>{0, 0, 0x07, 0xFF, 0, 0, 0x02, 0x00}));

    BotResult read = run(1024, true, {0x28, 0, 0, 0, 0x07, 0xFE, 0, 0, 2, 0});
    EXPECT_EQ(read.status, CswStatus::Passed);
    EXPECT_EQ(read.residue, 0u);
    EXPECT_TRUE(std::all_of(data.begin(), data.end(), [](uint8_t b) { return b == 0; }));

    EXPECT_EQ(run(1024, true, {0x28, 0, 0, 0, 0x07, 0xFF, 0, 0, 2, 0}).status, CswStatus::Failed) << "past the end";
    EXPECT_EQ(bridge.commandCount(), 0u);
}

TEST_F(BotTargetTest, TransportFailuresAndOtherLunsNeverLookLikeSuccess) {
    bridge.faults().failCommandAt = 0;
    BotResult failed = run(16, true, {0xE0, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(failed.status, CswStatus::PhaseError);
    EXPECT_EQ(failed.residue, 16u);

    EXPECT_EQ(run(36, true, {0x12, 0, 0, 0, 36, 0}, 1).status, CswStatus::Failed);

    bridge.faults().vanishFrom = bridge.commandCount();
    EXPECT_EQ(run(0, false, {0x00, 0, 0, 0, 0, 0}).status, CswStatus::PhaseError) << "a vanished bridge answers nothing";
}

TEST(GadgetProfile, NamesAndDigest) {
    EXPECT_TRUE(ProfileByName("vxe720"));
    EXPECT_TRUE(ProfileByName("vxe720-direct"));
    EXPECT_TRUE(ProfileByName("plain"));
    EXPECT_TRUE(ProfileByName("family:18"));
    EXPECT_FALSE(ProfileByName("family:19"));
    EXPECT_FALSE(ProfileByName("family:1x"));
    EXPECT_FALSE(ProfileByName("vxe"));
    EXPECT_EQ(ProfileByName("vxe720", true)->inquiry[0] & 0x1F, 0x05);

    const std::vector<uint8_t> a{1, 2, 3};
    const std::vector<uint8_t> b{1, 2, 4};
    EXPECT_EQ(FlashDigest({}), 0xcbf29ce484222325ull);
    EXPECT_NE(FlashDigest(a), FlashDigest(b));
}

TEST(GadgetCommandKinds, WritesAreTheCommandsThatChangeTheBridge) {
    using Cdb = std::vector<uint8_t>;
    auto ff04 = [](uint8_t sub) { return Cdb{0xFF, 0x04, sub, 0, 0, 0, 0, 0, 0, 0, 0, 0}; };
    auto df = [](uint8_t sub) { return Cdb{0xDF, 0x10, 0, 0, 4, 0, 0, 0, 0, 0, 0, sub}; };
    EXPECT_EQ(CommandKind(ff04(0x10)), "ff04:10");
    EXPECT_EQ(CommandKind(df(0xFA)), "df:fa");
    EXPECT_EQ(CommandKind(Cdb{0x12, 0, 0, 0, 36, 0}), "12");
    EXPECT_EQ(CommandKind({}), "none");

    for (uint8_t sub : {0x01, 0x02, 0x04, 0x05, 0x11, 0x13, 0x14, 0x25, 0x43}) EXPECT_TRUE(IsVendorWrite(ff04(sub))) << int(sub);
    for (uint8_t sub : {0x00, 0x03, 0x10, 0x12, 0x20, 0x21, 0x23, 0x30}) EXPECT_FALSE(IsVendorWrite(ff04(sub))) << int(sub);
    EXPECT_TRUE(IsVendorWrite(df(0xFB)));
    EXPECT_FALSE(IsVendorWrite(df(0xFA)));
    EXPECT_FALSE(IsVendorWrite(Cdb{0xE0, 0xF4, 0xE7}));
    EXPECT_FALSE(IsVendorWrite(Cdb{0x2A, 0, 0, 0, 0, 0, 0, 0, 8, 0}));  // a disk WRITE(10) is not the bridge's
    EXPECT_FALSE(IsVendorWrite(Cdb{0xFF}));
}

}  // namespace
}  // namespace hil
