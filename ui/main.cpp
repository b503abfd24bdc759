// The utility: the window over the machine's own USB storage devices.
// Only --help and --version are answered; other arguments are left to Qt.
#include <QCommandLineParser>
#include <QCoreApplication>

#include "ui/application.h"
#include "ui/device_notifications.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/windows_platform.h"
#else
#include "platform/linux_platform.h"
#endif

namespace {

#ifdef _WIN32
// A Windows GUI program has an output only when whoever started it passed
// one (a pipe, a file); without one Qt answers in a message box.
bool HasOutput() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    return output != nullptr && output != INVALID_HANDLE_VALUE && GetFileType(output) != FILE_TYPE_UNKNOWN;
}

[[noreturn]] void Answer(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
    std::exit(0);
}
#endif

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
#ifdef _WIN32
    if (HasOutput() && parser.isSet(help)) Answer(parser.helpText());
    if (HasOutput() && parser.isSet(version)) {
        Answer(QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion() +
               QLatin1Char('\n'));
    }
#endif
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
