#include "platform/linux_platform.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <string>

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
