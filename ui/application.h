// The program's start and end around the one window: the application
// object, its title, the window, the message loop, and the error box for
// anything that escapes.
#pragma once

#include <QApplication>

#include <string_view>

#include "platform/platform.h"

namespace vxe {

inline constexpr const char* kApplicationTitle = "Corvane VXE720 Firmware Update Utility";

// An exception that escapes an event handler is shown in an error box
// captioned with the application title, and the message loop goes on.
class FwUpdateApplication : public QApplication {
public:
    FwUpdateApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows an exception's message (empty for anything that is not a standard
// exception) the way the program's error box does.
void ShowErrorBox(std::string_view message);

// A modal box without an owner window: the platform's message box.
void ShowMessageBox(std::string_view text, std::string_view caption, MessageIcon icon);

// Creates the window, runs the message loop until it is closed and returns
// 0 in every case. The platform and the notification source must be
// installed before.
int RunMainWindow();

}  // namespace vxe
