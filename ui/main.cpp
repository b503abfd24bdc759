// The utility: the window over the machine's own USB storage devices.
// Command-line arguments are ignored.
#include "ui/application.h"
#include "ui/device_notifications.h"

#ifdef _WIN32
#include "platform/windows_platform.h"
#else
#include "platform/linux_platform.h"
#endif

int main(int argc, char* argv[]) {
    vxe::FwUpdateApplication application(argc, argv);
#ifdef _WIN32
    vxe::WindowsPlatform platform;
#else
    vxe::LinuxPlatform platform;
    platform.setMessagePresenter(vxe::ShowMessageBox);
    vxe::InstallNotificationFactory(vxe::MakeUdevNotifications);
#endif
    vxe::ScopedPlatform installed(platform);
    return vxe::RunMainWindow();
}
