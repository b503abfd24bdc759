#include "platform/linux_platform.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "platform/embedded_resources.h"
#include "platform/sg_io_request.h"
#include "platform/sysfs_enumeration.h"
#include "platform/sysfs_transfer_limit.h"

namespace vxe {
namespace {

// Closes the descriptor when the request is done, on every path.
class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

const char* IconName(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Error: return "error";
    case MessageIcon::Information: return "information";
    case MessageIcon::Warning: return "warning";
    case MessageIcon::None: break;
    }
    return nullptr;
}

}  // namespace

LinuxPlatform::LinuxPlatform(std::string sysfsRoot) : sysfsRoot_(std::move(sysfsRoot)) {}

PassThroughResult LinuxPlatform::passThrough(const PassThroughRequest& request) {
    PassThroughResult result;
    if (request.path == nullptr) {
        result.errorCode = ENOENT;
        return result;
    }
    if (int invalid = CheckPassThroughRequest(request); invalid != 0) {
        result.errorCode = static_cast<uint32_t>(invalid);
        return result;
    }

    // O_NONBLOCK makes the sg driver refuse at once (EBUSY) when another
    // holder's exclusivity conflicts, instead of waiting for it to let go.
    int flags = O_RDWR | O_NONBLOCK | O_CLOEXEC;
    if (request.openMode == OpenMode::Exclusive) {
        flags |= O_EXCL;
    }
    UniqueFd fd(::open(request.path, flags));
    if (!fd.valid()) {
        result.errorCode = static_cast<uint32_t>(errno);
        return result;
    }
    result.opened = true;

    std::array<uint8_t, kSgSenseBufferSize> sense{};
    sg_io_hdr_t header = BuildSgIoHeader(request, sense);
    // A signal caught while the command is under way ends the driver's wait
    // and the kernel then restarts SG_IO, which sends the same command a
    // second time (or, without SA_RESTART, calls it failed although it went
    // out). Held back for the call, signals are delivered once it returns.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &previous);
    const int rc = ::ioctl(fd.get(), SG_IO, &header);
    const int ioctlErrno = rc != 0 ? errno : 0;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);

    const SgIoOutcome outcome = JudgeSgIoHeader(rc, ioctlErrno, header);
    result.callSucceeded = outcome.succeeded;
    result.errorCode = outcome.errorCode;
    result.dataTransferLength = outcome.transferred;
    return result;
}

std::vector<std::string> LinuxPlatform::enumerateInterfaces(InterfaceClass cls) {
    return EnumerateUsbStorageSgNodes(sysfsRoot_, cls);
}

uint32_t LinuxPlatform::maxTransferLength(const char* path) {
    return path == nullptr ? kNoTransferLimit : SgTransferLimit(sysfsRoot_, path);
}

std::string LinuxPlatform::deviceIdentity(const char* path) {
    if (path == nullptr) return {};
    const std::string_view node(path);
    constexpr std::string_view kSgPrefix = "/dev/sg";
    const std::string_view number = node.substr(std::min(node.size(), kSgPrefix.size()));
    std::string link;
    if (node.starts_with(kSgPrefix) && !number.empty() &&
        number.find_first_not_of("0123456789") == std::string_view::npos) {
        // The kernel's own name: its class link is enough (this runs before
        // every write of a procedure).
        link = sysfsRoot_ + "/class/scsi_generic/sg" + std::string(number);
    } else {
        // A link to the node, or a node made elsewhere: what counts is the
        // device number, which sysfs links to the same place.
        struct stat status {};
        if (::stat(path, &status) != 0) return {};
        if (!S_ISCHR(status.st_mode)) return std::string(node);
        link = sysfsRoot_ + "/dev/char/" + std::to_string(major(status.st_rdev)) + ":" +
               std::to_string(minor(status.st_rdev));
    }
    std::array<char, 4096> target{};
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<size_t>(length) >= target.size()) return {};
    // The link names the place (the USB port the enclosure is in), which the
    // next enclosure plugged there takes over unchanged; the device's own
    // sysfs folder is made afresh for every attach, with a number of its own.
    struct stat folder {};
    if (::stat(link.c_str(), &folder) != 0) return {};
    return std::string(target.data(), static_cast<size_t>(length)) + std::string(kIdentityInstanceMark) +
           std::to_string(folder.st_ino);
}

void LinuxPlatform::sleepMs(uint32_t milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    // A signal must not cut a flash wait short.
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

std::span<const uint8_t> LinuxPlatform::findResource(std::string_view name, std::string_view type) {
    return FindBuiltInResource(name, type);
}

void LinuxPlatform::messageBox(std::string_view text, std::string_view caption, MessageIcon icon) {
    if (presenter_) {
        presenter_(text, caption, icon);
        return;
    }
    const char* iconName = IconName(icon);
    std::fprintf(stderr, "[%.*s%s%s] %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 iconName != nullptr ? ", " : "", iconName != nullptr ? iconName : "", static_cast<int>(text.size()),
                 text.data());
}

void LinuxPlatform::debugOutput(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace vxe
