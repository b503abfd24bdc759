// What a few profiles answer to identification command blocks, read byte by
// byte as a host receives them.
#include <gtest/gtest.h>

#include <string>

#include "sim/bridge.h"
#include "sim/profiles.h"
#include "tests/sim/raw_command.h"

namespace {

using namespace simtest;

std::string Text(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                       bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

std::vector<uint8_t> Inquiry(sim::Bridge& b, uint8_t allocation) {
    return ReadIn(b, {0x12, 0, 0, 0, allocation, 0, 0, 0, 0, 0, 0, 0}, 40);
}
std::vector<uint8_t> ChipInformation(sim::Bridge& b, uint32_t length, sim::Reply* r = nullptr) {
    return ReadIn(b, {0xE0, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0}, length, r);
}
std::vector<uint8_t> Memory(sim::Bridge& b, uint16_t address) {
    return ReadIn(b, {0xDF, 0x10, 0, 0x00, 0x04, 0, Hi(address), Lo(address), 0, 0, 0, 0xFD}, 4);
}
std::vector<uint8_t> IdString(sim::Bridge& b) {
    return ReadIn(b, {0xFF, 0x04, 0x30, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}, 40);
}

TEST(ProfileReplies, Vxe720Enclosure) {
    sim::ProfileOptions options;
    options.fdb0AtLeastB4 = true;
    options.memory505eDirect = true;
    options.register7058Bit0 = true;
    sim::FakeClock clock;
    sim::Bridge b(sim::Vxe720Enclosure(options), clock);

    const std::vector<uint8_t> inquiry = Inquiry(b, 40);
    ASSERT_EQ(inquiry.size(), 40u);
    EXPECT_EQ(Text(inquiry, 8, 8), "Corvane ");
    EXPECT_EQ(Text(inquiry, 36, 4), "c731");
    EXPECT_EQ(Inquiry(b, 8).size(), 8u);  // the allocation length bounds the reply

    EXPECT_GE(Memory(b, 0xFDB0)[1], 0xB4);
    EXPECT_EQ(Memory(b, 0x505E), (std::vector<uint8_t>{0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(Memory(b, 0x7058)[0] & 0x01, 0x01);

    EXPECT_EQ(ReadIn(b, {0xFF, 0x04, 0x23, 0x04, 0, 0, 0, 0, 0, 0, 0, 0}, 4)[0], 6);
    for (const uint8_t byte : b.flash()) ASSERT_EQ(byte, 0xFF);
    EXPECT_EQ(b.flash().size(), 0x10000u);

    sim::Bridge plain(sim::Vxe720Enclosure(), clock);
    EXPECT_LT(Memory(plain, 0xFDB0)[1], 0xB4);
    EXPECT_NE(Memory(plain, 0x505E), (std::vector<uint8_t>{0x00, 0x00, 0x01, 0x00}));
}

TEST(ProfileReplies, ChipInformationDeliversWhatItHasUpToTheRequest) {
    sim::FakeClock clock;
    sim::Bridge b(sim::ProfileForFamily(13, sim::Route::InformationBlock), clock);
    EXPECT_EQ(Text(Inquiry(b, 40), 36, 4), std::string(4, '\0'));
    const std::vector<uint8_t> block = ChipInformation(b, 64);
    ASSERT_EQ(block.size(), 16u);
    EXPECT_EQ(block[0], 0xF4);
    EXPECT_EQ(block[1], 0xE7);
    EXPECT_EQ(Text(block, 8, 4), "7200");
    EXPECT_EQ(ChipInformation(b, 12).size(), 12u);
}

TEST(ProfileReplies, OtherRoutes) {
    sim::FakeClock clock;
    sim::ProfileOptions options;
    options.revisionChar = '3';

    sim::Bridge family18(sim::ProfileForFamily(18, sim::Route::InquiryTag), clock);
    const std::vector<uint8_t> block18 = ChipInformation(family18, 16);
    EXPECT_EQ((std::vector<uint8_t>(block18.begin() + 2, block18.begin() + 6)),
              (std::vector<uint8_t>{0x1E, 0x3A, 0x28, 0x46}));

    sim::Bridge family16(sim::ProfileForFamily(16, sim::Route::InquiryTag), clock);
    sim::Reply r;
    ChipInformation(family16, 16, &r);
    EXPECT_EQ(r.outcome, sim::Outcome::CheckCondition);
    const std::vector<uint8_t> word = ReadIn(family16, {0xDF, 0x10, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0xFF}, 2);
    ASSERT_EQ(word.size(), 2u);
    EXPECT_EQ((word[0] >> 5) & 3, 2);

    sim::Bridge family4(sim::ProfileForFamily(4, sim::Route::IdString, options), clock);
    EXPECT_EQ(Text(IdString(family4), 0, 6), "c849C3");
    EXPECT_EQ(ChipInformation(family4, 16)[8], 0x00);  // the block names no model

    options.sixteenByteInfo = false;
    options.revisionChar = '0';
    sim::Bridge family7(sim::ProfileForFamily(7, sim::Route::InquiryTag, options), clock);
    const std::vector<uint8_t> block7 = ChipInformation(family7, 12);
    EXPECT_EQ(block7[11], '1');
    EXPECT_EQ(ChipInformation(family7, 16).size(), 12u);
}

TEST(ProfileReplies, SerialFlashIdentification) {
    sim::FakeClock clock;
    sim::ProfileOptions options;
    options.amicFlash = true;
    options.amicCapacity = 0x10;
    sim::Bridge b(sim::ProfileForFamily(1, sim::Route::InquiryTag, options), clock);
    EXPECT_EQ(ReadIn(b, {0xFF, 0x04, 0x21, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 4), std::vector<uint8_t>(4, 0x00));
    EXPECT_EQ(ReadIn(b, {0xFF, 0x04, 0x20, 0x01, 0x01, 0x9F, 0, 0, 0, 0, 0, 0}, 0).size(), 0u);
    EXPECT_EQ(ReadIn(b, {0xFF, 0x04, 0x21, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 4),
              (std::vector<uint8_t>{0x7F, 0x37, 0x20, 0x10}));
    EXPECT_EQ(ReadIn(b, {0xFF, 0x04, 0x23, 0x04, 0, 0, 0, 0, 0, 0, 0, 0}, 4)[0], 7);
    b.powerCycle();
    EXPECT_EQ(ReadIn(b, {0xFF, 0x04, 0x21, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 4), std::vector<uint8_t>(4, 0x00));
}

TEST(ProfileReplies, PlainUsbDiskAnswersOnlyInquiry) {
    sim::FakeClock clock;
    sim::Bridge b(sim::PlainUsbDisk(), clock);
    const std::vector<uint8_t> inquiry = Inquiry(b, 40);
    EXPECT_EQ(inquiry.size(), 36u);
    sim::Reply r;
    ReadIn(b, {0xFF, 0x04, 0x30, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}, 40, &r);
    EXPECT_EQ(r.outcome, sim::Outcome::CheckCondition);
    EXPECT_EQ(r.sense[12], sim::kAscInvalidOpcode);
}

TEST(ProfileReplies, ControlCommandsAreCounted) {
    sim::FakeClock clock;
    sim::Bridge b(sim::ProfileForFamily(2), clock);
    SendOut(b, {0xFF, 0x04, 0x43, 0x56, 0x55, 0, 0, 0, 0, 0, 0, 0});
    SendOut(b, {0xFF, 0x04, 0x43, 0x56, 0xAA, 0, 0, 0, 0, 0, 0, 0});
    SendOut(b, {0xFF, 0x04, 0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    SendOut(b, {0xFF, 0x04, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const sim::Counters& c = b.counters();
    EXPECT_EQ(c.hostAttach + c.hostDetach + c.prepareForUpdate + c.switchToInternalRom, 4u);
    EXPECT_EQ(c.hostDetach, 1u);
    b.description().switchToInternalRomFails = true;
    EXPECT_EQ(SendOut(b, {0xFF, 0x04, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0}).outcome, sim::Outcome::TransportError);
}

TEST(ProfileReplies, EveryFamilyHasAProfileOnEveryRoute) {
    for (int family = 1; family <= 18; ++family) {
        for (const sim::Route route : {sim::Route::InquiryTag, sim::Route::InformationBlock, sim::Route::IdString,
                                       sim::Route::IdWord}) {
            const sim::DeviceDescription d = sim::ProfileForFamily(family, route);
            EXPECT_EQ(d.flashKind, family == 2 || family == 18 ? sim::FlashKind::Parallel : sim::FlashKind::Serial);
            EXPECT_EQ(d.inquiry[36] == 'c', sim::RouteFor(family, route) == sim::Route::InquiryTag);
        }
    }
    EXPECT_THROW(sim::ProfileForFamily(19), std::invalid_argument);
}

}  // namespace
