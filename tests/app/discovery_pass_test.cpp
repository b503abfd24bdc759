// The device pass of a refresh over simulated buses.
#include <gtest/gtest.h>

#include <cstring>

#include "chip/firmware_image.h"
#include "tests/support/simulated_machine.h"
#include "app/discovery_pass.h"

namespace vxe {
namespace {

class DiscoveryPassTest : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    DeviceTableRows table{};

    // A VXE720 enclosure whose flash already holds the embedded image.
    sim::Bridge& addCurrent(const std::string& path) {
        sim::Bridge& b = machine.addDisk(path, sim::Vxe720Enclosure());
        std::vector<uint8_t> image(65536, 0xFF);
        LoadEmbeddedImage(image, 0, 0);
        b.setFlash(0, image);
        return b;
    }
    DiscoveryResult run() { return RunDiscoveryPass(table); }
};

TEST_F(DiscoveryPassTest, NoUsbStorageAtAll) {
    const DiscoveryResult r = run();
    EXPECT_EQ(r.deviceCount, 0);
    EXPECT_TRUE(r.items.empty());
    EXPECT_FALSE(r.alreadyUpdated);
}

TEST_F(DiscoveryPassTest, DisksWithoutTheTargetBridgeAreCountedButNotListed) {
    machine.addDisk(test::UsbDiskPath(0), sim::PlainUsbDisk());
    sim::Bridge& other = machine.addDisk(test::UsbDiskPath(1), sim::ProfileForFamily(13));
    const DiscoveryResult r = run();
    EXPECT_EQ(r.deviceCount, 2);
    EXPECT_TRUE(r.items.empty());
    EXPECT_EQ(other.counters().hostAttach, 0u);
}

TEST_F(DiscoveryPassTest, AnUpToDateBridgeIsAttachedButLeftOut) {
    sim::Bridge& current = addCurrent(test::UsbDiskPath(0));
    const DiscoveryResult r = run();
    EXPECT_EQ(r.deviceCount, 1);
    EXPECT_TRUE(r.items.empty());
    EXPECT_TRUE(r.alreadyUpdated);
    EXPECT_EQ(current.counters().hostAttach, 1u);
}

TEST_F(DiscoveryPassTest, TheNextListedDeviceTakesTheRowOfOneLeftOut) {
    addCurrent(test::UsbDiskPath(0));
    machine.addDisk(test::UsbDiskPath(1), sim::Vxe720Enclosure());
    const DiscoveryResult r = run();
    ASSERT_EQ(r.items.size(), 1u);
    EXPECT_EQ(r.items[0], "<<USB>> Corvane VXE720 SATA Brdg");  // 24 characters, no NUL in the reply
    EXPECT_TRUE(r.alreadyUpdated);
    EXPECT_STREQ(table[0].DevicePath, test::UsbDiskPath(1).c_str());
}

TEST_F(DiscoveryPassTest, PathsAreLowerCasedForTheRowAndEverythingAfter) {
    std::string upper = test::UsbDiskPath(0);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    machine.addDisk(upper, sim::Vxe720Enclosure());
    run();
    EXPECT_STREQ(table[0].DevicePath, test::UsbDiskPath(0).c_str());
}

TEST_F(DiscoveryPassTest, CdRomClassBridgesAreMarkedAndAttachedTwice) {
    machine.addDisk(test::UsbDiskPath(0), sim::Vxe720Enclosure());
    sim::Bridge& cdrom = machine.addCdRom("\\\\?\\usbstor#cdrom&ven_corvane#1", sim::Vxe720Enclosure());
    const DiscoveryResult r = run();
    ASSERT_EQ(r.items.size(), 2u);
    EXPECT_EQ(table[0].DetachAtExit, 0);
    EXPECT_EQ(table[1].DetachAtExit, 1);
    EXPECT_EQ(cdrom.counters().hostAttach, 2u);
}

TEST_F(DiscoveryPassTest, ANameThatCannotBeAskedForRepeatsThePreviousOne) {
    machine.addDisk(test::UsbDiskPath(0), sim::Vxe720Enclosure());
    sim::DeviceDescription second = sim::Vxe720Enclosure();
    std::memcpy(second.inquiry.data() + 16, "Other Enclosure ", 16);
    sim::Bridge& mute = machine.addDisk(test::UsbDiskPath(1), second);
    ASSERT_EQ(run().items.at(1), "<<USB>> Corvane Other Enclosure ");

    // Identification sends INQUIRY and one memory read; the next command is
    // the INQUIRY for the name.
    mute.faults().failCommandAt = mute.commandCount() + 2;
    const DiscoveryResult r = run();
    ASSERT_EQ(r.items.size(), 2u);
    EXPECT_EQ(r.items[1], "<<USB>> Corvane VXE720 SATA Brdg");
}

TEST_F(DiscoveryPassTest, SeventeenInterfacesAndOverlongPathsStayWithinTheTable) {
    for (int i = 0; i < 17; ++i) machine.addDisk(test::UsbDiskPath(i), sim::Vxe720Enclosure());
    machine.addCdRom("\\\\?\\usbstor#" + std::string(300, 'x'), sim::Vxe720Enclosure());
    const DiscoveryResult r = run();
    EXPECT_EQ(r.deviceCount, 16);
    EXPECT_EQ(r.items.size(), 16u);
    for (const DeviceEntry& e : table) EXPECT_LT(strnlen(e.DevicePath, sizeof e.DevicePath), sizeof e.DevicePath);
}

TEST_F(DiscoveryPassTest, APathOf255CharactersFitsAndOf256IsLeftOut) {
    std::string fits = "\\\\?\\usbstor#";
    fits += std::string(255 - fits.size(), 'a');
    std::string tooLong = fits + "b";
    machine.addDisk(tooLong, sim::Vxe720Enclosure());
    machine.addDisk(fits, sim::Vxe720Enclosure());
    const DiscoveryResult r = run();
    EXPECT_EQ(r.deviceCount, 1);
    ASSERT_EQ(r.items.size(), 1u);
    EXPECT_EQ(std::string(table[0].DevicePath), fits);
}

}  // namespace
}  // namespace vxe
