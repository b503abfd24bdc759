// The window as the procedures' status and progress sink.
#include <QCoreApplication>
#include <QEvent>
#include <QProgressBar>

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "ui/fwupdate.h"

namespace vxe {
namespace {

class WindowStatus : public ::testing::Test {
protected:
    TR84xFwTool window{nullptr, TR84xFwTool::AsCreated};
    StatusSink& sink = window;
};

TEST_F(WindowStatus, HiddenStatusFieldCarriesTheRunningTextByteForByte) {
    ASSERT_TRUE(window.StatusEdit->isHidden());
    const std::string text = "Compare Fail!!\r\n\r\n\xB5\x01 end";
    sink.setStatusText(text);
    EXPECT_EQ(window.StatusEdit->text(), QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    sink.appendStatusText(".");
    EXPECT_EQ(sink.statusText(), text + ".");
}

TEST_F(WindowStatus, ProgressMovesOnlyWhileTheBarIsShownAndStopsAt100) {
    ASSERT_TRUE(window.FwUpdatBar->isHidden());
    window.FwUpdatBar->setValue(30);
    sink.advanceProgress(10);
    EXPECT_EQ(window.FwUpdatBar->value(), 30);

    // The bar's own flag counts, not whether the window is on screen.
    window.FwUpdatBar->show();
    ASSERT_FALSE(window.isVisible());
    window.FwUpdatBar->setValue(0);
    sink.advanceProgress(20);
    EXPECT_EQ(window.FwUpdatBar->value(), 20);
    window.FwUpdatBar->setValue(90);
    sink.advanceProgress(20);
    EXPECT_EQ(window.FwUpdatBar->value(), 100);
    sink.advanceProgress(INT_MAX);
    EXPECT_EQ(window.FwUpdatBar->value(), 100);
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST_F(WindowStatus, ProgressRepaintsTheBarWithoutWaitingForTheMessageLoop) {
    window.FwUpdatBar->show();
    window.show();
    QCoreApplication::processEvents();
    PaintCounter counter;
    window.FwUpdatBar->installEventFilter(&counter);
    sink.advanceProgress(50);
    EXPECT_EQ(window.FwUpdatBar->value(), 50);
    EXPECT_GE(counter.paints, 1);
}

TEST_F(WindowStatus, ProcessingMessagesRunsWhatIsPending) {
    bool ran = false;
    QMetaObject::invokeMethod(&window, [&ran] { ran = true; }, Qt::QueuedConnection);
    EXPECT_FALSE(ran);
    sink.processMessages();
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace vxe
