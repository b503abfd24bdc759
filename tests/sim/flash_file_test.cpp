// A bridge's flash kept in a file survives from one bridge to the next.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/bridge.h"
#include "sim/profiles.h"
#include "tests/sim/raw_command.h"

namespace {

std::vector<uint8_t> FileBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FlashFile, RoundTrip) {
    const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "sim_flash_file_test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "flash.bin").string();
    sim::FakeClock clock;
    {
        sim::Bridge b(sim::Vxe720Enclosure(), clock);
        b.fillFlash(0x00);
        ASSERT_TRUE(b.attachFlashFile(file));  // no file yet: an erased flash
        EXPECT_EQ(b.flash()[0], 0xFF);
        simtest::SendOut(b, {0xFF, 0x04, 0x11, 0x00, 0x12, 0x34, 0, 0, 0, 0, 0, 0}, {0xA5, 0x5A});
        const std::vector<uint8_t> saved = FileBytes(file);
        ASSERT_EQ(saved.size(), 0x10000u);
        EXPECT_EQ(saved[0x1234], 0xA5);
        EXPECT_EQ(saved[0x1236], 0xFF);
    }
    sim::Bridge again(sim::Vxe720Enclosure(), clock);
    ASSERT_TRUE(again.attachFlashFile(file));
    EXPECT_EQ(simtest::FlashRead(again, 0x1234, 2), (std::vector<uint8_t>{0xA5, 0x5A}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
    std::filesystem::remove_all(dir);
}

}  // namespace
