#include "cli/terminal_sink.h"

#include "cli/output.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace vxe::cli {
namespace {

constexpr int kBarWidth = 30;
constexpr size_t kTextWidth = 40;  // what is left of an 80-column line

}  // namespace

bool ConsoleTakesEscapes() {
#ifdef _WIN32
    HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode)) return false;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
    return SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    return true;
#endif
}

TerminalStatusSink::TerminalStatusSink(std::ostream& out, bool draw, bool barVisible)
    : TerminalStatusSink(out, draw, barVisible, draw && ConsoleTakesEscapes()) {}

TerminalStatusSink::TerminalStatusSink(std::ostream& out, bool draw, bool barVisible, bool escapes)
    : out_(out), draw_(draw), barVisible_(barVisible), escapes_(escapes) {}

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
    std::string line;
    if (barVisible_) {
        const int filled = position_ * kBarWidth / 100;
        const std::string percent = std::to_string(position_);
        line.append(1, '[').append(filled, '#').append(kBarWidth - filled, '.').append("] ");
        line.append(3 - percent.size(), ' ').append(percent).append("%  ");
    }
    line += text;
    if (escapes_) {
        out_ << "\r\x1b[K" << line << std::flush;
    } else {
        // Blanks over what is left of the longer line drawn before.
        const size_t width = line.size();
        if (width < drawnWidth_) line += std::string(drawnWidth_ - width, ' ');
        out_ << '\r' << line << std::flush;
        drawnWidth_ = width;
    }
    drawn_ = true;
}

}  // namespace vxe::cli
