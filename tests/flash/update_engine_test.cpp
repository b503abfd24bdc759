// The update engine on a simulated bridge with test images in the resources.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "flash/update_engine.h"
#include "tests/support/simulated_machine.h"
#include "tests/support/wire_log.h"

namespace vxe {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Image(size_t size, uint8_t seed = 0) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 13 + seed) ^ (i >> 10));
    return bytes;
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class UpdateEngineTest : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    std::string path = test::UsbDiskPath(0);
    sim::Bridge& bridge = machine.addDisk(path, sim::ProfileForFamily(1));
    RecordingStatusSink sink;
    EngineOptions options;

    UpdateEngineTest() {
        options.amicFlashCode = -1;
        bridge.fillFlash(0x00);
    }
    void useImage(std::vector<uint8_t> image) { machine.platform.setResource("FW849", "FW", std::move(image)); }
    int32_t run() { return RunFlashUpdate(path.c_str(), options, sink); }
};

TEST_F(UpdateEngineTest, EmbeddedSizedImageTakesThreePagesAndIsVerified) {
    const auto image = Image(36940);
    useImage(image);
    ASSERT_EQ(run(), 1);
    const auto reads = test::FlashReads(bridge);
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].length, 49152u);
    EXPECT_EQ(reads[1].length, 49152u);
    EXPECT_EQ(test::Addresses(test::FlashPrograms(bridge)), (std::vector<uint32_t>{0, 0x4000, 0x8000}));
    EXPECT_EQ(sink.statusText(), "...Programming Success!!");
    EXPECT_EQ(sink.stepsTaken, 55 + 3 * 10 + 10);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), bridge.flash().begin()));
    // The padding of the last page is the erased value.
    for (size_t i = image.size(); i < 49152; ++i) ASSERT_EQ(bridge.flash()[i], 0xFF) << i;
}

struct ErasePlan {
    uint32_t imageSize;
    int32_t amic;
    std::vector<uint32_t> blockErases;
    size_t chipErases;
};

TEST_F(UpdateEngineTest, ErasePlansByWorkingSizeAndAmicCode) {
    const std::vector<ErasePlan> plans = {
        {0x8000, -1, {0}, 0},
        {0x8001, -1, {0, 0x8000}, 0},
        {0x10000, 4, {0, 0x8000}, 0},
        {0x10001, -1, {}, 1},
        {0x8000, 1, {0, 0x1000, 0x3000, 0x7000}, 0},
        {0x10000, 3, {0, 0x1000, 0x3000, 0x7000, 0xF000}, 0},
        {0x10000, 5, {0, 0x1000, 0x3000, 0x7000, 0xF000}, 0},
    };
    for (const ErasePlan& plan : plans) {
        SCOPED_TRACE(::testing::Message() << plan.imageSize << " amic " << plan.amic);
        test::SimulatedMachine fresh;
        sim::ProfileOptions o;
        o.amicFlash = plan.amic > 0;
        sim::DeviceDescription d = sim::ProfileForFamily(1, sim::Route::InquiryTag, o);
        if (plan.amic == 4) d.blockEraseSectors.clear();  // a uniform-block AMIC part
        d.flashSize = 0x20000;
        sim::Bridge& b = fresh.addDisk(path, d);
        b.fillFlash(0x00);
        fresh.platform.setResource("FW849", "FW", Image(plan.imageSize));
        RecordingStatusSink s;
        options.amicFlashCode = plan.amic;
        EXPECT_EQ(RunFlashUpdate(path.c_str(), options, s), 1) << s.statusText();
        EXPECT_EQ(test::Addresses(test::BlockErases(b)), plan.blockErases);
        EXPECT_EQ(test::ChipErases(b).size(), plan.chipErases);
    }
}

TEST_F(UpdateEngineTest, UnknownAmicCodeStopsBeforeAnyErase) {
    useImage(Image(0x8000));
    options.amicFlashCode = 0;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(sink.statusText(), "Not Support this AMIC Flash Type!!");
    EXPECT_TRUE(test::NothingWritten(bridge));
}

TEST_F(UpdateEngineTest, MissingImageFailsAtOnce) {
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(sink.statusText(), "Load defaut Fw file Error!!");
    EXPECT_TRUE(bridge.log().empty());
}

TEST_F(UpdateEngineTest, BlankCheckFindsAByteTheEraseLeft) {
    useImage(Image(0x8000));
    bridge.faults().stuckBit = sim::StuckBit{0x10, 0x00};
    bridge.faults().ignoreWriteAt = 1;  // status poll, then the block erase
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(sink.statusText(), "Data not 0xff !!");
    EXPECT_TRUE(test::FlashPrograms(bridge).empty());
}

TEST_F(UpdateEngineTest, FailedPageReplacesTheRunningText) {
    useImage(Image(0xC000));
    bridge.faults().failMatching.push_back({0xFF, 0x11});
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(sink.statusText(), "Programming Fail!!");
    EXPECT_EQ(test::FlashPrograms(bridge).size(), 1u);
}

TEST_F(UpdateEngineTest, CompareDifferenceEndsTheRunningText) {
    auto image = Image(0xC000);
    image[0x5000] = 0x00;
    useImage(image);
    bridge.faults().stuckBit = sim::StuckBit{0x5000, 0x80};
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(sink.statusText(), "...Compare Fail!!\r\n\r\n");
}

TEST_F(UpdateEngineTest, ImagesOfManyPagesNeverWrapThePageCounter) {
    options.transferPageSize = 2048;
    options.amicFlashCode = -1;
    const auto image = Image(300 * 2048);  // above 64 KB: one chip erase
    machine.bus.remove(path);
    sim::DeviceDescription big = sim::ProfileForFamily(1);
    big.flashSize = 1 << 20;
    sim::Bridge& large = machine.addDisk(path, big);
    useImage(image);
    ASSERT_EQ(run(), 1) << sink.statusText();
    EXPECT_EQ(test::FlashPrograms(large).size(), 300u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), large.flash().begin()));
}

TEST_F(UpdateEngineTest, EraseOnlyAndBackupOnlyNeedTheRdSwitch) {
    options.eraseOnly = true;
    useImage(Image(0x8000));
    ASSERT_EQ(run(), 1);
    EXPECT_FALSE(test::FlashPrograms(bridge).empty()) << "without RD Version the update runs";

    bridge.clearLog();
    bridge.fillFlash(0x00);
    options.rdVersion = true;
    ASSERT_EQ(run(), 1);
    EXPECT_TRUE(test::FlashPrograms(bridge).empty());
    ASSERT_EQ(machine.platform.messages().size(), 1u);
    EXPECT_EQ(machine.platform.messages()[0].text, "Please Turn-Off the Power and Turn-On Again!");
    EXPECT_EQ(machine.platform.messages()[0].caption, "Message");
    EXPECT_EQ(sink.statusText(), "Erase flash all success!");
}

// A blank check that could not read the flash proves nothing: no success,
// whether the read failed or came back short.
TEST_F(UpdateEngineTest, EraseOnlyIsNoSuccessWhenTheBlankCheckCannotRead) {
    bridge.faults().failMatching.push_back({0xFF, 0x10});
    EXPECT_EQ(EraseAllFlash(path.c_str(), options, sink), 0);
    EXPECT_EQ(sink.statusText(), "Read Back Erased Flash Error!!");
    EXPECT_EQ(test::BlockErases(bridge).size(), 4u);

    bridge.faults() = {};
    bridge.clearLog();
    ASSERT_EQ(EraseAllFlash(path.c_str(), options, sink), 1);
    const auto reads = test::CommandsOf(bridge, 0xFF, 0x10);
    ASSERT_EQ(reads.size(), 1u);
    bridge.faults().shortReadAt = bridge.commandCount() + (reads[0].index - bridge.log().front().index);
    bridge.faults().shortReadMissing = 1;
    options.rdVersion = options.eraseOnly = true;
    EXPECT_EQ(RunFlashUpdate(path.c_str(), options, sink), 0);
    EXPECT_EQ(sink.statusText(), "Read Back Erased Flash Error!!");
    EXPECT_TRUE(machine.platform.messages().empty()) << "no power-cycle notice after a failed erase";
}

TEST_F(UpdateEngineTest, EraseOnlyFindsAByteLeftProgrammed) {
    options.transferPageSize = 32768;   // one erase per 32 KB block
    bridge.faults().ignoreWriteAt = 3;  // three status polls, then the first erase
    EXPECT_EQ(EraseAllFlash(path.c_str(), options, sink), 0);
    EXPECT_EQ(sink.statusText(), "Data not 0xff !!");
}

class BackupTest : public UpdateEngineTest {
protected:
    BackupTest() {
        dir = fs::temp_directory_path() / ("vxe-backup-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        old = fs::current_path();
        fs::current_path(dir);
        bridge.setFlash(0, Image(65536, 5));
    }
    ~BackupTest() override {
        fs::current_path(old);
        fs::remove_all(dir);
    }
    fs::path dir, old;
};

TEST_F(BackupTest, EmptyNameWritesOldflashBakAfterTheNotice) {
    options.rdVersion = true;
    options.backupOnly = true;
    ASSERT_EQ(run(), 1);
    ASSERT_EQ(machine.platform.messages().size(), 1u);
    EXPECT_EQ(machine.platform.messages()[0].text, "Default backup firmware as OldFalsh.bak!");
    EXPECT_EQ(ReadFile(dir / "oldflash.bak"), Image(65536, 5));
    EXPECT_EQ(sink.statusText(), "Read flash and backup success!");
}

TEST_F(BackupTest, NamedFileHoldsFirmwareSizeBytes) {
    options.backupFileName = (dir / "named.bin").string();
    options.firmwareSize = 32768;
    ASSERT_EQ(BackupFlashToFile(path.c_str(), options, sink), 1);
    const auto saved = ReadFile(dir / "named.bin");
    const auto flash = Image(65536, 5);
    EXPECT_EQ(saved, std::vector<uint8_t>(flash.begin(), flash.begin() + 32768));
    EXPECT_TRUE(machine.platform.messages().empty());
}

TEST_F(BackupTest, AOneMegabyteBackupOverALinkThatCarriesLessInOneRequest) {
    // A USB 2.0 link under Linux carries 120 KiB per request.
    const std::string big = test::UsbDiskPath(1);
    sim::DeviceDescription description = sim::ProfileForFamily(1);
    description.flashSize = 1 << 20;
    sim::Bridge& device = machine.addDisk(big, description);
    device.setFlash(0, Image(1 << 20, 9));
    machine.platform.setTransferLimit(big, 120 * 1024);
    options.backupFileName = (dir / "big.bak").string();
    options.firmwareSize = 1 << 20;
    ASSERT_EQ(BackupFlashToFile(big.c_str(), options, sink), 1);
    EXPECT_EQ(ReadFile(dir / "big.bak"), Image(1 << 20, 9));
    EXPECT_EQ(test::FlashReads(device).size(), 9u);
}

TEST_F(BackupTest, UnwritablePlaceFailsAndAGoodFileSurvivesAShortRead) {
    options.backupFileName = (dir / "no-such-dir" / "x.bak").string();
    EXPECT_EQ(BackupFlashToFile(path.c_str(), options, sink), 0);
    EXPECT_EQ(sink.statusText(), "Open Backup File Error!!");

    const fs::path good = dir / "good.bak";
    std::ofstream(good, std::ios::binary) << "older good backup";
    options.backupFileName = good.string();
    bridge.faults().shortReadAt = bridge.commandCount();
    bridge.faults().shortReadMissing = 100;
    EXPECT_EQ(BackupFlashToFile(path.c_str(), options, sink), 0);
    EXPECT_EQ(sink.statusText(), "Read Back to Backup Error!!");
    const auto kept = ReadFile(good);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "older good backup");

    options.backupFileName = std::string(300, 'n');
    EXPECT_EQ(BackupFlashToFile(path.c_str(), options, sink), 0);
    EXPECT_EQ(sink.statusText(), "Open Backup File Error!!");
}

class NvramEngineTest : public UpdateEngineTest {
protected:
    NvramEngineTest() {
        sim::ProfileOptions o;
        o.revisionChar = '0';
        machine.bus.remove(path);
        family6 = &machine.addDisk(path, sim::ProfileForFamily(6, sim::Route::IdString, o));
        family6->setFlash(0, Image(65536, 9));
    }
    sim::Bridge* family6 = nullptr;
    int32_t skip = 0;
};

TEST_F(NvramEngineTest, KeepsTheFirst4KAndWritesTheImageAfterIt) {
    const auto image = Image(20000, 3);
    machine.platform.setResource("FW652A", "FW", image);
    ASSERT_EQ(RunNvramKeepingUpdate(path.c_str(), options, sink, skip), 1);
    EXPECT_EQ(skip, 1);
    EXPECT_EQ(test::Addresses(test::BlockErases(*family6)), (std::vector<uint32_t>{0}));
    EXPECT_EQ(test::Addresses(test::FlashPrograms(*family6)), (std::vector<uint32_t>{0, 0x4000}));
    const auto flash = family6->flash();
    const auto old = Image(65536, 9);
    EXPECT_TRUE(std::equal(old.begin(), old.begin() + 4096, flash.begin()));
    EXPECT_TRUE(std::equal(image.begin() + 4096, image.end(), flash.begin() + 4096));
    for (size_t i = image.size(); i < 32768; ++i) ASSERT_EQ(flash[i], 0x00) << i;
}

TEST_F(NvramEngineTest, WrongRevisionOrMissingImageEndsSilently) {
    EXPECT_EQ(RunNvramKeepingUpdate(path.c_str(), options, sink, skip), 0);
    EXPECT_EQ(sink.statusText(), "");
    EXPECT_TRUE(test::NothingWritten(*family6));
}

}  // namespace
}  // namespace vxe
