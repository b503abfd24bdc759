// The utility: the window over the machine's own USB storage devices.
// Only --help and --version are answered; other arguments are left to Qt.
#include <QCommandLineParser>
#include <QCoreApplication>

#include "ui/application.h"
#include "ui/device_notifications.h"

#ifdef _WIN32
#include "platform/windows_platform.h"
#else
#include "platform/linux_platform.h"
#endif

namespace {

// Answers --help and --version and ends the program, before any window
// system is touched (so both work without a display).
void AnswerInformationOptions(int& argc, char** argv) {
    QCoreApplication probe(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vxe-fwupdate"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VXE_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Updates the firmware of Corvane VXE720-family USB-to-SATA bridges in USB storage enclosures.\n"
                       "The window lists every enclosure that needs the update; YES programs and verifies it."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    // Qt's own options (-platform, -style, ...) are not known here and pass.
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(help)) parser.showHelp(0);
    if (parser.isSet(version)) parser.showVersion();
}

}  // namespace

int main(int argc, char* argv[]) {
    AnswerInformationOptions(argc, argv);
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
