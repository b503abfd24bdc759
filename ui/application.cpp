#include "ui/application.h"

#include <QMessageBox>

#include <exception>
#include <memory>

#include "ui/fwupdate.h"

namespace vxe {
namespace {

QString Text(std::string_view text) { return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

FwUpdateApplication::FwUpdateApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The title under which the system shows the running program.
    setApplicationName(QString::fromLatin1(kApplicationTitle));
}

bool FwUpdateApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowErrorBox(error.what());
    } catch (...) {
        ShowErrorBox({});
    }
    return false;
}

void ShowErrorBox(std::string_view message) {
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), Text(message), QMessageBox::Ok);
    box.exec();
}

void ShowMessageBox(std::string_view text, std::string_view caption, MessageIcon icon) {
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    if (icon == MessageIcon::Error) qtIcon = QMessageBox::Critical;
    if (icon == MessageIcon::Information) qtIcon = QMessageBox::Information;
    if (icon == MessageIcon::Warning) qtIcon = QMessageBox::Warning;
    QMessageBox box(qtIcon, Text(caption), Text(text), QMessageBox::Ok);
    box.exec();
}

int RunMainWindow() {
    int status = 0;
    try {
        std::unique_ptr<TR84xFwTool> window = std::make_unique<TR84xFwTool>();
        window->show();
        QApplication::exec();
        status = window->ExitStatus();  // 128 + a signal held back during an update
    } catch (const std::exception& error) {
        ShowErrorBox(error.what());
    } catch (...) {
        ShowErrorBox({});
    }
    return status;
}

}  // namespace vxe
