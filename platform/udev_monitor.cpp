#ifndef _WIN32
#include "platform/udev_monitor.h"

#include <libudev.h>
#include <unistd.h>

#include <cstring>

namespace vxe {
namespace {

// USB devices come first on a plug-in, but the nodes the product talks
// through (sg and the disk) appear only later, so those are followed too.
constexpr const char* kSubsystems[] = {"usb", "scsi_generic", "block"};

}  // namespace

std::unique_ptr<UdevMonitor> UdevMonitor::Open() {
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
    for (const char* subsystem : kSubsystems) udev_monitor_filter_add_match_subsystem_devtype(monitor, subsystem, nullptr);
    if (udev_monitor_enable_receiving(monitor) < 0) {
        udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::unique_ptr<UdevMonitor>(new UdevMonitor(context, monitor));
}

UdevMonitor::~UdevMonitor() {
    udev_monitor_unref(monitor_);
    udev_unref(context_);
}

int UdevMonitor::fd() const { return udev_monitor_get_fd(monitor_); }

std::vector<uint32_t> UdevMonitor::drain() {
    std::vector<uint32_t> notices;
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(device);
        if (action != nullptr && std::strcmp(action, "add") == 0) notices.push_back(kDeviceArrival);
        if (action != nullptr && std::strcmp(action, "remove") == 0) notices.push_back(kDeviceRemoveComplete);
        udev_device_unref(device);
    }
    return notices;
}

}  // namespace vxe
#endif
