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
    Platform& platform = CurrentPlatform();
    std::string identity = platform.deviceIdentity(device);
    if (identity.empty() && device != nullptr) identity = device;
    DeviceLock lock = DeviceLock::TryAcquire(identity);
    if (!lock.held()) return lock;
    if (std::string problem = platform.refreshDevice(device); !problem.empty()) lock.refuse(std::move(problem));
    return lock;
}

std::string LockRefusal(const DeviceLock& lock, std::string_view device, std::string_view sent) {
    if (lock.outcome() == DeviceLock::Outcome::Busy) {
        return "another procedure is working on " + std::string(device) + " (lock " + lock.name() + "); " +
               std::string(sent);
    }
    return "cannot use " + std::string(device) + ": " + lock.problem() + "; " + std::string(sent);
}

}  // namespace vxe
