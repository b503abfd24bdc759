// The seam between the utility and the operating system.
//
// Everything the product needs from the machine goes through one process-wide
// Platform: the SCSI pass-through request, the list of disk and CD-ROM device
// interfaces, sleeping, the resources built into the program, the modal
// message box and the debugger output. The Linux, Windows and simulated
// implementations live beside this file; tests install the simulated one so
// that nothing ever sleeps for real or touches a device.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vxe {

enum class DataDirection : uint8_t { In, Out };

// How the device is opened for one request: data-in commands share the
// device, data-out commands want it to themselves.
enum class OpenMode : uint8_t { Shared, Exclusive };

// One pass-through request as the transport fills it. The data buffer is used
// directly (no copy), so it must stay valid for the whole call.
struct PassThroughRequest {
    const char* path = nullptr;
    OpenMode openMode = OpenMode::Shared;
    DataDirection direction = DataDirection::In;
    const uint8_t* cdb = nullptr;
    uint8_t cdbLength = 0;
    uint8_t* dataBuffer = nullptr;
    uint32_t dataTransferLength = 0;
    uint32_t timeoutSeconds = 0;
};

// What came back. `opened` false means nothing was sent. The request counts
// as carried when the call succeeded and no error code was raised; the SCSI
// status byte is deliberately not part of this.
struct PassThroughResult {
    bool opened = false;
    bool callSucceeded = false;
    uint32_t errorCode = 0;
    uint32_t dataTransferLength = 0;  // as the platform left it after the call
};

enum class InterfaceClass : uint8_t { Disk, CdRom };

enum class MessageIcon : uint8_t { None, Error, Information, Warning };

// The answer of a platform that knows no bound on a single transfer.
inline constexpr uint32_t kNoTransferLimit = UINT32_MAX;

class Platform {
public:
    virtual ~Platform() = default;

    // Opens the device, sends one request, closes the device.
    virtual PassThroughResult passThrough(const PassThroughRequest& request) = 0;

    // Paths of the present device interfaces of one class that belong to the
    // USB storage driver, in the platform's enumeration order.
    virtual std::vector<std::string> enumerateInterfaces(InterfaceClass cls) = 0;

    // The most data bytes one request to this device can move; a longer one
    // is refused by the operating system before anything is sent. Commands
    // that can be cut at any byte (flash reads) are split to stay within it.
    virtual uint32_t maxTransferLength(const char* path) {
        (void)path;
        return kNoTransferLimit;
    }

    // What the device behind `path` is, as the machine knows it: a name that
    // stays the same while that device is attached and changes when the path
    // is given to another one. Empty when no device answers to the path.
    // A platform that cannot tell devices apart returns the path itself.
    // Where the machine tells the place a device is attached at from the
    // attachment itself, the identity is the place followed by
    // kIdentityInstanceMark and a number that changes on every attach.
    virtual std::string deviceIdentity(const char* path) { return path == nullptr ? std::string() : path; }

    // The caller now holds the device's lock: until it lets go, no other
    // procedure sends the device anything. A platform that keeps a copy of
    // what the device stores (the simulated bus's flash files) takes it
    // afresh here, since another process may have changed it meanwhile.
    // Empty, or why the device cannot be used.
    virtual std::string refreshDevice(const char* path) {
        (void)path;
        return {};
    }

    virtual void sleepMs(uint32_t milliseconds) = 0;

    // A resource built into the program; an empty span when there is none.
    virtual std::span<const uint8_t> findResource(std::string_view name, std::string_view type) = 0;

    // Modal; returns when the user has closed the box.
    virtual void messageBox(std::string_view text, std::string_view caption, MessageIcon icon) = 0;

    virtual void debugOutput(std::string_view text) = 0;
};

inline constexpr std::string_view kIdentityInstanceMark = "#attach=";

// The place part of an identity: a device attached again at the same place
// (or another device plugged there) has the same place, another identity.
inline std::string_view IdentityPlace(std::string_view identity) {
    const size_t mark = identity.rfind(kIdentityInstanceMark);
    return mark == std::string_view::npos ? identity : identity.substr(0, mark);
}

// The process-wide platform. Installing returns the previous one so that a
// scope can restore it.
Platform& CurrentPlatform();
Platform* InstallPlatform(Platform* platform);

// Installs a platform for the lifetime of the guard and restores the old one.
class ScopedPlatform {
public:
    explicit ScopedPlatform(Platform& platform) : previous_(InstallPlatform(&platform)) {}
    ~ScopedPlatform() { InstallPlatform(previous_); }
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

private:
    Platform* previous_;
};

}  // namespace vxe
