#include "cli/terminal_sink.h"

#include "cli/output.h"

namespace vxe::cli {
namespace {

constexpr int kBarWidth = 30;
constexpr size_t kTextWidth = 40;  // what is left of an 80-column line

}  // namespace

TerminalStatusSink::TerminalStatusSink(std::ostream& out, bool draw, bool barVisible)
    : out_(out), draw_(draw), barVisible_(barVisible) {}

void TerminalStatusSink::setStatusText(std::string_view text) {
    text_ = std::string(text);
    redraw();
}

void TerminalStatusSink::advanceProgress(int step) {
    if (!barVisible_) return;
    position_ = position_ + step > 100 ? 100 : position_ + step;
    redraw();
}

void TerminalStatusSink::finish() {
    if (!drawn_) return;
    out_ << '\n' << std::flush;
    drawn_ = false;
}

// The running text of a programming loop grows by a dot per page, so its end
// is what matters.
void TerminalStatusSink::redraw() {
    if (!draw_) return;
    std::string text = Printable(text_);
    if (text.size() > kTextWidth) text = "..." + text.substr(text.size() - (kTextWidth - 3));
    out_ << "\r\x1b[K";
    if (barVisible_) {
        const int filled = position_ * kBarWidth / 100;
        const std::string percent = std::to_string(position_);
        out_ << '[' << std::string(filled, '#') << std::string(kBarWidth - filled, '.') << "] "
             << std::string(3 - percent.size(), ' ') << percent << "%  ";
    }
    out_ << text << std::flush;
    drawn_ = true;
}

}  // namespace vxe::cli
