// The readout of the selected device: names, flash type, version and status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "chip/chip_readout.h"
#include "tests/support/simulated_machine.h"
#include "tests/support/wire_log.h"

namespace vxe {
namespace {

class ChipReadoutTest : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    std::string path = test::UsbDiskPath(0);
    sim::Bridge& add(sim::DeviceDescription d) { return machine.addDisk(path, std::move(d)); }
    ChipReadout read(bool checkFile = false, const std::string& file = {}) {
        return ReadChipStatus(path.c_str(), checkFile, file);
    }
};

TEST_F(ChipReadoutTest, VxeBridgeIsNamedButNotUpdatedHere) {
    sim::ProfileOptions o;
    o.version3 = {1, 2, 3};
    add(sim::Vxe720Enclosure(o));
    const ChipReadout r = read();
    EXPECT_EQ(r.chipName, "VXE731/720 Series");
    EXPECT_EQ(r.controls, FamilyControls::Unsupported);
    EXPECT_EQ(r.statusText, "The chip not support Firmware Update!");
    EXPECT_EQ(r.versionText, "Ver 1.02.03");
    EXPECT_FALSE(r.amicFlashCode.has_value());
    EXPECT_FALSE(r.runEnabled.has_value());
}

TEST_F(ChipReadoutTest, TwelveByteBlockGivesTheTwoPartVersion) {
    sim::ProfileOptions o;
    o.sixteenByteInfo = false;
    o.version2 = {3, 5};
    add(sim::ProfileForFamily(13, sim::Route::InquiryTag, o));
    EXPECT_EQ(read().versionText, "Ver 3.05");
}

TEST_F(ChipReadoutTest, UnreadVersionByFamily) {
    const std::pair<int, const char*> cases[] = {{4, "02.00"}, {1, "02.00"}, {2, "02.00"}, {3, "01.00"},
                                                 {13, "01.00"}};
    for (const auto& [family, text] : cases) {
        SCOPED_TRACE(family);
        test::SimulatedMachine m;
        sim::Bridge& b = m.addDisk(path, sim::ProfileForFamily(family));
        b.faults().failMatching.push_back({0xE0, std::nullopt});
        EXPECT_EQ(ReadChipStatus(path.c_str(), false, {}).versionText, text);
    }
    sim::Bridge& dead = add(sim::Vxe720Enclosure());
    dead.faults().failMatching = {{0x12, std::nullopt}, {0xDF, std::nullopt}, {0xE0, std::nullopt},
                                  {0xFF, std::nullopt}};
    const ChipReadout r = read();
    EXPECT_EQ(r.chipName, "Unknown Chip");
    EXPECT_EQ(r.versionText, "00.00");
}

TEST_F(ChipReadoutTest, AReplyWithoutMarkerIsNotACorvaneChip) {
    sim::DeviceDescription d = sim::ProfileForFamily(1, sim::Route::InquiryTag);
    sim::Bridge& b = add(d);
    b.description().chipInformation.assign(16, 0);
    const ChipReadout r = read();
    EXPECT_EQ(r.chipName, "RT71845 Series");
    EXPECT_EQ(r.statusText, "Not Corvane Chip!!");
    EXPECT_EQ(r.versionText, "");
}

TEST_F(ChipReadoutTest, SerialFlashIsNamed) {
    sim::ProfileOptions o;
    o.amicFlash = true;
    o.amicCapacity = 0x11;
    sim::Bridge& amic = add(sim::ProfileForFamily(6, sim::Route::InquiryTag, o));
    ChipReadout r = read();
    EXPECT_EQ(r.flashTypeText, "AMIC");
    EXPECT_EQ(r.amicFlashCode, 3);
    EXPECT_TRUE(r.showNvram);
    EXPECT_TRUE(test::CommandsOf(amic, 0xFF, 0x23).empty());

    amic.description().jedecId = {0xEF, 0x40, 0x16, 0x00};
    amic.description().flashVendorCode = 6;
    r = read();
    EXPECT_EQ(r.flashTypeText, "WINBOND");
    EXPECT_EQ(r.amicFlashCode, -1);
}

TEST_F(ChipReadoutTest, FirmwareFileCheckEnablesRunOrWarns) {
    add(sim::ProfileForFamily(3));
    const auto file = std::filesystem::temp_directory_path() / "vxe-readout-any.bin";
    std::ofstream(file, std::ios::binary) << std::string(64, 'x');
    EXPECT_EQ(read(true, file.string()).runEnabled, true);
    EXPECT_TRUE(machine.platform.messages().empty());

    const ChipReadout missing = read(true, "/nonexistent/firmware.bin");
    EXPECT_EQ(missing.runEnabled, false);
    ASSERT_EQ(machine.platform.messages().size(), 2u);
    EXPECT_EQ(machine.platform.messages()[0].text, "Open Firmware File Error!!");
    EXPECT_EQ(machine.platform.messages()[1].text, "The firmware file seems not match this chip!");
    EXPECT_EQ(machine.platform.messages()[1].caption, "Message");

    EXPECT_FALSE(read(true, "").runEnabled.has_value()) << "an empty name leaves Run alone";
    std::filesystem::remove(file);
}

}  // namespace
}  // namespace vxe
