// One application object for the whole suite. The tests never need a display:
// without a platform chosen they run offscreen (also when CTest lists them).
#include "ui/application.h"

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
        qputenv("XDG_STATE_HOME", folder_->path().toLocal8Bit());
    }
    void OnTestEnd(const testing::TestInfo&) override { folder_.reset(); }

    std::unique_ptr<QTemporaryDir> folder_;
};

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new StateFolderPerTest);
    vxe::FwUpdateApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
