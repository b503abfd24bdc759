// Files the utility opens or writes on the user's behalf: a firmware file
// that is no regular file is refused without waiting on it, and a backup
// goes through a temporary file of its own that nothing planted beforehand
// can redirect.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "chip/firmware_image.h"
#include "flash/backup_file.h"
#include "tests/support/simulated_machine.h"

namespace vxe {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class FileSafety : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) / ("vxe-file-safety-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    size_t entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }

    fs::path dir;
};

// Opening a FIFO for reading waits for a writer that never comes: the check
// must not open it at all.
TEST_F(FileSafety, AFifoAsFirmwareFileIsUnopenable) {
    const fs::path fifo = dir / "firmware.bin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    test::SimulatedMachine machine;
    EXPECT_EQ(CheckFirmwareFile(fifo.c_str(), 0x000A), 0);
    ASSERT_EQ(machine.platform.messages().size(), 1u);
    EXPECT_EQ(machine.platform.messages()[0].text, "Open Firmware File Error!!");

    // A link to a regular file is still a file.
    std::vector<uint8_t> image(16, 0);
    std::copy_n("\x55\xAA\xAA\x55" "731", 7, image.begin());
    Put(dir / "real.bin", image);
    fs::create_symlink(dir / "real.bin", dir / "link.bin");
    EXPECT_EQ(CheckFirmwareFile((dir / "link.bin").c_str(), 0x000A), 1);
}

// A link planted where the old code put its temporary file made the backup
// overwrite whatever the link pointed to.
TEST_F(FileSafety, ABackupWritesNoFileButItsOwn) {
    const fs::path victim = dir / "victim";
    Put(victim, {'k', 'e', 'e', 'p'});
    const fs::path target = dir / "old.bak";
    fs::create_symlink(victim, dir / "old.bak.partial");

    const std::vector<uint8_t> flash(4096, 0x3C);
    ASSERT_EQ(WriteBackupFile(target.string(), flash), BackupWrite::Written);
    EXPECT_EQ(Contents(target), flash);
    EXPECT_EQ(Contents(victim), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_TRUE(fs::is_symlink(dir / "old.bak.partial")) << "left as it was";
    EXPECT_EQ(entries(), 3u) << "no temporary file stays behind";

    // A second backup replaces the first through a fresh temporary file.
    const std::vector<uint8_t> newer(4096, 0x5D);
    ASSERT_EQ(WriteBackupFile(target.string(), newer), BackupWrite::Written);
    EXPECT_EQ(Contents(target), newer);
    EXPECT_EQ(entries(), 3u);
}

}  // namespace
}  // namespace vxe
