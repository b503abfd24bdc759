// The fixed limits of the utility under inputs past them: more interfaces
// than device rows, paths longer than a slot, flash vendor codes outside the
// tables, overlong backup names, and built-in images of awkward sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "chip/chip_identification.h"
#include "chip/chip_readout.h"
#include "device/device_enumeration.h"
#include "flash/backup_file.h"
#include "flash/one_click_update.h"
#include "flash/parallel_engine.h"
#include "flash/spi_flash.h"
#include "flash/update_engine.h"
#include "tests/reliability/swept_procedures.h"
#include "tests/support/simulated_machine.h"
#include "tests/support/wire_log.h"
#include "app/discovery_pass.h"

namespace vxe {
namespace {

namespace fs = std::filesystem;
using reliability::Pattern;

constexpr uint8_t kGuardByte = 0xA5;

// A fixed table with bytes after it that nobody may write.
template <typename Table>
struct Guarded {
    Table table{};
    std::array<uint8_t, 1024> guard;
    Guarded() { guard.fill(kGuardByte); }
    bool guardIntact() const {
        return std::all_of(guard.begin(), guard.end(), [](uint8_t b) { return b == kGuardByte; });
    }
};

std::string PathOfLength(size_t length, char fill) {
    std::string path = "\\\\?\\usbstor#disk&ven_corvane#";
    path += std::string(length - path.size(), fill);
    return path;
}

TEST(Bounds, DiscoveryOfMoreInterfacesThanRowsStaysInsideTheTable) {
    for (const int interfaces : {17, 40}) {
        SCOPED_TRACE(interfaces);
        test::SimulatedMachine machine;
        // Every third a plain disk, every fourth a CD-ROM-class bridge.
        for (int i = 0; i < interfaces; ++i) {
            const std::string path = test::UsbDiskPath(i);
            const sim::DeviceDescription d = i % 3 == 2 ? sim::PlainUsbDisk() : sim::Vxe720Enclosure();
            if (i % 4 == 3) {
                machine.addCdRom(path + "#cd", d);
            } else {
                machine.addDisk(path, d);
            }
        }
        Guarded<DeviceTableRows> rows;
        const DiscoveryResult r = RunDiscoveryPass(rows.table);
        EXPECT_EQ(r.deviceCount, kPathSlotCount);
        EXPECT_LE(r.items.size(), kDeviceTableRows);
        EXPECT_FALSE(r.items.empty());
        EXPECT_TRUE(rows.guardIntact());
        for (const DeviceEntry& e : rows.table) EXPECT_LT(strnlen(e.DevicePath, sizeof e.DevicePath), sizeof e.DevicePath);
    }
}

TEST(Bounds, OnlyPathsThatFitASlotWithTheirEndAreEnumerated) {
    test::SimulatedMachine machine;
    const std::string fits = PathOfLength(kPathSlotSize - 1, 'a');  // 255 characters
    machine.addDisk(PathOfLength(kPathSlotSize, 'b'), sim::Vxe720Enclosure());
    machine.addDisk(fits, sim::Vxe720Enclosure());
    machine.addCdRom(PathOfLength(300, 'c'), sim::Vxe720Enclosure());

    Guarded<PathSlots> slots;
    std::memset(slots.table.data(), 'x', sizeof slots.table);
    const int32_t disks = EnumerateInterfaces(InterfaceClass::Disk, slots.table, 0);
    const int32_t cdroms = EnumerateInterfaces(InterfaceClass::CdRom, slots.table, disks);
    EXPECT_EQ(disks, 1);
    EXPECT_EQ(cdroms, 0);
    EXPECT_EQ(std::string(slots.table[0].data()), fits);
    EXPECT_EQ(slots.table[1][0], 'x') << "nothing written for a path left out";
    EXPECT_TRUE(slots.guardIntact());

    // A full table, and a first slot outside it, take nothing.
    for (const int32_t first : {kPathSlotCount, -1, INT32_MAX}) {
        EXPECT_EQ(EnumerateInterfaces(InterfaceClass::Disk, slots.table, first), 0) << first;
    }
    EXPECT_TRUE(slots.guardIntact());
}

TEST(Bounds, FlashVendorCodesOutsideTheTablesReadAsUnknownWithTheUnitsOfCodeZero) {
    for (const uint8_t code : {uint8_t{10}, uint8_t{255}}) {
        SCOPED_TRACE(int{code});
        EXPECT_STREQ(FlashVendorName(code), "Unknown");
        EXPECT_EQ(SmallEraseUnit[EraseUnitRow(code)], SmallEraseUnit[0]);
        EXPECT_EQ(LargeEraseUnit[EraseUnitRow(code)], LargeEraseUnit[0]);

        test::SimulatedMachine machine;
        const std::string path = test::UsbDiskPath(0);
        sim::ProfileOptions o;
        o.flashVendorCode = code;
        machine.addDisk(path, sim::ProfileForFamily(1, sim::Route::InquiryTag, o));
        EXPECT_EQ(ReadChipStatus(path.c_str(), false, "").flashTypeText, "Unknown");
        machine.bus.remove(path);

        // YES on a direct VXE720 whose flash has an unknown maker code: its
        // erase requests fall on the 32 KB boundaries of code 0.
        o.memory505eDirect = true;
        sim::DeviceDescription d = sim::Vxe720Enclosure(o);
        d.smallEraseUnit = SmallEraseUnit[0];
        d.largeEraseUnit = LargeEraseUnit[0];
        sim::Bridge& vxe = machine.addDisk(path, d);
        vxe.setFlash(0, reliability::Vxe720OldFlash());
        RecordingStatusSink sink;
        ASSERT_EQ(RunOneClickUpdate(path.c_str(), 0x000A, EngineOptions{}, sink), 1);
        std::vector<uint32_t> erasing;
        for (const auto& w : test::SpiWrites(vxe)) {
            if (w.modeByte != 0) erasing.push_back(w.address);
        }
        EXPECT_EQ(erasing, (std::vector<uint32_t>{0, 32768}));
    }
}

class BackupNameBounds : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    std::string path = test::UsbDiskPath(0);
    fs::path base = fs::temp_directory_path() / ("vxe-bounds-" + std::to_string(getpid()));

    ~BackupNameBounds() override {
        std::error_code ec;
        fs::remove_all(base, ec);
    }
    // A name of exactly `length` characters inside existing folders, so that
    // only the utility's own limit can refuse it.
    std::string NameOfLength(size_t length) {
        fs::path dir = base;
        while (dir.string().size() + 1 + 100 < length) dir /= std::string(90, 'd');
        fs::create_directories(dir);
        const std::string prefix = dir.string() + "/";
        return prefix + std::string(length - prefix.size(), 'n');
    }
    bool anythingBut(const std::vector<std::string>& allowed) const {
        for (const auto& entry : fs::recursive_directory_iterator(base)) {
            // Compared as paths: Windows lists them with its own separator.
            if (entry.is_regular_file() && std::none_of(allowed.begin(), allowed.end(), [&](const std::string& name) {
                    return entry.path() == fs::path(name);
                })) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(BackupNameBounds, ANameOf300CharactersIsRefusedAndNothingIsWritten) {
    const std::string tooLong = NameOfLength(300);
    ASSERT_EQ(tooLong.size(), 300u);
    EngineOptions options;
    options.backupFileName = tooLong;

    machine.addDisk(path, sim::ProfileForFamily(1));
    RecordingStatusSink serial;
    EXPECT_EQ(BackupFlashToFile(path.c_str(), options, serial), 0);
    EXPECT_EQ(serial.statusText(), "Open Backup File Error!!");
    machine.bus.remove(path);

    machine.addDisk(path, sim::ProfileForFamily(2));
    RecordingStatusSink parallel;
    BackupParallelFlash(path.c_str(), options, parallel);
    EXPECT_EQ(parallel.statusText(), "Read ROM Suceess, but save to file fail!!");
    EXPECT_FALSE(anythingBut({})) << "no file under the name, a shortened name or a temporary one";
}

TEST_F(BackupNameBounds, ANameOf259CharactersIsTheLongestTaken) {
    const std::string longest = NameOfLength(kMaxBackupNameLength);
    sim::Bridge& b = machine.addDisk(path, sim::ProfileForFamily(1));
    b.setFlash(0, Pattern(0x10000, 9));
    EngineOptions options;
    options.backupFileName = longest;
    RecordingStatusSink sink;
    EXPECT_EQ(BackupFlashToFile(path.c_str(), options, sink), 1);
    EXPECT_EQ(fs::file_size(longest), 0x10000u);
    EXPECT_FALSE(anythingBut({longest}));
}

class ImageSizeBounds : public ::testing::Test {
protected:
    std::string path = test::UsbDiskPath(0);

    struct Result {
        int32_t outcome;
        std::string status;
        std::vector<uint8_t> flash;
        size_t programs;
    };
    Result runEngine(size_t imageSize, uint32_t flashSize, uint32_t pageSize) {
        test::SimulatedMachine machine;
        sim::DeviceDescription d = sim::ProfileForFamily(1);
        d.flashSize = flashSize;
        sim::Bridge& b = machine.addDisk(path, d);
        b.fillFlash(0x00);
        machine.platform.setResource("FW849", "FW", Pattern(imageSize, 0x49));
        EngineOptions options;
        options.amicFlashCode = -1;
        options.transferPageSize = pageSize;
        RecordingStatusSink sink;
        const int32_t outcome = RunFlashUpdate(path.c_str(), options, sink);
        return {outcome, sink.statusText(), {b.flash().begin(), b.flash().end()}, test::FlashPrograms(b).size()};
    }
    Result runParallel(size_t imageSize) {
        test::SimulatedMachine machine;
        sim::Bridge& b = machine.addDisk(path, sim::ProfileForFamily(2));
        b.fillFlash(0x5A);
        machine.platform.setResource("FW849", "FW", Pattern(imageSize, 0x28));
        RecordingStatusSink sink;
        RunParallelFlashUpdate(path.c_str(), 0, EngineOptions{}, sink);
        return {0, sink.statusText(), {b.flash().begin(), b.flash().end()}, test::CommandsOf(b, 0xFF, 0x02).size()};
    }
    // The image, then the erased value up to the end of the flash.
    static std::vector<uint8_t> Programmed(size_t imageSize, uint8_t seed, size_t flashSize) {
        std::vector<uint8_t> flash(flashSize, 0xFF);
        const auto image = Pattern(imageSize, seed);
        std::copy(image.begin(), image.end(), flash.begin());
        return flash;
    }
};

TEST_F(ImageSizeBounds, TheEngineTakesImagesFromOneByteToPastSixtyFourKilobytes) {
    const Result empty = runEngine(0, 0x10000, kDefaultTransferPageSize);
    EXPECT_EQ(empty.outcome, 0);
    EXPECT_EQ(empty.status, "Load defaut Fw file Error!!");
    EXPECT_EQ(empty.flash, std::vector<uint8_t>(0x10000, 0x00));

    for (const size_t size : {size_t{1}, size_t{0x10000}}) {
        SCOPED_TRACE(size);
        const Result r = runEngine(size, 0x10000, kDefaultTransferPageSize);
        EXPECT_EQ(r.outcome, 1) << r.status;
        const size_t working = (size + kDefaultTransferPageSize - 1) / kDefaultTransferPageSize * kDefaultTransferPageSize;
        EXPECT_EQ(std::vector<uint8_t>(r.flash.begin(), r.flash.begin() + working), Programmed(size, 0x49, working));
    }
    // One byte more than 64 KB takes a fifth page and the whole-chip erase.
    const Result over = runEngine(0x10001, 0x20000, kDefaultTransferPageSize);
    EXPECT_EQ(over.outcome, 1) << over.status;
    EXPECT_EQ(over.programs, 5u);
    EXPECT_EQ(over.flash, Programmed(0x10001, 0x49, 0x20000));
}

TEST_F(ImageSizeBounds, TheEngineProgramsMoreThan255Pages) {
    // 2 KB pages: 256 whole pages and a part of one more.
    const size_t size = 256 * 2048 + 100;
    const Result r = runEngine(size, 0x100000, 2048);
    EXPECT_EQ(r.outcome, 1) << r.status;
    EXPECT_EQ(r.programs, 257u);
    EXPECT_EQ(r.flash, Programmed(size, 0x49, 0x100000));
}

TEST_F(ImageSizeBounds, TheParallelEngineTakesImagesUpToTheFlashSize) {
    const Result empty = runParallel(0);
    EXPECT_EQ(empty.status, "Programming Fail!!");
    EXPECT_EQ(empty.programs, 0u);

    for (const size_t size : {size_t{2}, size_t{ParallelImageSize}}) {
        SCOPED_TRACE(size);
        const Result r = runParallel(size);
        EXPECT_EQ(r.status, "Programming & Compare Success!!");
        EXPECT_EQ(r.flash, Programmed(size, 0x28, ParallelImageSize));
    }
    // The transport carries a single byte as two, so the flash gets a zero
    // after the image byte; the read-back's length shows it and the update
    // does not pass.
    const Result one = runParallel(1);
    EXPECT_EQ(one.status, "Read Fail!!");
    // A byte more than the flash holds is not sent at all.
    const Result over = runParallel(ParallelImageSize + 1);
    EXPECT_EQ(over.status, "Programming Fail!!");
    EXPECT_EQ(over.programs, 0u);
}

}  // namespace
}  // namespace vxe
