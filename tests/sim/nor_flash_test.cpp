// The flash behind the simulated bridge behaves like NOR: programming only
// clears bits, erases restore whole units, and the part stays busy for its
// erase and program times on the simulated clock.
#include <gtest/gtest.h>

#include "sim/bridge.h"
#include "sim/profiles.h"
#include "tests/sim/raw_command.h"

namespace {

using namespace simtest;

sim::Reply Program(sim::Bridge& b, uint32_t address, std::vector<uint8_t> data) {
    return SendOut(b, {0xFF, 0x04, 0x11, A2(address), Hi(address), Lo(address), 0, 0, 0, 0, 0, 0}, std::move(data));
}

sim::Reply SpiWrite(sim::Bridge& b, uint8_t mode, uint32_t address, std::vector<uint8_t> data) {
    const auto n = static_cast<uint32_t>(data.size());
    return SendOut(b, {0xDF, mode, 0, Hi(n), Lo(n), 0, 0, 0, A2(address), Hi(address), Lo(address), 0xFB},
                   std::move(data));
}

sim::Reply BlockErase(sim::Bridge& b, uint32_t address) {
    return SendOut(b, {0xFF, 0x04, 0x14, A2(address), Hi(address), Lo(address), 0, 0, 0, 0, 0, 0});
}

// The half-open range of bytes that read 0xFF in a flash that was all 0x00.
std::pair<uint32_t, uint32_t> ErasedRange(const sim::Bridge& b) {
    const auto f = b.flash();
    uint32_t first = 0;
    while (first < f.size() && f[first] != 0xFF) ++first;
    uint32_t end = first;
    while (end < f.size() && f[end] == 0xFF) ++end;
    return {first, end};
}

TEST(NorFlash, ProgrammingOnlyClearsBitsAndEraseRestoresTheBlock) {
    sim::FakeClock clock;
    sim::Bridge b(sim::Vxe720Enclosure(), clock);
    ASSERT_EQ(Program(b, 0x8100, {0x0F, 0xF0}).outcome, sim::Outcome::Good);
    ASSERT_EQ(Program(b, 0x8100, {0xF0, 0xFF}).transferred, 2u);
    EXPECT_EQ(FlashRead(b, 0x8100, 2), (std::vector<uint8_t>{0x00, 0xF0}));

    Program(b, 0x7FFF, {0x12});
    ASSERT_EQ(BlockErase(b, 0x8100).outcome, sim::Outcome::Good);  // 32 KB block 0x8000..0xFFFF
    EXPECT_EQ(FlashRead(b, 0x8100, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
    EXPECT_EQ(b.flash()[0x7FFF], 0x12);
    EXPECT_EQ(b.counters().serialErases, 1u);
}

struct EraseCase {
    uint8_t vendor;
    uint8_t mode;
    uint32_t erasedFirst;
    uint32_t erasedEnd;
};

class SpiWriteErase : public ::testing::TestWithParam<EraseCase> {};

// A 512-byte write of 0xFF at 0x9200 into a flash of zeros: what reads 0xFF
// afterwards is exactly the unit the mode erased (the written bytes keep 0xFF
// only where the erase restored them).
TEST_P(SpiWriteErase, ErasesTheUnitOfTheMakersPart) {
    const EraseCase c = GetParam();
    sim::FakeClock clock;
    sim::ProfileOptions options;
    options.flashVendorCode = c.vendor;
    sim::Bridge b(sim::Vxe720Enclosure(options), clock);
    b.fillFlash(0x00);
    ASSERT_EQ(SpiWrite(b, c.mode, 0x9200, std::vector<uint8_t>(512, 0xFF)).outcome, sim::Outcome::Good);
    EXPECT_EQ(ErasedRange(b), std::make_pair(c.erasedFirst, c.erasedEnd));
}

INSTANTIATE_TEST_SUITE_P(
    ModesAndMakers, SpiWriteErase,
    ::testing::Values(EraseCase{0, 0, 0x10000, 0x10000},   // write only: zeros stay zeros
                      EraseCase{0, 1, 0x9000, 0xA000},     // PMC-class small unit 4 KB
                      EraseCase{0, 2, 0x8000, 0x10000},    // large unit 32 KB
                      EraseCase{3, 4, 0x8000, 0x10000},    // ST small unit 32 KB
                      EraseCase{3, 5, 0x0000, 0x10000},    // ST large unit 64 KB
                      EraseCase{6, 1, 0x9000, 0xA000},     // Winbond 4 KB sector
                      EraseCase{6, 7, 0x0000, 0x10000},    // whole flash
                      EraseCase{6, 0x83, 0x0000, 0x10000}  // bit 7 is a flag, not a mode
                      ));

TEST(NorFlash, AmicBootSectorsEraseOneSectorEach) {
    sim::FakeClock clock;
    sim::ProfileOptions options;
    options.amicFlash = true;
    options.amicCapacity = 0x11;
    sim::Bridge b(sim::Vxe720Enclosure(options), clock);
    const std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> cases{
        {0x0000, 0x0000, 0x1000}, {0x2FFF, 0x1000, 0x3000}, {0x3000, 0x3000, 0x7000},
        {0x8000, 0x7000, 0xF000}, {0xF800, 0xF000, 0x10000}};
    for (const auto& [address, first, end] : cases) {
        b.fillFlash(0x00);
        BlockErase(b, address);
        EXPECT_EQ(ErasedRange(b), std::make_pair(first, end)) << std::hex << address;
    }
}

sim::DeviceDescription WithTiming(sim::Timing timing) {
    sim::DeviceDescription d = sim::Vxe720Enclosure();
    d.timing = timing;
    return d;
}

TEST(NorFlashTiming, StatusReportsBusyUntilTheEraseTimeHasPassed) {
    sim::FakeClock clock;
    sim::Timing timing = sim::Timing::SmallSpiNor();
    timing.commandMs = 0;
    sim::Bridge b(WithTiming(timing), clock);
    ASSERT_EQ(SendOut(b, {0xFF, 0x04, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {}, 100).outcome, sim::Outcome::Good);
    EXPECT_EQ(FlashStatus(b), 0x01);
    EXPECT_TRUE(b.flashBusy());
    clock.advance(timing.chipEraseMs - 1);
    EXPECT_EQ(FlashStatus(b), 0x01);
    clock.advance(1);
    EXPECT_EQ(FlashStatus(b), 0x00);
    EXPECT_FALSE(b.flashBusy());
}

TEST(NorFlashTiming, BridgeHoldsAFlashCommandUntilTheFlashIsReady) {
    sim::FakeClock clock;
    sim::Timing timing;
    timing.blockEraseMs = 120;
    timing.programMsPer4K = 12;
    sim::Bridge b(WithTiming(timing), clock);
    b.fillFlash(0x00);
    BlockErase(b, 0);
    Program(b, 0, std::vector<uint8_t>(4097, 0x5A));  // held 120 ms, then busy 2 x 12 ms
    EXPECT_EQ(clock.nowMs(), 120u);
    EXPECT_EQ(FlashRead(b, 0, 1), std::vector<uint8_t>{0x5A});
    EXPECT_EQ(clock.nowMs(), 144u);
    EXPECT_EQ(b.log().back().timeMs, 120u);  // logged when it arrived
}

TEST(NorFlashTiming, AHoldLongerThanTheTimeoutEndsInTransportError) {
    sim::FakeClock clock;
    sim::Timing timing;
    timing.chipEraseMs = 60'000;
    sim::Bridge b(WithTiming(timing), clock);
    SendOut(b, {0xFF, 0x04, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {}, 100);
    sim::Reply reply;
    ReadIn(b, {0xFF, 0x04, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 16, &reply);  // 20-second timeout
    EXPECT_EQ(reply.outcome, sim::Outcome::TransportError);
    EXPECT_EQ(clock.nowMs(), 20'000u);
}

// A host that polls the parallel flash without pausing still sees time pass:
// every command costs its time on the wire.
TEST(NorFlashTiming, BusyPollingWithoutPausesReachesReady) {
    sim::FakeClock clock;
    sim::DeviceDescription d = sim::ProfileForFamily(2);
    d.timing = sim::Timing::SmallSpiNor();
    sim::Bridge b(d, clock);
    SendOut(b, {0xFF, 0x04, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0},
            {0x55, 0x55, 0xAA, 0x2A, 0x55, 0x55, 0x55, 0x55, 0xAA, 0x2A, 0x55, 0x55, 0xAA, 0x55, 0x80, 0xAA, 0x55, 0x10});
    SendOut(b, {0xFF, 0x04, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    int polls = 0;
    while (ReadIn(b, {0xFF, 0x04, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 2) == std::vector<uint8_t>{0x01}) {
        ASSERT_LT(++polls, 50'000);
    }
    EXPECT_GT(polls, 0);
    EXPECT_EQ(b.counters().parallelErases, 1u);
}

}  // namespace
