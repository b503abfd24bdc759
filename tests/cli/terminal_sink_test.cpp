#include "cli/terminal_sink.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vxe::test {
namespace {

// A console without escape sequences (an older Windows console) gets the
// line drawn over itself: a shorter text must blank what the longer one left.
TEST(TerminalStatusSink, WithoutEscapesBlanksWhatALongerLineLeft) {
    std::ostringstream out;
    {
        cli::TerminalStatusSink sink(out, true, false, false);
        sink.setStatusText("Erasing flash....");
        sink.setStatusText("Done");
    }
    EXPECT_EQ(out.str(), "\rErasing flash....\rDone             \n");

    std::ostringstream vt;
    {
        cli::TerminalStatusSink sink(vt, true, true, true);
        sink.advanceProgress(50);
    }
    EXPECT_EQ(vt.str(), "\r\x1b[K[###############...............]  50%  \n");
}

}  // namespace
}  // namespace vxe::test
