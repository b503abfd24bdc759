// The status field and progress bar of the window, drawn on one terminal
// line: "[##########..........]  50%  status text". Off a terminal it only
// keeps the text, for the result printed at the end. A console that takes no
// escape sequences (an older Windows console) gets the line redrawn over
// itself with blanks instead.
#pragma once

#include <ostream>
#include <string>

#include "flash/status_sink.h"

namespace vxe::cli {

// Whether the program's standard output takes escape sequences; on Windows
// it turns the console's virtual terminal processing on where it can.
bool ConsoleTakesEscapes();

class TerminalStatusSink final : public StatusSink {
public:
    // `draw`: `out` is a terminal. `barVisible`: the bar counts progress (YES
    // shows it; the engineering Run leaves it hidden and shows only the text).
    TerminalStatusSink(std::ostream& out, bool draw, bool barVisible);
    // `escapes`: the terminal takes "\x1b[K" (erase to the end of the line).
    TerminalStatusSink(std::ostream& out, bool draw, bool barVisible, bool escapes);
    ~TerminalStatusSink() override { finish(); }
    TerminalStatusSink(const TerminalStatusSink&) = delete;
    TerminalStatusSink& operator=(const TerminalStatusSink&) = delete;

    std::string statusText() const override { return text_; }
    void setStatusText(std::string_view text) override;
    void advanceProgress(int step) override;
    void processMessages() override {}
    void repaintStatus() override { redraw(); }

    int position() const { return position_; }

    // Ends the drawn line, so that what follows starts on a line of its own.
    void finish();

private:
    void redraw();

    std::ostream& out_;
    bool draw_;
    bool barVisible_;
    bool escapes_;
    bool drawn_ = false;
    size_t drawnWidth_ = 0;
    int position_ = 0;
    std::string text_;
};

}  // namespace vxe::cli
