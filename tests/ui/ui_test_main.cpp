// One application object for the whole suite. The tests never need a display:
// without a platform chosen they run offscreen, on Windows (whose Qt build
// has no offscreen platform) on the minimal one (also when CTest lists them).
#include "ui/application.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

// YES keeps the old flash in the state folder, and a cut-off update's kept
// file is found there by the next: each test gets a folder of its own, as
// each user has, so that no test meets another's.
class StateFolderPerTest : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override {
        folder_ = std::make_unique<QTemporaryDir>();
#ifdef _WIN32
        qputenv("LOCALAPPDATA", QDir::toNativeSeparators(folder_->path()).toLocal8Bit());
#else
        qputenv("XDG_STATE_HOME", folder_->path().toLocal8Bit());
#endif
    }
    void OnTestEnd(const testing::TestInfo&) override { folder_.reset(); }

    std::unique_ptr<QTemporaryDir> folder_;
};

}  // namespace

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
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new StateFolderPerTest);
    vxe::FwUpdateApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
