// One application object for the whole suite. The tests never need a display:
// without a platform chosen they run offscreen (also when CTest lists them).
#include "ui/application.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // YES keeps old headers in the state folder: a folder of the run's own.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    testing::InitGoogleTest(&argc, argv);
    vxe::FwUpdateApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
