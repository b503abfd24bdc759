// The kernel's device events for USB devices, SCSI generic nodes and disks,
// through libudev, as the two notice codes the window acts on. It listens to
// udevd's processed events when udevd runs and to the kernel's own events
// otherwise. Non-blocking: the owner polls its descriptor.
#pragma once
#ifndef _WIN32

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/device_change.h"

struct udev;
struct udev_monitor;

namespace vxe {

class UdevMonitor {
public:
    // Null when no monitor can be set up.
    static std::unique_ptr<UdevMonitor> Open();
    ~UdevMonitor();
    UdevMonitor(const UdevMonitor&) = delete;
    UdevMonitor& operator=(const UdevMonitor&) = delete;

    int fd() const;
    // The notices waiting now, in order; empty when there are none.
    std::vector<uint32_t> drain();

private:
    UdevMonitor(udev* context, udev_monitor* monitor) : context_(context), monitor_(monitor) {}
    udev* context_;
    udev_monitor* monitor_;
};

}  // namespace vxe

#endif
