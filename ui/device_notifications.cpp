#include "ui/device_notifications.h"

namespace vxe {
namespace {
NotificationFactory& Factory() {
    static NotificationFactory factory;
    return factory;
}
}  // namespace

void InstallNotificationFactory(NotificationFactory factory) { Factory() = std::move(factory); }

std::unique_ptr<DeviceNotificationSource> MakeInstalledNotifications() {
    return Factory() ? Factory()() : nullptr;
}

}  // namespace vxe
