// Identification through its three stages, judged by what the bridge answers.
#include <gtest/gtest.h>

#include <cstring>

#include "chip/chip_identification.h"
#include "tests/support/simulated_machine.h"

namespace vxe {
namespace {

void SetTag(sim::DeviceDescription& d, const char* tag) {
    if (d.inquiry.size() < 40) d.inquiry.resize(40);
    std::memset(d.inquiry.data() + 36, 0, 4);
    std::memcpy(d.inquiry.data() + 36, tag, std::strlen(tag));
}

void SetIdString(sim::DeviceDescription& d, const char* text, size_t length) {
    d.idString.assign(40, 0);
    std::memcpy(d.idString.data(), text, length);
}

// A block with the F4 E7 marker naming `model` (3 characters) and revision character `rev`.
std::vector<uint8_t> MarkedBlock(const char* model, uint8_t rev) {
    std::vector<uint8_t> r(16, 0);
    r[0] = 0xF4;
    r[1] = 0xE7;
    std::memcpy(r.data() + 8, model, 3);
    r[11] = rev;
    return r;
}

class IdentifyChipTest : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    std::string path = test::UsbDiskPath(0);

    // A bridge that answers every command but carries no tag and no model.
    sim::DeviceDescription blank() {
        sim::DeviceDescription d = sim::Vxe720Enclosure();
        SetTag(d, "");
        d.chipInformation = std::vector<uint8_t>(16, 0);
        d.chipInformation[0] = 0xF4;
        d.chipInformation[1] = 0xE7;
        SetIdString(d, "", 0);
        return d;
    }
    sim::Bridge& add(sim::DeviceDescription d) { return machine.addDisk(path, std::move(d)); }
    uint16_t identify() { return IdentifyChip(path.c_str()); }
};

TEST_F(IdentifyChipTest, InquiryTagAloneDecidesForTaggedFamilies) {
    sim::DeviceDescription d = blank();
    SetTag(d, "c720");
    sim::Bridge& bridge = add(d);
    EXPECT_EQ(identify(), 13);
    EXPECT_EQ(bridge.log().size(), 1u);
}

TEST_F(IdentifyChipTest, Family10RevisionComesFromMemoryFDB0) {
    sim::ProfileOptions options;
    options.fdb0AtLeastB4 = true;
    sim::Bridge& bridge = add(sim::Vxe720Enclosure(options));
    EXPECT_EQ(identify(), 0x090A);
    bridge.description().setMemory(0xFDB0, {0x00, 0xB3, 0x00, 0x00});
    EXPECT_EQ(identify(), 0x000A);
}

TEST_F(IdentifyChipTest, IdStringTurnsAnUnidentifiedDeviceIntoFamilyOne) {
    sim::DeviceDescription d = blank();
    SetIdString(d, "c845C1", 6);
    sim::Bridge& bridge = add(d);
    bridge.faults().failMatching.push_back({0x12, std::nullopt});
    EXPECT_EQ(identify(), 0x0201);
}

TEST_F(IdentifyChipTest, Family1WithoutIdStringGetsRevisionOne) {
    sim::DeviceDescription d = blank();
    SetTag(d, "c845");
    sim::Bridge& bridge = add(d);
    bridge.faults().failMatching.push_back({0xFF, 0x30});
    EXPECT_EQ(identify(), 0x0101);
}

TEST_F(IdentifyChipTest, Family6IdStringWithZeroAfterTheTagIsRevisionOne) {
    sim::DeviceDescription d = blank();
    SetTag(d, "c652");
    SetIdString(d, "c652X", 5);  // one more character, then a zero byte
    add(d);
    EXPECT_EQ(identify(), 0x0106);
}

TEST_F(IdentifyChipTest, IdStringsOfFamilies4And11) {
    sim::DeviceDescription d = blank();
    SetIdString(d, "c849C0", 6);
    sim::Bridge& bridge = add(d);
    EXPECT_EQ(identify(), 0x0104);
    SetIdString(bridge.description(), "c819A2", 6);
    EXPECT_EQ(identify(), 0x030B);
}

TEST_F(IdentifyChipTest, UnmarkedBlockPicksFamilyByIdentificationWord) {
    sim::DeviceDescription d = blank();
    d.chipInformation.assign(16, 0);
    d.idWord = {0x40, 0x00};
    sim::Bridge& bridge = add(d);
    EXPECT_EQ(identify(), 16);
    bridge.description().idWord = {0x60, 0xFF};
    EXPECT_EQ(identify(), 17);
    bridge.description().idWord = {0x9F, 0x00};
    EXPECT_EQ(identify(), 14);
}

TEST_F(IdentifyChipTest, VendorAndProductTextsSelectFamily18) {
    sim::DeviceDescription d = blank();
    d.chipInformation = MarkedBlock("720", '1');
    d.chipInformation[2] = 0x1E;
    d.chipInformation[3] = 0x3A;
    d.chipInformation[4] = 0x28;
    d.chipInformation[5] = 0x46;
    add(d);
    EXPECT_EQ(identify(), 18) << "family 18 wins over the model text and keeps revision 0";
}

TEST_F(IdentifyChipTest, ModelTextOfTheBlockWithItsRevision) {
    sim::DeviceDescription d = blank();
    d.chipInformation = MarkedBlock("720", '1');
    add(d);
    EXPECT_EQ(identify(), 0x010D);
}

TEST_F(IdentifyChipTest, UnknownModelKeepsRevisionAndAsksForTheIdString) {
    sim::DeviceDescription d = blank();
    d.chipInformation = MarkedBlock("999", '1');
    sim::Bridge& bridge = add(d);
    EXPECT_EQ(identify(), 0x0100);
    EXPECT_EQ(bridge.log().back().command.cdb[2], 0x30);
}

TEST_F(IdentifyChipTest, Family7RevisionFromTheShortBlock) {
    sim::DeviceDescription d = blank();
    SetTag(d, "c653");
    d.chipInformation = MarkedBlock("653", '2');
    sim::Bridge& bridge = add(d);
    EXPECT_EQ(identify(), 0x0207);
    EXPECT_EQ(bridge.log().back().command.length, 12u);
    EXPECT_TRUE(machine.platform.messages().empty());

    bridge.description().chipInformation[11] = '3';
    EXPECT_EQ(identify(), 0x0007);
    ASSERT_EQ(machine.platform.messages().size(), 1u);
    EXPECT_EQ(machine.platform.messages()[0].text, "Get chip information fail !");
    EXPECT_EQ(machine.platform.messages()[0].caption, "Error");
    EXPECT_EQ(machine.platform.messages()[0].icon, MessageIcon::Error);
}

TEST_F(IdentifyChipTest, DeviceThatFailsEverythingIsUnknownWithoutAMessage) {
    sim::Bridge& bridge = add(blank());
    bridge.faults().failMatching = {{0x12, std::nullopt}, {0xDF, std::nullopt}, {0xE0, std::nullopt},
                                    {0xFF, std::nullopt}};
    EXPECT_EQ(identify(), 0);
    EXPECT_TRUE(machine.platform.messages().empty());
}

TEST_F(IdentifyChipTest, PlainDiskIsNeverTheTargetFamily) {
    // CHECK CONDITION counts as carried, so the zero-filled replies read as an
    // unmarked block with identification word 0.
    add(sim::PlainUsbDisk());
    EXPECT_EQ(identify(), 14);
}

TEST(NameTables, FlashVendorNineSharesTheFirstFamilyRowAndBoundsHold) {
    EXPECT_EQ(FlashVendorName(9), ChipFamilyName(0));
    EXPECT_STREQ(FlashVendorName(9), "Unknown Chip");
    EXPECT_STREQ(FlashVendorName(6), "WINBOND");
    EXPECT_STREQ(FlashVendorName(10), "Unknown");
    EXPECT_STREQ(FlashVendorName(255), "Unknown");
    EXPECT_STREQ(ChipFamilyName(10), "VXE731/720 Series");
    EXPECT_STREQ(ChipFamilyName(18), "RT71846");
    EXPECT_STREQ(ChipFamilyName(19), "Unknown Chip");
}

class IdentifyFlashTest : public IdentifyChipTest {};

TEST_F(IdentifyFlashTest, AmicNeedsNoVendorCommand) {
    sim::ProfileOptions options;
    options.amicFlash = true;
    options.amicCapacity = 0x20;
    sim::Bridge& bridge = add(sim::ProfileForFamily(1, sim::Route::InquiryTag, options));
    const FlashIdentity flash = IdentifyFlash(path.c_str());
    EXPECT_EQ(flash.amicFlashCode, 4);
    EXPECT_EQ(flash.displayName, "AMIC");
    for (const auto& e : bridge.log()) EXPECT_NE(e.command.cdb[2], 0x23);
}

TEST_F(IdentifyFlashTest, VendorCodeNamesTheFlashOrLeavesItUnnamed) {
    sim::ProfileOptions options;
    options.flashVendorCode = 6;
    sim::Bridge& bridge = add(sim::ProfileForFamily(1, sim::Route::InquiryTag, options));
    EXPECT_EQ(IdentifyFlash(path.c_str()).displayName, "WINBOND");
    bridge.description().flashVendorCode = 12;
    EXPECT_EQ(IdentifyFlash(path.c_str()).displayName, "Unknown");
    bridge.faults().failMatching.push_back({0xFF, 0x23});
    const FlashIdentity unnamed = IdentifyFlash(path.c_str());
    EXPECT_FALSE(unnamed.vendorRead);
    EXPECT_EQ(unnamed.displayName, "");
    EXPECT_EQ(unnamed.amicFlashCode, -1);
}

}  // namespace
}  // namespace vxe
