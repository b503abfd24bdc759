#include "app/device_lock.h"

#include "platform/platform.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstddef>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace vxe {
namespace {

uint64_t Fnv1a(std::string_view text) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char ch : text) {
        hash ^= ch;
        hash *= 1099511628211ull;
    }
    return hash;
}

#ifdef _WIN32
constexpr const char* kNamePrefix = "Global\\vxe-fwupdate-";
#else
// Shown with the '@' that `ss` and `lsof` put for the leading NUL byte of an
// abstract name.
constexpr const char* kNamePrefix = "vxe-fwupdate/";
#endif

}  // namespace

std::string DeviceLock::NameFor(std::string_view identity) {
    // Readable by the place ("sg2"), unique by the whole identity.
    const std::string_view place = IdentityPlace(identity);
    std::string tail;
    for (auto it = place.rbegin(); it != place.rend() && tail.size() < 24; ++it) {
        const char ch = *it;
        const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                           ch == '-' || ch == '.';
        if (!plain) break;
        tail.insert(tail.begin(), ch);
    }
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(identity)));
    return kNamePrefix + (tail.empty() ? std::string() : tail + "-") + hash;
}

DeviceLock DeviceLock::TryAcquire(std::string_view identity) {
    DeviceLock lock;
    const std::string name = NameFor(identity);
#ifdef _WIN32
    lock.name_ = name;
    const std::wstring wide(name.begin(), name.end());  // plain ASCII by construction
    // The name exists while a holder keeps its handle: finding it already
    // there means another procedure holds the device. A name taken by an
    // object of another kind, or one this user may not open, is held too.
    ::SetLastError(ERROR_SUCCESS);
    HANDLE handle = ::CreateMutexW(nullptr, FALSE, wide.c_str());
    const DWORD error = ::GetLastError();
    if (handle != nullptr && error == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(handle);
        lock.outcome_ = Outcome::Busy;
        return lock;
    }
    if (handle == nullptr) {
        if (error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE) {
            lock.outcome_ = Outcome::Busy;
        } else {
            lock.problem_ = "the lock " + name + " cannot be made (error " + std::to_string(error) + ")";
        }
        return lock;
    }
    lock.handle_ = handle;
#else
    lock.name_ = "@" + name;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    static_assert(sizeof address.sun_path > 1 + 13 + 24 + 1 + 16);
    std::memcpy(address.sun_path + 1, name.data(), name.size());  // sun_path[0] stays NUL: abstract
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        lock.problem_ = "the lock " + lock.name_ + " cannot be made: " + std::strerror(errno);
        return lock;
    }
    // Bound and never listening: nobody can connect, only the name counts.
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EADDRINUSE) lock.outcome_ = Outcome::Busy;
        else lock.problem_ = "the lock " + lock.name_ + " cannot be taken: " + std::strerror(error);
        return lock;
    }
    lock.fd_ = fd;
#endif
    lock.outcome_ = Outcome::Held;
    return lock;
}

DeviceLock::DeviceLock(DeviceLock&& other) noexcept { *this = std::move(other); }

DeviceLock& DeviceLock::operator=(DeviceLock&& other) noexcept {
    if (this == &other) return *this;
    release();
    outcome_ = std::exchange(other.outcome_, Outcome::Unavailable);
    name_ = std::move(other.name_);
    problem_ = std::move(other.problem_);
#ifdef _WIN32
    handle_ = std::exchange(other.handle_, nullptr);
#else
    fd_ = std::exchange(other.fd_, -1);
#endif
    return *this;
}

DeviceLock::~DeviceLock() { release(); }

void DeviceLock::refuse(std::string problem) {
    release();
    outcome_ = Outcome::Unavailable;
    problem_ = std::move(problem);
}

void DeviceLock::release() {
#ifdef _WIN32
    if (handle_ != nullptr) ::CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
#else
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
#endif
}

}  // namespace vxe
