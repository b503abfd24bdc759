// The status field and progress bar of the window, drawn on one terminal
// line: "[##########..........]  50%  status text". Off a terminal it only
// keeps the text, for the result printed at the end.
#pragma once

#include <ostream>
#include <string>

#include "flash/status_sink.h"

namespace vxe::cli {

class TerminalStatusSink final : public StatusSink {
public:
    // `draw`: `out` is a terminal. `barVisible`: the bar counts progress (YES
    // shows it; the engineering Run leaves it hidden and shows only the text).
    TerminalStatusSink(std::ostream& out, bool draw, bool barVisible);
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
    bool drawn_ = false;
    int position_ = 0;
    std::string text_;
};

}  // namespace vxe::cli
