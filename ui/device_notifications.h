// Where the window learns that a device arrived or went away. Each source
// turns its platform's notices into the two event codes the window acts on.
#pragma once

#include <QObject>

#include <cstdint>
#include <memory>

#include "platform/device_change.h"

namespace vxe {

class DeviceNotificationSource : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    // Raised on the GUI thread, one per notice; several notices may follow
    // one plug-in.
    void deviceChange(uint32_t eventCode);
};

#ifndef _WIN32
// Follows the kernel's device events for USB devices, SCSI generic nodes and
// disks through libudev, on the GUI thread. Listens to udevd's processed
// events when udevd runs, to the kernel's own otherwise. Null when no
// monitor can be set up.
std::unique_ptr<DeviceNotificationSource> MakeUdevNotifications();
#endif

}  // namespace vxe

#include <functional>

namespace vxe {

// The source the window starts in its create event. The program installs the
// one that suits its platform (the kernel's events, or a simulated bus);
// without one the window does not follow devices.
using NotificationFactory = std::function<std::unique_ptr<DeviceNotificationSource>()>;
void InstallNotificationFactory(NotificationFactory factory);
std::unique_ptr<DeviceNotificationSource> MakeInstalledNotifications();

}  // namespace vxe
