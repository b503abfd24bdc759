#include "platform/sysfs_enumeration.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vxe {
namespace {

namespace fs = std::filesystem;
using Nodes = std::vector<std::string>;

// A small sysfs laid out the way the kernel lays it out: class links into
// the device tree, a driver link on every bound device (including the SCSI
// device itself, bound to sd or sr), hosts and targets without one.
class SysfsTree {
public:
    SysfsTree() {
        std::string pattern = (fs::path(testing::TempDir()) / "sysfs-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        xhci_ = root_ / "devices/pci0000:00/0000:00:14.0";
        for (const char* driver : {"usb/drivers/usb-storage", "usb/drivers/uas", "usb/drivers/usb",
                                   "pci/drivers/xhci_hcd", "pci/drivers/ahci", "virtio/drivers/virtio_scsi",
                                   "scsi/drivers/sd", "scsi/drivers/sr"}) {
            fs::create_directories(root_ / "bus" / driver);
        }
        fs::create_directories(root_ / "class" / "scsi_generic");
        fs::create_directories(xhci_);
        bind(xhci_, "pci/drivers/xhci_hcd");
        bind(xhci_ / "usb1", "usb/drivers/usb");
    }
    ~SysfsTree() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    const fs::path& root() const { return root_; }

    // A USB device on port `port` of the root hub with interface 1.0, bound
    // to `driver` (empty: left unbound).
    fs::path usbInterface(const std::string& port, const std::string& driver) {
        fs::path device = xhci_ / "usb1" / port;
        fs::path interface = device / (port + ":1.0");
        fs::create_directories(interface);
        bind(device, "usb/drivers/usb");
        if (!driver.empty()) bind(interface, "usb/drivers/" + driver);
        return interface;
    }

    fs::path sataPort(const std::string& name) {
        fs::path ata = root_ / "devices/pci0000:00/0000:00:1f.2" / name;
        fs::create_directories(ata);
        bind(ata.parent_path(), "pci/drivers/ahci");
        return ata;
    }

    fs::path virtioDevice(const std::string& name) {
        fs::path virtio = root_ / "devices/pci0000:00/0000:00:04.0" / name;
        fs::create_directories(virtio);
        bind(virtio, "virtio/drivers/virtio_scsi");
        return virtio;
    }

    // A SCSI device with its sg node under `parent`; `type` empty leaves the
    // attribute out.
    fs::path scsiDevice(const fs::path& parent, int host, int sg, const std::string& type,
                        const std::string& state = "running\n") {
        const std::string hctl = std::to_string(host) + ":0:0:0";
        fs::path device = parent / ("host" + std::to_string(host)) / ("target" + std::to_string(host) + ":0:0") / hctl;
        fs::path sgDir = device / "scsi_generic" / ("sg" + std::to_string(sg));
        fs::create_directories(sgDir);
        if (!type.empty()) write(device / "type", type);
        if (!state.empty()) write(device / "state", state);
        bind(device, type == "5\n" ? "scsi/drivers/sr" : "scsi/drivers/sd");
        link(sgDir / "device", device);
        link(root_ / "class/scsi_generic" / sgDir.filename(), sgDir);
        return device;
    }

    void write(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }

    void link(const fs::path& at, const fs::path& target) {
        fs::create_directory_symlink(fs::relative(target, at.parent_path()), at);
    }

private:
    void bind(const fs::path& device, const std::string& driver) {
        fs::create_directories(device);
        if (!fs::exists(device / "driver")) link(device / "driver", root_ / "bus" / driver);
    }

    fs::path root_;
    fs::path xhci_;
};

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
