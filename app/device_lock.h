// One procedure per device, across processes and users: an exclusive lock on
// a file named after the device's identity. The lock goes with the process
// (the descriptor is closed when it dies), so a killed run leaves no stale
// lock behind. The file lives in /run/lock when that can be written, else in
// the state folder, else in the temporary folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vxe {

class DeviceLock {
public:
    enum class Outcome { Held, Busy, Unavailable };

    // Tries once, without waiting. `Busy`: another procedure holds the device.
    // `Unavailable`: no lock file could be made (the reason is in `problem`).
    static DeviceLock TryAcquire(std::string_view identity);

    DeviceLock() = default;  // holds nothing

    DeviceLock(DeviceLock&& other) noexcept;
    DeviceLock& operator=(DeviceLock&& other) noexcept;
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;
    ~DeviceLock();

    Outcome outcome() const { return outcome_; }
    bool held() const { return outcome_ == Outcome::Held; }
    const std::filesystem::path& file() const { return file_; }
    const std::string& problem() const { return problem_; }

    // The lock file's name for an identity: readable tail plus a hash, so
    // that any identity gives a short, safe file name.
    static std::string FileNameFor(std::string_view identity);

private:
    void release();

    Outcome outcome_ = Outcome::Unavailable;
    std::filesystem::path file_;
    std::string problem_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

}  // namespace vxe
