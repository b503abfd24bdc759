#include "app/device_lock.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>
#include <optional>

#include "app/state_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace vxe {
namespace {

namespace fs = std::filesystem;

uint64_t Fnv1a(std::string_view text) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char ch : text) {
        hash ^= ch;
        hash *= 1099511628211ull;
    }
    return hash;
}

// Every process must pick the same folder for the same device, so the order
// depends only on what the machine offers, never on who asks first. The state
// folder is only made when it is needed.
std::optional<fs::path> LockFolder(int choice) {
#ifdef _WIN32
    if (choice > 0) return std::nullopt;
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    return ec ? std::nullopt : std::optional<fs::path>(temp);
#else
    switch (choice) {
        case 0: return ::access("/run/lock", W_OK | X_OK) == 0 ? std::optional<fs::path>("/run/lock") : std::nullopt;
        case 1: return StateFolder();
        case 2: return fs::path("/tmp");
        default: return std::nullopt;
    }
#endif
}

constexpr int kLockFolderChoices = 3;

}  // namespace

std::string DeviceLock::FileNameFor(std::string_view identity) {
    std::string tail;
    for (auto it = identity.rbegin(); it != identity.rend() && tail.size() < 24; ++it) {
        const char ch = *it;
        const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                           ch == '-' || ch == '.';
        if (!plain) break;
        tail.insert(tail.begin(), ch);
    }
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(identity)));
    return "vxe-fwupdate-" + (tail.empty() ? std::string() : tail + "-") + hash + ".lock";
}

DeviceLock DeviceLock::TryAcquire(std::string_view identity) {
    DeviceLock lock;
    const std::string name = FileNameFor(identity);
    for (int choice = 0; choice < kLockFolderChoices; ++choice) {
        const std::optional<fs::path> folder = LockFolder(choice);
        if (!folder) continue;
        const fs::path file = *folder / name;
#ifdef _WIN32
        // No sharing: a second opener is refused until this handle closes,
        // which the system does when the process ends, however it ends.
        HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
                lock.outcome_ = Outcome::Busy;
                lock.file_ = file;
                return lock;
            }
            lock.problem_ = file.string() + ": cannot be opened (error " + std::to_string(error) + ")";
            continue;
        }
        lock.handle_ = handle;
#else
        // Readable by everyone, so that another user's run can lock it too;
        // never through a link planted under the name.
        int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && (errno == EACCES || errno == EPERM)) fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            lock.problem_ = file.string() + ": " + std::strerror(errno);
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) {
                lock.outcome_ = Outcome::Busy;
                lock.file_ = file;
                return lock;
            }
            lock.problem_ = file.string() + ": " + std::strerror(error);
            continue;
        }
        lock.fd_ = fd;
#endif
        lock.outcome_ = Outcome::Held;
        lock.file_ = file;
        lock.problem_.clear();
        return lock;
    }
    return lock;
}

DeviceLock::DeviceLock(DeviceLock&& other) noexcept { *this = std::move(other); }

DeviceLock& DeviceLock::operator=(DeviceLock&& other) noexcept {
    if (this == &other) return *this;
    release();
    outcome_ = std::exchange(other.outcome_, Outcome::Unavailable);
    file_ = std::move(other.file_);
    problem_ = std::move(other.problem_);
#ifdef _WIN32
    handle_ = std::exchange(other.handle_, nullptr);
#else
    fd_ = std::exchange(other.fd_, -1);
#endif
    return *this;
}

DeviceLock::~DeviceLock() { release(); }

void DeviceLock::release() {
    // The file stays: removing it could let a third process lock a fresh
    // file while a second still waits on the old one.
#ifdef _WIN32
    if (handle_ != nullptr) ::CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
#else
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
#endif
}

}  // namespace vxe
