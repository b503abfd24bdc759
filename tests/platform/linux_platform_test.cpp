#include "platform/linux_platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <signal.h>

#include <array>
#include <cerrno>
#include <string>

#include "sysfs_tree.h"

namespace vxe {
namespace {

struct Request {
    std::array<uint8_t, 12> cdb{0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0, 0, 0};
    std::array<uint8_t, 36> data{};

    PassThroughRequest make(const char* path, OpenMode mode) {
        PassThroughRequest r;
        r.path = path;
        r.openMode = mode;
        r.direction = DataDirection::In;
        r.cdb = cdb.data();
        r.cdbLength = static_cast<uint8_t>(cdb.size());
        r.dataBuffer = data.data();
        r.dataTransferLength = static_cast<uint32_t>(data.size());
        r.timeoutSeconds = 20;
        return r;
    }
};

TEST(LinuxPassThrough, PathThatDoesNotExistIsNotOpened) {
    LinuxPlatform platform;
    Request req;
    for (OpenMode mode : {OpenMode::Shared, OpenMode::Exclusive}) {
        PassThroughResult r = platform.passThrough(req.make("/dev/vxe-no-such-device", mode));
        EXPECT_FALSE(r.opened);
        EXPECT_FALSE(r.callSucceeded);
        EXPECT_EQ(r.errorCode, static_cast<uint32_t>(ENOENT));
    }
    EXPECT_FALSE(platform.passThrough(req.make(nullptr, OpenMode::Shared)).opened);
}

TEST(LinuxPassThrough, NodeThatIsNoScsiDeviceFailsTheCall) {
    LinuxPlatform platform;
    Request req;
    PassThroughResult r = platform.passThrough(req.make("/dev/null", OpenMode::Shared));
    EXPECT_TRUE(r.opened);
    EXPECT_FALSE(r.callSucceeded);
    EXPECT_NE(r.errorCode, 0u);
}

// Signals are held back only while the command is under way: a mask left
// behind would keep Ctrl-C from the program for good.
TEST(LinuxPassThrough, LeavesTheSignalMaskAsItFoundIt) {
    LinuxPlatform platform;
    Request req;
    for (bool blockedBefore : {false, true}) {
        sigset_t usr1;
        sigemptyset(&usr1);
        sigaddset(&usr1, SIGUSR1);
        sigset_t before;
        pthread_sigmask(blockedBefore ? SIG_BLOCK : SIG_UNBLOCK, &usr1, &before);
        platform.passThrough(req.make("/dev/null", OpenMode::Shared));
        sigset_t after;
        pthread_sigmask(SIG_SETMASK, &before, &after);
        EXPECT_EQ(sigismember(&after, SIGUSR1) == 1, blockedBefore);
        EXPECT_EQ(sigismember(&after, SIGINT), 0);
        EXPECT_EQ(sigismember(&after, SIGTERM), 0);
    }
}

TEST(LinuxPassThrough, MalformedRequestIsNeverSent) {
    LinuxPlatform platform;
    Request req;
    PassThroughRequest noBuffer = req.make("/dev/null", OpenMode::Shared);
    noBuffer.dataBuffer = nullptr;
    PassThroughResult r = platform.passThrough(noBuffer);
    EXPECT_FALSE(r.opened);
    EXPECT_FALSE(r.callSucceeded);
    EXPECT_EQ(r.errorCode, static_cast<uint32_t>(EINVAL));
}

TEST(LinuxPlatformMessages, InstalledPresenterShowsTheBox) {
    LinuxPlatform platform;
    std::string shown;
    MessageIcon shownIcon = MessageIcon::None;
    platform.setMessagePresenter([&](std::string_view text, std::string_view caption, MessageIcon icon) {
        shown = std::string(caption) + "|" + std::string(text);
        shownIcon = icon;
    });
    platform.messageBox("Get chip information fail !", "Error", MessageIcon::Error);
    EXPECT_EQ(shown, "Error|Get chip information fail !");
    EXPECT_EQ(shownIcon, MessageIcon::Error);
}

TEST(LinuxPlatformMessages, WithoutPresenterTheTextReachesStderr) {
    LinuxPlatform platform;
    testing::internal::CaptureStderr();
    platform.messageBox("Open Firmware File Error!!", "Error", MessageIcon::None);
    platform.debugOutput("Update Btn Press\n");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Open Firmware File Error!!"), std::string::npos);
    EXPECT_NE(err.find("Update Btn Press\n"), std::string::npos);
}

}  // namespace
}  // namespace vxe

namespace vxe::test {
namespace {

// The identity of an sg node is where its class link puts it in the device
// tree: the same for every name of the node, another once the node is given
// to another device, none once it is gone.
TEST(LinuxDeviceIdentity, EveryNameOfANodeHasTheIdentityOfItsDevice) {
    SysfsTree tree;
    const fs::path first = tree.scsiDevice(tree.usbInterface("1-1", "usb-storage"), 3, 2, "0\n");
    LinuxPlatform platform(tree.root().string());
    const std::string identity = platform.deviceIdentity("/dev/sg2");
    EXPECT_EQ(fs::canonical(tree.root() / "class/scsi_generic" / std::string(IdentityPlace(identity))),
              fs::canonical(first / "scsi_generic/sg2"));
    EXPECT_EQ(platform.deviceIdentity("/dev/sg7"), "");

    // Another name of the node: here /dev/null stands for it, its device
    // number linked where the kernel links sg2's.
    struct stat null {};
    ASSERT_EQ(::stat("/dev/null", &null), 0);
    fs::create_directories(tree.root() / "dev/char");
    tree.link(tree.root() / "dev/char" / (std::to_string(major(null.st_rdev)) + ":" + std::to_string(minor(null.st_rdev))),
              first / "scsi_generic/sg2");
    const fs::path named = tree.root() / "named-sg";
    fs::create_symlink("/dev/null", named);
    EXPECT_EQ(platform.deviceIdentity("/dev/null"), identity);
    EXPECT_EQ(platform.deviceIdentity(named.c_str()), identity);
    // Only the kernel's plain name is read as a class link; anything else must be a node.
    EXPECT_EQ(platform.deviceIdentity("/dev/sg2/../sg2"), "");

    // Attached again at the same place (the same USB port): the place is the
    // same, the identity is not, so no write of the first attach reaches it.
    fs::remove(tree.root() / "class/scsi_generic/sg2");
    EXPECT_EQ(platform.deviceIdentity("/dev/sg2"), "");
    fs::rename(first / "scsi_generic/sg2", tree.root() / "gone-sg2");  // the kernel never reuses the number
    tree.scsiDevice(tree.usbInterface("1-1", "usb-storage"), 3, 2, "0\n");
    EXPECT_NE(platform.deviceIdentity("/dev/sg2"), identity);
    EXPECT_EQ(IdentityPlace(platform.deviceIdentity("/dev/sg2")), IdentityPlace(identity));
    fs::remove(tree.root() / "class/scsi_generic/sg2");
    tree.scsiDevice(tree.usbInterface("1-2", "usb-storage"), 4, 2, "0\n");
    EXPECT_NE(platform.deviceIdentity("/dev/sg2"), identity);
    EXPECT_NE(platform.deviceIdentity("/dev/sg2"), "");
    EXPECT_EQ(platform.deviceIdentity("/tmp/vxe-no-such-node"), "");
    EXPECT_EQ(platform.deviceIdentity(tree.root().c_str()), tree.root().string());  // no device node
}

}  // namespace
}  // namespace vxe::test
