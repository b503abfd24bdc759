// Devices described by files: what a description turns into, and how a bad
// one is reported.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/device_files.h"
#include "sim/profiles.h"
#include "tests/sim/raw_command.h"

namespace {

namespace fs = std::filesystem;

sim::DeviceFile Parse(const std::string& text) { return sim::ParseDeviceFile(text, "dir/test.device", "dir"); }

std::string ErrorOf(const std::string& text) {
    try {
        Parse(text);
    } catch (const sim::DeviceFileError& e) {
        return e.what();
    }
    return "(no error)";
}

class DeviceDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) / ("device_files_" + std::string(
            ::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    void write(const std::string& name, const std::string& text) { std::ofstream(dir / name) << text; }

    fs::path dir;
};

TEST(DeviceFileReplies, OverrideTheProfileWithBytesTextAndMemory) {
    const sim::DeviceFile f = Parse(
        "# a bridge whose replies were taken from a real enclosure\n"
        "profile = family   # the family names the rest\n"
        "family = 7\n"
        "id-string = \"c653\" 00 \"\\x41#\\\"\"\n"
        "chip-information = F4E7 1E3A 00 01\n"
        "memory 0x7058 = 01 02\n"
        "memory 0xFFFE = AA BB\n"
        "jedec-id = 7F 37 20 11\n"
        "flash-size = 0x20000\n"
        "fail-matching = FF 13\n"
        "fail-matching = DF\n"
        "stuck-bit = 0x1234 0x80\n"
        "short-read = 5 3\n"
        "path = /dev/sg7\n"
        "flash-file = flash/sg7.bin\n");
    EXPECT_EQ(f.description.idString, (std::vector<uint8_t>{'c', '6', '5', '3', 0x00, 0x41, '#', '"'}));
    EXPECT_EQ(f.description.chipInformation, (std::vector<uint8_t>{0xF4, 0xE7, 0x1E, 0x3A, 0x00, 0x01}));
    EXPECT_EQ(f.description.controllerMemory[0x7058], 0x01);
    EXPECT_EQ(f.description.controllerMemory[0x7059], 0x02);
    EXPECT_EQ(f.description.controllerMemory[0xFFFF], 0xBB);
    EXPECT_EQ(f.description.flashSize, 0x20000u);
    ASSERT_EQ(f.faults.failMatching.size(), 2u);
    EXPECT_EQ(f.faults.failMatching[0].subCommand, 0x13);
    EXPECT_FALSE(f.faults.failMatching[1].subCommand.has_value());
    EXPECT_EQ(f.faults.stuckBit->mask, 0x80);
    EXPECT_EQ(f.faults.shortReadAt, 5u);
    EXPECT_EQ(f.faults.shortReadMissing, 3u);
    EXPECT_EQ(f.path, "/dev/sg7");
    EXPECT_EQ(fs::path(f.flashFile), fs::path("dir/flash/sg7.bin"));
}

TEST(DeviceFileErrors, NameTheFileTheLineAndTheField) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"family = 6\n", "dir/test.device: profile: missing"},
        {"profile = family\n", "dir/test.device: family: missing"},
        {"profile = famly\n", "dir/test.device:1: profile: expected vxe720-enclosure, family or plain-disk"},
        {"profile = family\nfamily = 19\n", "dir/test.device:2: family: expected a number from 1 to 18"},
        {"profile = vxe720-enclosure\nfamily = 10\n", "dir/test.device:2: family: only with profile = family"},
        {"profile = plain-disk\n\nflash-vendor = 6\n", "dir/test.device:3: flash-vendor: only for a bridge profile"},
        {"profile = family\nfamily = 6\nregister-7058-bit0 = yes\n", "register-7058-bit0: only for family 10"},
        {"profile = family\nfamily = 2\namic-capacity = 0x11\n", "amic-capacity: families 2 and 18 carry a parallel"},
        {"profile = plain-disk\nclass = disk\nclass = cdrom\n", "dir/test.device:3: class: given twice (first on line 2)"},
        {"profile = plain-disk\ncolour = red\n", "dir/test.device:2: colour: unknown key"},
        {"profile = plain-disk\njust some words\n", "dir/test.device:2: expected \"key = value\""},
        {"profile = plain-disk\ninquiry = 12 3\n", "dir/test.device:2: inquiry: expected hexadecimal bytes"},
        {"profile = plain-disk\ninquiry = \"open\n", "inquiry: text without its closing quote"},
        {"profile = plain-disk\nid-word = 01 02 03\n", "id-word: expected exactly 2 bytes, got 3"},
        {"profile = plain-disk\nmemory = 01\n", "memory: expected \"memory ADDRESS = value\""},
        {"profile = plain-disk\nmemory 0xFFFF = 01 02\n", "memory: the bytes run past the end of memory"},
        {"profile = plain-disk\nusb-storage = maybe\n", "usb-storage: expected yes or no"},
        {"profile = vxe720-enclosure\nversion = 1.2\n", "version: expected three numbers"},
        {"profile = vxe720-enclosure\nblock-erase-sectors = 0 0x20000\n", "a sector starts beyond the end"},
        {"profile = plain-disk\nflash-file = x.bin\n", "flash-file: this device has no flash"},
    };
    for (const auto& c : cases) {
        EXPECT_NE(ErrorOf(c.text).find(c.message), std::string::npos) << c.text << "\n-> " << ErrorOf(c.text);
    }
}

TEST_F(DeviceDirectory, LoadsDescriptionsInNameOrderAndIgnoresOtherFiles) {
    write("b.device", "profile = plain-disk\n");
    write("a.device", "profile = vxe720-enclosure\n");
    write("notes.txt", "not a device\n");
    const std::vector<sim::DeviceFile> files = sim::LoadDeviceDirectory(dir.string());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].path, "a");
    EXPECT_EQ(files[1].path, "b");
}

TEST_F(DeviceDirectory, RefusesTwoDevicesOnOnePathOrOneFlashFile) {
    write("a.device", "profile = plain-disk\npath = /dev/sg1\n");
    write("b.device", "profile = plain-disk\npath = /DEV/SG1\n");
    EXPECT_THROW(
        {
            try {
                sim::LoadDeviceDirectory(dir.string());
            } catch (const sim::DeviceFileError& e) {
                EXPECT_NE(std::string(e.what()).find("b.device: path:"), std::string::npos) << e.what();
                throw;
            }
        },
        sim::DeviceFileError);

    write("b.device", "profile = vxe720-enclosure\nflash-file = f.bin\n");
    write("a.device", "profile = vxe720-enclosure\nflash-file = ./f.bin\n");
    EXPECT_THROW(sim::LoadDeviceDirectory(dir.string()), sim::DeviceFileError);
    EXPECT_THROW(sim::LoadDeviceDirectory((dir / "missing").string()), sim::DeviceFileError);
}

TEST_F(DeviceDirectory, BusDevicesCarryTheirFaultsAndKeepTheirFlashInTheFile) {
    write("enclosure.device", "profile = vxe720-enclosure\nclass = cdrom\nflash-file = enclosure.bin\nvanish-from = 3\n");
    sim::FakeClock clock;
    sim::Bus bus(clock);
    sim::AddDevicesToBus(bus, sim::LoadDeviceDirectory(dir.string()));
    sim::Bridge* bridge = bus.bridge("enclosure");
    ASSERT_NE(bridge, nullptr);
    EXPECT_EQ(bus.paths(sim::InterfaceClass::CdRom), std::vector<std::string>{"enclosure"});
    EXPECT_EQ(bridge->faults().vanishFrom, 3u);

    simtest::SendOut(*bridge, {0xFF, 0x04, 0x11, 0x00, 0x00, 0x10, 0, 0, 0, 0, 0, 0}, {0x12, 0x34});
    std::ifstream in(dir / "enclosure.bin", std::ios::binary);
    const std::vector<uint8_t> saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(saved.size(), 0x10000u);
    EXPECT_EQ(saved[0x10], 0x12);
    EXPECT_EQ(saved[0x11], 0x34);
}

TEST_F(DeviceDirectory, AnUnwritableFlashFileIsNamed) {
    fs::create_directories(dir / "flash.bin");  // a directory where the file should be
    write("a.device", "profile = vxe720-enclosure\nflash-file = flash.bin\n");
    sim::FakeClock clock;
    sim::Bus bus(clock);
    try {
        sim::AddDevicesToBus(bus, sim::LoadDeviceDirectory(dir.string()));
        FAIL() << "no error";
    } catch (const sim::DeviceFileError& e) {
        EXPECT_NE(std::string(e.what()).find("a.device:2: flash-file:"), std::string::npos) << e.what();
    }
}

// Another device's flash, or a cut one, is not padded or cut to fit: that
// would rewrite the file at the first change.
TEST_F(DeviceDirectory, AFlashFileOfTheWrongSizeIsRefused) {
    write("a.device", "profile = vxe720-enclosure\n\nflash-file = flash.bin\n");
    write("flash.bin", std::string(100, 'x'));
    sim::FakeClock clock;
    sim::Bus bus(clock);
    try {
        sim::AddDevicesToBus(bus, sim::LoadDeviceDirectory(dir.string()));
        FAIL() << "no error";
    } catch (const sim::DeviceFileError& e) {
        EXPECT_EQ(std::string(e.what()), (dir / "a.device").string() + ":3: flash-file: \"" +
                                             (dir / "flash.bin").string() + "\" holds 100 bytes, the flash 65536");
    }
    EXPECT_EQ(fs::file_size(dir / "flash.bin"), 100u);
}

}  // namespace
