// One procedure per device, across threads, processes and users: a kernel
// object named after the device's identity, which exists exactly as long as
// a procedure holds it.
//
// On Linux it is a unix socket bound in the abstract namespace
// ("@vxe-fwupdate/..."): nothing on the file system, so no file can be
// planted in its place, removed under it or made unreadable by a umask, and
// every user and state folder meets the same name. The kernel drops the name
// when the socket closes, whatever ends the process. On Windows it is a
// mutex in the global namespace ("Global\vxe-fwupdate-..."), which every
// session sees and which goes with the last handle.
#pragma once

#include <string>
#include <string_view>

namespace vxe {

class DeviceLock {
public:
    enum class Outcome { Held, Busy, Unavailable };

    // Tries once, without waiting. `Busy`: another procedure holds the device
    // (or something else holds its name). `Unavailable`: the lock could not
    // be taken for another reason, given in `problem`.
    static DeviceLock TryAcquire(std::string_view identity);

    DeviceLock() = default;  // holds nothing

    DeviceLock(DeviceLock&& other) noexcept;
    DeviceLock& operator=(DeviceLock&& other) noexcept;
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;
    ~DeviceLock();

    Outcome outcome() const { return outcome_; }
    bool held() const { return outcome_ == Outcome::Held; }
    // The lock's name as the system shows it ("@vxe-fwupdate/sg2-..." in
    // `ss -xl`, "Global\vxe-fwupdate-..." on Windows).
    const std::string& name() const { return name_; }
    const std::string& problem() const { return problem_; }

    // Gives the lock up before its end, as being `Unavailable` for `problem`.
    void refuse(std::string problem);

    // The lock's name for an identity: a readable tail and a hash, so that
    // any identity gives a short name of plain characters.
    static std::string NameFor(std::string_view identity);

private:
    void release();

    Outcome outcome_ = Outcome::Unavailable;
    std::string name_;
    std::string problem_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

}  // namespace vxe
