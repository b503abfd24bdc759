// Run on the selected device: the procedure each chip family gets, the
// parallel-flash update with each flash type, and erase-only and backup-only.
#include <QEvent>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/support/wire_log.h"
#include "tests/ui/engineering_bench.h"

namespace vxe {
namespace {

using test::Rig;
using test::TestImage;

// Parallel-flash commands of the FF 04 group.
constexpr uint8_t kParallelProgram = 0x02;
constexpr uint8_t kParallelRead = 0x03;

std::vector<test::WireCommand> Parallel(const sim::Bridge& b, uint8_t sub) { return test::CommandsOf(b, 0xFF, sub); }

bool AllErased(std::span<const uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xFF; });
}

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

sim::ProfileOptions ParallelType(int flashType) {
    sim::ProfileOptions o;
    o.parallelFlashType = flashType;
    return o;
}

// Records the enabled states a widget passes through.
class EnabledStates : public QObject {
public:
    explicit EnabledStates(QWidget* watched) : watched_(watched) { watched->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange) states.push_back(watched_->isEnabled());
        return false;
    }
    std::vector<bool> states;

private:
    QWidget* watched_;
};

TEST(EngineeringRun, SerialFlashFamiliesGetTheUpdateEngine) {
    const auto image = TestImage(32768);
    for (int family : {1, 3, 4, 7}) {
        SCOPED_TRACE(family);
        Rig rig(family);
        ASSERT_EQ(rig.window.ChipFamily(), family);
        rig.setFirmware(image);
        test::PressRun(rig.window);
        // Pages of the transfer size (16 KB until the user picks another).
        EXPECT_EQ(test::Addresses(test::FlashPrograms(rig.bridge)), (std::vector<uint32_t>{0x0000, 0x4000}));
        EXPECT_EQ(rig.status(), "..Programming Success!!");
        EXPECT_TRUE(std::equal(image.begin(), image.end(), rig.bridge.flash().begin()));
        EXPECT_TRUE(Parallel(rig.bridge, kParallelProgram).empty());
    }
}

TEST(EngineeringRun, KeepingTheNvramGoesToItsOwnEngine) {
    Rig rig(6);
    ASSERT_EQ(rig.window.ChipFamily(), 6);
    test::PressRun(rig.window);
    EXPECT_EQ(rig.window.NvramSkip, 1);
    const auto reads = test::FlashReads(rig.bridge);
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads.front().address, 0u);
    EXPECT_EQ(reads.front().length, 4096u) << "the NVRAM is saved first";
}

TEST(EngineeringRun, FamiliesWithoutAProcedureSendNothingButRunStillCycles) {
    // 10 (the one-click family), 14 (what a plain disk identifies as) and 0
    // (no readout yet).
    for (const int family : {10, 14, 0}) {
        SCOPED_TRACE(family);
        Rig rig(family == 10 ? sim::Vxe720Enclosure() : sim::PlainUsbDisk());
        if (family == 0) rig.window.ChipId = 0;
        ASSERT_EQ(rig.window.ChipFamily(), family);
        rig.window.UpdateBtn->setEnabled(true);
        EnabledStates run(rig.window.UpdateBtn);
        rig.window.UpdateBtn->click();
        EXPECT_TRUE(rig.bridge.log().empty());
        EXPECT_EQ(run.states, (std::vector<bool>{false, true}));
        EXPECT_EQ(rig.machine.platform.debugLines(), std::vector<std::string>{"Update Btn Press\n"});
        EXPECT_EQ(rig.status(), "") << "the readout's text is cleared";
    }
}

TEST(EngineeringRun, NothingRunsWithoutADeviceRow) {
    Rig rig(1);
    rig.setFirmware(TestImage(32768));
    ASSERT_EQ(rig.window.ChipFamily(), 1);

    // Candidates found, none listed: no item is selected.
    rig.window.DeviceList->clear();
    test::PressRun(rig.window);
    EXPECT_TRUE(rig.bridge.log().empty());

    // No device at all: the list holds only its placeholder, while row 0
    // still names the device that was there and the family stays.
    rig.window.DeviceCount = 0;
    rig.window.DeviceList->addItem(QStringLiteral("No available device!!!"));
    rig.window.DeviceList->setCurrentIndex(0);
    test::PressRun(rig.window);
    EXPECT_TRUE(rig.bridge.log().empty());
    EXPECT_TRUE(rig.window.UpdateBtn->isEnabled());
    EXPECT_EQ(rig.machine.platform.debugLines().size(), 2u);
}

TEST(EngineeringRun, ParallelFlashOfEachTypeProgramsAndComparesExactlyTheImage) {
    const auto image = TestImage(40000);
    for (int type : {0, 1, 2}) {
        SCOPED_TRACE(type);
        Rig rig(type == 2 ? 18 : 2, ParallelType(type));
        rig.bridge.fillFlash(0x5A);
        rig.setFirmware(image);
        rig.window.FlashTypeList->setCurrentIndex(type);
        test::PressRun(rig.window);

        EXPECT_EQ(rig.status(), "Programming & Compare Success!!");
        EXPECT_TRUE(std::equal(image.begin(), image.end(), rig.bridge.flash().begin()));
        EXPECT_TRUE(AllErased(rig.bridge.flash().subspan(image.size()))) << "the rest stays erased";
        const auto programs = Parallel(rig.bridge, kParallelProgram);
        ASSERT_EQ(programs.size(), 1u);
        EXPECT_EQ(programs[0].length, 40000u);
        const auto reads = Parallel(rig.bridge, kParallelRead);
        ASSERT_EQ(reads.size(), 2u);
        EXPECT_EQ(reads[0].length, 65536u) << "the blank check covers the whole flash";
        EXPECT_EQ(reads[1].length, 40000u) << "the compare covers exactly the image";
    }
}

TEST(EngineeringRun, TheWrongFlashTypeNeverEndsInSuccess) {
    const std::set<std::string> failures{"Not Erase correctly!", "Compare Fail!!"};
    // Types 0 and 2 unlock at the same addresses; type 1 at others.
    const auto unlocksAlike = [](int a, int b) { return (a == 1) == (b == 1); };
    for (int actual : {0, 1, 2}) {
        for (int chosen : {0, 1, 2}) {
            if (unlocksAlike(actual, chosen)) continue;
            for (uint8_t old : {uint8_t{0x5A}, uint8_t{0xFF}}) {
                SCOPED_TRACE(testing::Message() << "flash " << actual << ", chosen " << chosen << ", old " << int{old});
                Rig rig(2, ParallelType(actual));
                rig.bridge.fillFlash(old);
                rig.setFirmware(TestImage(40000));
                rig.window.FlashTypeList->setCurrentIndex(chosen);
                test::PressRun(rig.window);
                EXPECT_TRUE(failures.count(rig.status())) << rig.status();
            }
        }
    }
}

TEST(EngineeringRun, A1ChipSkipsTheSwitchToInternalRom) {
    Rig rig(2);
    rig.setFirmware(TestImage(40000));
    ASSERT_TRUE(rig.window.A1ChipCheck->isEnabled());
    test::PressRun(rig.window);
    EXPECT_EQ(rig.bridge.counters().switchToInternalRom, 1u);

    rig.window.A1ChipCheck->setChecked(true);
    test::PressRun(rig.window);
    EXPECT_EQ(rig.bridge.counters().switchToInternalRom, 1u) << "not sent again";
    EXPECT_EQ(rig.bridge.counters().parallelErases, 2u) << "the update ran all the same";
}

TEST(EngineeringRun, ShippedResourcesLeaveTheParallelFlashAsItWas) {
    Rig rig(2);
    rig.bridge.fillFlash(0x5A);
    test::PressRun(rig.window);
    EXPECT_EQ(rig.status(), "Programming Fail!!");
    EXPECT_EQ(rig.bridge.counters().parallelErases, 0u) << "no image to program: nothing is erased";
    EXPECT_TRUE(std::all_of(rig.bridge.flash().begin(), rig.bridge.flash().end(), [](uint8_t b) { return b == 0x5A; }));
    EXPECT_TRUE(Parallel(rig.bridge, kParallelProgram).empty());
}

TEST(EngineeringRun, EraseOnlyEmptiesTheFlashAndProgramsNothing) {
    {
        // Parallel flash: the option box alone decides.
        Rig rig(2);
        rig.bridge.fillFlash(0x5A);
        rig.setFirmware(TestImage(40000));
        rig.window.EraseOnlyCheck->setChecked(true);
        test::PressRun(rig.window);
        EXPECT_EQ(rig.status(), "Erase All success!!");
        EXPECT_TRUE(AllErased(rig.bridge.flash()));
        EXPECT_TRUE(Parallel(rig.bridge, kParallelProgram).empty());
    }
    {
        // Serial flash: with "RD Version" ticked.
        Rig rig(1);
        rig.bridge.fillFlash(0x5A);
        rig.setFirmware(TestImage(32768));
        rig.window.RdCheckBox->setChecked(true);
        rig.window.EraseOnlyCheck->setChecked(true);
        ASSERT_TRUE(rig.window.UpdateBtn->isEnabled());
        rig.window.UpdateBtn->click();
        EXPECT_EQ(rig.status(), "Erase flash all success!");
        EXPECT_TRUE(AllErased(rig.bridge.flash()));
        EXPECT_TRUE(test::FlashPrograms(rig.bridge).empty());
        ASSERT_EQ(rig.machine.platform.messages().size(), 1u);
        EXPECT_EQ(rig.machine.platform.messages()[0].text, "Please Turn-Off the Power and Turn-On Again!");
    }
}

TEST(EngineeringRun, BackupOnlyWritesTheFlashToOldflashBakWithItsNotice) {
    test::InTemporaryFolder folder;
    const auto old = TestImage(65536);
    for (int family : {2, 1}) {
        SCOPED_TRACE(family);
        Rig rig(family);
        rig.bridge.setFlash(0, old);
        rig.window.RdCheckBox->setChecked(true);
        rig.window.BackupFWCheckBox->setChecked(true);
        ASSERT_TRUE(rig.window.UpdateBtn->isEnabled()) << "no firmware file needed";
        std::filesystem::remove(folder.path() / "oldflash.bak");
        rig.window.UpdateBtn->click();

        EXPECT_EQ(rig.status(), "Read flash and backup success!");
        ASSERT_EQ(rig.machine.platform.messages().size(), 1u);
        EXPECT_EQ(rig.machine.platform.messages()[0].text, "Default backup firmware as OldFalsh.bak!");
        EXPECT_EQ(rig.machine.platform.messages()[0].caption, "Message");
        EXPECT_EQ(FileBytes(folder.path() / "oldflash.bak"), old);
        EXPECT_TRUE(std::equal(old.begin(), old.end(), rig.bridge.flash().begin())) << "the flash is left alone";
    }
}

}  // namespace
}  // namespace vxe
