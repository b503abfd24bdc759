// One application object for the whole suite. The tests never need a display:
// without a platform chosen they run offscreen, on Windows (whose Qt build
// has no offscreen platform) on the minimal one (also when CTest lists them).
#include "ui/application.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
#ifdef _WIN32
    // With the system's fonts, so that text is measured as the window
    // measures it. (wine keeps the host's QT_ variables from a program.)
#ifndef VXE_TEST_PLATFORM
#define VXE_TEST_PLATFORM "minimal:enable_fonts"
#endif
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", VXE_TEST_PLATFORM);
#else
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    // YES keeps old headers in the state folder: a folder of the run's own.
    QTemporaryDir state;
#ifdef _WIN32
    qputenv("LOCALAPPDATA", QDir::toNativeSeparators(state.path()).toLocal8Bit());
#else
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
#endif
    testing::InitGoogleTest(&argc, argv);
    vxe::FwUpdateApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
