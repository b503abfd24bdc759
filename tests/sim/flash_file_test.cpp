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

// A device that is only read leaves its file alone; a save goes through a
// temporary file of its own, and one that fails is kept for the caller.
TEST(FlashFile, OnlyAChangeIsSavedAndAFailedSaveIsKept) {
    const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "sim_flash_file_saves";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / "flash.bin";
    const auto entries = [&] { return std::distance(std::filesystem::directory_iterator(dir), {}); };
    sim::FakeClock clock;
    sim::Bridge b(sim::Vxe720Enclosure(), clock);
    ASSERT_TRUE(b.attachFlashFile(file.string()));
    simtest::FlashRead(b, 0, 16);
    EXPECT_FALSE(std::filesystem::exists(file)) << "reading writes nothing";

    simtest::SendOut(b, {0xFF, 0x04, 0x11, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0}, {0x00, 0x00});
    EXPECT_EQ(std::filesystem::file_size(file), 0x10000u);
    EXPECT_EQ(entries(), 1);
    EXPECT_TRUE(b.flashFileProblem().empty());

    std::filesystem::remove(file);
    std::filesystem::create_directories(file / "in-the-way");
    simtest::SendOut(b, {0xFF, 0x04, 0x11, 0x00, 0x00, 0x10, 0, 0, 0, 0, 0, 0}, {0x00, 0x00});
    EXPECT_NE(b.flashFileProblem().find("could not be written"), std::string::npos);
    EXPECT_EQ(entries(), 1) << "no temporary file stays behind";

    std::ofstream(dir / "short.bin") << "short";
    sim::Bridge other(sim::Vxe720Enclosure(), clock);
    EXPECT_FALSE(other.attachFlashFile((dir / "short.bin").string()));
    std::filesystem::remove_all(dir);
}

}  // namespace
