// The program: the application object, the window and the message loop.
#include <QApplication>

#include "ui/fwupdate.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // The name under which the system shows the running program.
    QApplication::setApplicationName(QStringLiteral("Corvane VXE720 Firmware Update Utility"));

    vxe::TR84xFwTool window;
    window.show();
    QApplication::exec();
    return 0;
}
