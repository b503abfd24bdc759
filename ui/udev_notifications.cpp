#ifndef _WIN32
#include <QSocketNotifier>

#include "platform/udev_monitor.h"
#include "ui/device_notifications.h"

namespace vxe {
namespace {

// The kernel's notices on the GUI thread: the monitor's descriptor on a
// socket notifier, no thread of its own.
class UdevNotifications final : public DeviceNotificationSource {
public:
    explicit UdevNotifications(std::unique_ptr<UdevMonitor> monitor)
        : monitor_(std::move(monitor)), notifier_(monitor_->fd(), QSocketNotifier::Read, this) {
        connect(&notifier_, &QSocketNotifier::activated, this, [this] {
            for (uint32_t code : monitor_->drain()) emit deviceChange(code);
        });
    }

private:
    std::unique_ptr<UdevMonitor> monitor_;
    QSocketNotifier notifier_;
};

}  // namespace

std::unique_ptr<DeviceNotificationSource> MakeUdevNotifications() {
    std::unique_ptr<UdevMonitor> monitor = UdevMonitor::Open();
    if (!monitor) return nullptr;
    return std::make_unique<UdevNotifications>(std::move(monitor));
}

}  // namespace vxe
#endif
