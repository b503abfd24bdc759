// What the window shows about the selected device, family by family.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "tests/support/simulated_machine.h"
#include "ui/engineering_layout.h"
#include "ui/fwupdate.h"

namespace vxe {
namespace {

bool Shown(const QWidget* w) { return !w->isHidden(); }

class ReadoutWindowTest : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    // The refresh lists only VXE720-family bridges; the readout itself works
    // on whatever row is selected, so tests put other bridges into a row.
    std::unique_ptr<TR84xFwTool> windowOn(std::vector<sim::DeviceDescription> devices) {
        for (size_t i = 0; i < devices.size(); ++i) machine.addDisk(test::UsbDiskPath(static_cast<int>(i)), devices[i]);
        auto w = std::make_unique<TR84xFwTool>();
        w->DeviceList->clear();
        for (size_t i = 0; i < devices.size(); ++i) {
            std::snprintf(w->DeviceTable[i].DevicePath, sizeof w->DeviceTable[i].DevicePath, "%s",
                          test::UsbDiskPath(static_cast<int>(i)).c_str());
            w->DeviceList->addItem(QString::number(i));
        }
        w->DeviceCount = static_cast<int32_t>(devices.size());
        w->DeviceList->setEnabled(true);
        return w;
    }
    void select(TR84xFwTool& w, int row) {
        w.DeviceList->setCurrentIndex(row);
        w.UpdateBtnCheck(w.DeviceList);
    }
};

TEST_F(ReadoutWindowTest, ControlsFollowTheFamilyOfTheSelectedDevice) {
    sim::ProfileOptions amic;
    amic.amicFlash = true;
    amic.amicCapacity = 0x12;
    auto w = windowOn({sim::ProfileForFamily(6, sim::Route::InquiryTag, amic), sim::ProfileForFamily(2),
                       sim::Vxe720Enclosure()});
    select(*w, 0);
    EXPECT_EQ(w->ChipLabelEdit->text(), "KSV652 Series");
    EXPECT_TRUE(Shown(w->NVRAMCheck));
    EXPECT_TRUE(Shown(w->SFlashTypeLable));
    EXPECT_EQ(w->SFlashTypeLable->text(), "AMIC");
    EXPECT_EQ(w->AmicFlashCode, 1);
    EXPECT_FALSE(Shown(w->A1ChipCheck));

    select(*w, 1);
    EXPECT_EQ(w->ChipLabelEdit->text(), "RT71846 Series");
    EXPECT_FALSE(Shown(w->NVRAMCheck)) << "hidden before the family is known";
    EXPECT_FALSE(Shown(w->SFlashTypeLable));
    EXPECT_TRUE(Shown(w->A1ChipCheck));
    EXPECT_TRUE(w->A1ChipCheck->isEnabled());
    EXPECT_EQ(w->AmicFlashCode, 1) << "only the serial-flash families set it";

    select(*w, 2);
    EXPECT_EQ(w->ChipLabelEdit->text(), "VXE731/720 Series");
    EXPECT_EQ(w->StatusEdit->text(), "The chip not support Firmware Update!");
    EXPECT_EQ(w->FwVerLableEdit->text(), "Ver 1.02.03");
    EXPECT_FALSE(Shown(w->A1ChipCheck));
    EXPECT_FALSE(Shown(w->SFlashTypeLable));
    EXPECT_EQ(w->ChipId, 0x000A);
}

TEST_F(ReadoutWindowTest, TheEngineeringLayoutOffersTheFlashTypeWheneverAParallelChipIsSelected) {
    auto w = windowOn({sim::ProfileForFamily(1), sim::ProfileForFamily(18)});
    ShowEngineeringLayout(*w);
    select(*w, 0);
    EXPECT_FALSE(Shown(w->FlashTypeList));
    select(*w, 1);
    EXPECT_TRUE(Shown(w->FlashTypeList));
    EXPECT_TRUE(Shown(w->FlashTypeLabel));
}

TEST_F(ReadoutWindowTest, NoDeviceOrNoSelectionSendsNothing) {
    auto w = windowOn({sim::ProfileForFamily(6)});
    sim::Bridge& b = *machine.bus.bridge(test::UsbDiskPath(0));
    w->NVRAMCheck->show();
    b.clearLog();
    w->DeviceList->setCurrentIndex(-1);
    w->UpdateBtnCheck(w->DeviceList);
    EXPECT_TRUE(b.log().empty());
    EXPECT_FALSE(Shown(w->NVRAMCheck));

    w->DeviceCount = 0;
    w->DeviceList->setCurrentIndex(0);
    w->UpdateBtnCheck(w->DeviceList);
    EXPECT_TRUE(b.log().empty());
}

TEST_F(ReadoutWindowTest, TheFirmwareFileDecidesRunAndAnEmptyNameLeavesIt) {
    auto w = windowOn({sim::ProfileForFamily(3)});
    select(*w, 0);
    const auto file = std::filesystem::temp_directory_path() / "vxe-window-any.bin";
    std::ofstream(file, std::ios::binary) << std::string(32, 'z');
    w->FwFilenameEdit->setText(QString::fromStdString(file.string()));  // raises the readout itself
    EXPECT_TRUE(w->UpdateBtn->isEnabled());
    w->FwFilenameEdit->clear();
    EXPECT_TRUE(w->UpdateBtn->isEnabled()) << "an empty name leaves Run as it was";

    w->FwFilenameEdit->setText(QStringLiteral("/nonexistent"));
    EXPECT_FALSE(w->UpdateBtn->isEnabled());
    ASSERT_EQ(machine.platform.messages().size(), 2u);
    EXPECT_EQ(machine.platform.messages()[1].text, "The firmware file seems not match this chip!");
    std::filesystem::remove(file);
}

}  // namespace
}  // namespace vxe
