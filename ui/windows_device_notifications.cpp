#ifdef _WIN32
// Device notices on Windows: the window registers for USB device interface
// notices and takes WM_DEVICECHANGE itself.
#include <windows.h>
#include <dbt.h>

#include <cstring>

#include "ui/device_notifications.h"
#include "ui/fwupdate.h"

namespace vxe {
namespace {

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}
constexpr GUID kUsbDeviceInterface = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

static_assert(kDeviceArrival == DBT_DEVICEARRIVAL && kDeviceRemoveComplete == DBT_DEVICEREMOVECOMPLETE);

}  // namespace

// Registers the window; the handle Windows gives back is not kept and the
// registration lasts as long as the window.
void* RegisterUsbNotification(TR84xFwTool& window) {
    DEV_BROADCAST_DEVICEINTERFACE_A filter;
    std::memset(&filter, 0, sizeof filter);
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kUsbDeviceInterface;
    return RegisterDeviceNotificationA(reinterpret_cast<HANDLE>(window.winId()), &filter,
                                       DEVICE_NOTIFY_WINDOW_HANDLE);
}

bool TR84xFwTool::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    const MSG* msg = static_cast<const MSG*>(message);
    if (eventType == "windows_generic_MSG" && msg->message == WM_DEVICECHANGE) {
        WMDeviceChange(static_cast<uint32_t>(msg->wParam));
        *result = TRUE;
        return true;  // handled here and nowhere else
    }
    return QWidget::nativeEvent(eventType, message, result);
}

}  // namespace vxe
#endif
