#ifndef _WIN32
#include <libudev.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cstring>

#include "ui/device_notifications.h"

namespace vxe {
namespace {

// USB devices come first on a plug-in, but the nodes the product talks
// through (sg and the disk) appear only later, so those are followed too.
constexpr const char* kSubsystems[] = {"usb", "scsi_generic", "block"};

class UdevNotifications final : public DeviceNotificationSource {
public:
    UdevNotifications(udev* context, udev_monitor* monitor)
        : context_(context), monitor_(monitor),
          notifier_(udev_monitor_get_fd(monitor), QSocketNotifier::Read, this) {
        connect(&notifier_, &QSocketNotifier::activated, this, [this] { drain(); });
    }
    ~UdevNotifications() override {
        udev_monitor_unref(monitor_);
        udev_unref(context_);
    }

private:
    void drain() {
        while (udev_device* device = udev_monitor_receive_device(monitor_)) {
            const char* action = udev_device_get_action(device);
            uint32_t code = 0;
            if (action != nullptr && std::strcmp(action, "add") == 0) code = DBT_DEVICEARRIVAL;
            if (action != nullptr && std::strcmp(action, "remove") == 0) code = DBT_DEVICEREMOVECOMPLETE;
            udev_device_unref(device);
            if (code != 0) emit deviceChange(code);
        }
    }

    udev* context_;
    udev_monitor* monitor_;
    QSocketNotifier notifier_;
};

}  // namespace

std::unique_ptr<DeviceNotificationSource> MakeUdevNotifications() {
    udev* context = udev_new();
    if (context == nullptr) return nullptr;
    // udevd announces itself through its control socket; without it only the
    // kernel's own events exist.
    const char* origin = access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, origin);
    if (monitor == nullptr) {
        udev_unref(context);
        return nullptr;
    }
    for (const char* subsystem : kSubsystems) {
        udev_monitor_filter_add_match_subsystem_devtype(monitor, subsystem, nullptr);
    }
    if (udev_monitor_enable_receiving(monitor) < 0) {
        udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::make_unique<UdevNotifications>(context, monitor);
}

}  // namespace vxe
#endif
