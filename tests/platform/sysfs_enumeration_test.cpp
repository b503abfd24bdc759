#include "platform/sysfs_enumeration.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sysfs_tree.h"

namespace vxe {
namespace {

namespace fs = std::filesystem;
using Nodes = std::vector<std::string>;
using test::SysfsTree;

class SysfsEnumeration : public testing::Test {
protected:
    SysfsTree tree;
};

TEST_F(SysfsEnumeration, ListsUsbStorageDisksAndCdRomsByClassInSgOrder) {
    tree.scsiDevice(tree.usbInterface("1-1", "usb-storage"), 0, 10, "0\n");  // sg10 after sg3, not between 1 and 2
    tree.scsiDevice(tree.usbInterface("1-2", "usb-storage"), 1, 2, "5\n");
    tree.scsiDevice(tree.usbInterface("1-3", "uas"), 2, 3, "0\n");
    tree.scsiDevice(tree.sataPort("ata1"), 3, 1, "0\n");
    tree.scsiDevice(tree.virtioDevice("virtio1"), 4, 0, "0\n");
    tree.scsiDevice(tree.virtioDevice("virtio2"), 5, 4, "5\n");

    EXPECT_EQ(EnumerateUsbStorageSgNodes(tree.root(), InterfaceClass::Disk), (Nodes{"/dev/sg3", "/dev/sg10"}));
    EXPECT_EQ(EnumerateUsbStorageSgNodes(tree.root(), InterfaceClass::CdRom), (Nodes{"/dev/sg2"}));
}

TEST_F(SysfsEnumeration, LeavesOutDevicesItCannotClassifyOrThatAreGone) {
    tree.scsiDevice(tree.usbInterface("1-1", "usb-storage"), 0, 0, "0\n");
    tree.scsiDevice(tree.usbInterface("1-2", "usb-storage"), 1, 1, "");           // no type attribute
    tree.scsiDevice(tree.usbInterface("1-3", "usb-storage"), 2, 2, "disk\n");     // unreadable type
    tree.scsiDevice(tree.usbInterface("1-4", "usb-storage"), 3, 3, "0\n", "offline\n");
    tree.scsiDevice(tree.usbInterface("1-5", ""), 4, 4, "0\n");                   // interface not bound
    tree.scsiDevice(tree.usbInterface("1-6", "usb-storage"), 5, 5, "14\n");       // neither disk nor CD-ROM
    tree.scsiDevice(tree.usbInterface("1-7", "usb-storage"), 6, 6, "0\n", "");    // no state: still present

    EXPECT_EQ(EnumerateUsbStorageSgNodes(tree.root(), InterfaceClass::Disk), (Nodes{"/dev/sg0", "/dev/sg6"}));
    EXPECT_TRUE(EnumerateUsbStorageSgNodes(tree.root(), InterfaceClass::CdRom).empty());
}

TEST_F(SysfsEnumeration, SurvivesOddTrees) {
    tree.scsiDevice(tree.usbInterface("1-1", "usb-storage"), 0, 0, "0\n");
    const fs::path classDir = tree.root() / "class/scsi_generic";
    fs::create_directories(classDir / "sg7");                          // no device link
    fs::create_directories(classDir / "sgx");                          // not an sg number
    fs::create_directories(classDir / "sg99999999999");                // number too large
    tree.link(classDir / "sg8", tree.root() / "nowhere");              // dangling link
    fs::create_directory_symlink("sg9", classDir / "sg9");             // link to itself
    std::string longType(100000, '0');
    tree.scsiDevice(tree.usbInterface("1-2", "usb-storage"), 1, 11, longType);  // oversized attribute

    EXPECT_EQ(EnumerateUsbStorageSgNodes(tree.root(), InterfaceClass::Disk), (Nodes{"/dev/sg0"}));
}

TEST(SysfsEnumerationWithoutTree, MissingRootGivesNothing) {
    EXPECT_TRUE(EnumerateUsbStorageSgNodes("/nonexistent-sysfs-root", InterfaceClass::Disk).empty());
    EXPECT_TRUE(EnumerateUsbStorageSgNodes("", InterfaceClass::CdRom).empty());
}

}  // namespace
}  // namespace vxe
