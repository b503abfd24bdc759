#include "platform/sysfs_transfer_limit.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "sysfs_tree.h"

namespace vxe {
namespace {

namespace fs = std::filesystem;

class SgTransferLimitTest : public testing::Test {
protected:
    test::SysfsTree tree;

    fs::path usbDisk(int sg) {
        return tree.scsiDevice(tree.usbInterface("1-" + std::to_string(sg + 1), "usb-storage"), sg, sg, "0\n");
    }
    uint32_t limit(const std::string& path) { return SgTransferLimit(tree.root(), path); }
};

TEST_F(SgTransferLimitTest, TheQueuesHardwareBoundNotTheFileSystemBound) {
    // Root lowered max_sectors_kb; pass-through still goes up to the hardware bound.
    tree.blockDevice(usbDisk(2), "sdb", "120\n", "64\n");
    EXPECT_EQ(limit("/dev/sg2"), 120u * 1024);

    tree.blockDevice(usbDisk(3), "sdc", "1024\n", "1024\n");
    EXPECT_EQ(limit("/dev/sg3"), 1024u * 1024);
}

TEST_F(SgTransferLimitTest, WithoutABlockDeviceTheScsiDevicesOwnBound) {
    const fs::path device = usbDisk(4);
    tree.write(device / "max_sectors", "240\n");
    EXPECT_EQ(limit("/dev/sg4"), 240u * 512);

    // A readable queue wins over it.
    tree.blockDevice(device, "sdd", "1024\n", "");
    EXPECT_EQ(limit("/dev/sg4"), 1024u * 1024);
}

TEST_F(SgTransferLimitTest, NoLimitWhenNothingSoundCanBeRead) {
    usbDisk(1);
    EXPECT_EQ(limit("/dev/sg1"), kNoTransferLimit);  // neither queue nor max_sectors

    tree.blockDevice(usbDisk(5), "sde", "0\n", "");
    tree.write(tree.root() / "class/scsi_generic/sg5/device/max_sectors", "many\n");
    EXPECT_EQ(limit("/dev/sg5"), kNoTransferLimit);

    tree.blockDevice(usbDisk(6), "sdf", "-8\n", "");
    EXPECT_EQ(limit("/dev/sg6"), kNoTransferLimit);

    EXPECT_EQ(limit("/dev/sg9"), kNoTransferLimit);    // no such node
    EXPECT_EQ(limit("/dev/sdb"), kNoTransferLimit);    // not an sg node
    EXPECT_EQ(limit(""), kNoTransferLimit);
}

TEST_F(SgTransferLimitTest, HugeValuesSaturateInsteadOfWrapping) {
    tree.blockDevice(usbDisk(7), "sdg", "9000000000\n", "");
    EXPECT_EQ(limit("/dev/sg7"), kNoTransferLimit);
    tree.blockDevice(usbDisk(8), "sdh", "4194304\n", "");  // exactly 4 GiB
    EXPECT_EQ(limit("/dev/sg8"), kNoTransferLimit);
}

}  // namespace
}  // namespace vxe
