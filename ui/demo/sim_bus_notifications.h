// Notices from a simulated bus, for the demo and the tests.
#pragma once

#include <memory>

#include "sim/bus.h"
#include "ui/device_notifications.h"

namespace vxe {

// Every plug and unplug becomes a notice, delivered through the event loop as
// a real one would be.
std::unique_ptr<DeviceNotificationSource> MakeSimulatedBusNotifications(sim::Bus& bus);

}  // namespace vxe
