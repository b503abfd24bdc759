#include <QMetaObject>
#include <QPointer>

#include "ui/demo/sim_bus_notifications.h"

namespace vxe {

std::unique_ptr<DeviceNotificationSource> MakeSimulatedBusNotifications(sim::Bus& bus) {
    auto source = std::make_unique<DeviceNotificationSource>();
    QPointer<DeviceNotificationSource> target(source.get());
    bus.addListener([target](const sim::BusEvent& event) {
        if (!target) return;
        const uint32_t code =
            event.kind == sim::BusEventKind::Arrival ? kDeviceArrival : kDeviceRemoveComplete;
        // Queued, so a notice never runs inside whatever plugged the device.
        QMetaObject::invokeMethod(
            target.data(), [target, code] { if (target) emit target->deviceChange(code); }, Qt::QueuedConnection);
    });
    return source;
}

}  // namespace vxe
