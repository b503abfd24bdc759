// The parallel flash acts on JEDEC cycles only when they carry the unlock
// addresses of its own type.
#include <gtest/gtest.h>

#include "sim/bridge.h"
#include "sim/profiles.h"
#include "tests/sim/raw_command.h"

namespace {

using namespace simtest;

const std::vector<uint8_t> kEraseCycles5555{0x55, 0x55, 0xAA, 0x2A, 0x55, 0x55, 0x55, 0x55, 0xAA,
                                            0x2A, 0x55, 0x55, 0xAA, 0x55, 0x80, 0xAA, 0x55, 0x10};
const std::vector<uint8_t> kEraseCycles0555{0x55, 0x05, 0xAA, 0x02, 0x55, 0x05, 0x55, 0x05, 0xAA,
                                            0x02, 0x55, 0x05, 0xAA, 0x55, 0x80, 0xAA, 0x55, 0x10};

bool Erase(sim::Bridge& b, const std::vector<uint8_t>& cycles) {
    b.fillFlash(0x00);
    SendOut(b, {0xFF, 0x04, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0}, cycles);
    SendOut(b, {0xFF, 0x04, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    return b.flash()[0] == 0xFF && b.flash()[0xFFFF] == 0xFF;
}

bool Program(sim::Bridge& b, bool lowUnlock) {
    b.fillFlash(0xFF);
    if (lowUnlock) {
        SendOut(b, {0xFF, 0x04, 0x02, 0x55, 0x05, 0xAA, 0x02, 0x55, 0x05, 0xAA, 0x55, 0xA0}, {0x12, 0x34});
    } else {
        SendOut(b, {0xFF, 0x04, 0x02, 0x55, 0x55, 0xAA, 0x2A, 0x55, 0x55, 0xAA, 0x55, 0xA0}, {0x12, 0x34});
    }
    return b.flash()[0] == 0x12 && b.flash()[1] == 0x34;
}

TEST(ParallelFlash, EachTypeAnswersOnlyItsOwnUnlockAddresses) {
    for (const int type : {0, 1, 2}) {
        sim::ProfileOptions options;
        options.parallelFlashType = type;
        sim::FakeClock clock;
        sim::Bridge b(sim::ProfileForFamily(18, sim::Route::InformationBlock, options), clock);
        ASSERT_EQ(b.description().flashKind, sim::FlashKind::Parallel);
        const bool low = type == 1;
        EXPECT_TRUE(Erase(b, low ? kEraseCycles0555 : kEraseCycles5555)) << type;
        EXPECT_FALSE(Erase(b, low ? kEraseCycles5555 : kEraseCycles0555)) << type;
        EXPECT_FALSE(Erase(b, std::vector<uint8_t>(18, 0))) << type;
        EXPECT_EQ(b.counters().parallelErases, 1u);
        EXPECT_TRUE(Program(b, low)) << type;
        EXPECT_FALSE(Program(b, !low)) << type;
    }
}

TEST(ParallelFlash, EraseWithoutPreEraseDoesNothingAndReadTakesALittleEndianAddress) {
    sim::FakeClock clock;
    sim::Bridge b(sim::ProfileForFamily(2), clock);
    b.fillFlash(0x00);
    SendOut(b, {0xFF, 0x04, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(b.flash()[0], 0x00);
    const std::vector<uint8_t> bytes{0xA1, 0xB2, 0xC3};
    b.setFlash(0x2345, bytes);
    EXPECT_EQ(ReadIn(b, {0xFF, 0x04, 0x03, 0x45, 0x23, 0x00, 0x00, 0, 0, 0, 0, 0}, 3), bytes);
}

}  // namespace
