#include "app/write_guard.h"

#include "platform/platform.h"

namespace vxe {

std::string DeviceChangedNote(std::string_view device) {
    return std::string(device) + " now belongs to another device; the update stopped there";
}

std::string DeviceChangedBeforeNote(std::string_view device) {
    return std::string(device) + " names another device than the one the device pass found; nothing was sent to it";
}

DeviceLock LockDevice(const char* device) {
    std::string identity = CurrentPlatform().deviceIdentity(device);
    if (identity.empty() && device != nullptr) identity = device;
    return DeviceLock::TryAcquire(identity);
}

std::string LockRefusal(const DeviceLock& lock, std::string_view device) {
    if (lock.outcome() == DeviceLock::Outcome::Busy) {
        return "another procedure is working on " + std::string(device) + " (lock " + lock.file().string() +
               "); nothing was sent";
    }
    return "cannot lock " + std::string(device) + " (" + lock.problem() + "); nothing was sent";
}

}  // namespace vxe
