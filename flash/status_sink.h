// How a procedure talks to whoever shows its progress: the status text, the
// progress bar and a chance for the window to repaint. The main window
// implements it; tests and the command line use their own.
#pragma once

#include <string>
#include <string_view>

namespace vxe {

class StatusSink {
public:
    virtual ~StatusSink() = default;

    virtual std::string statusText() const = 0;
    virtual void setStatusText(std::string_view text) = 0;
    void appendStatusText(std::string_view text) { setStatusText(statusText() + std::string(text)); }

    // Adds `step` points to the progress bar, capped at 100, only while the
    // bar is visible, and repaints it at once.
    virtual void advanceProgress(int step) = 0;

    // Lets the window process pending messages (repaint, input).
    virtual void processMessages() = 0;

    // Redraws the status field now, without taking any input.
    virtual void repaintStatus() {}

    // Sets the status text and lets the window show it at once.
    void showStatus(std::string_view text) {
        setStatusText(text);
        processMessages();
    }

    // Sets the status text and redraws the field while the next command runs.
    void setStatusTextNow(std::string_view text) {
        setStatusText(text);
        repaintStatus();
    }
};

// A sink that keeps everything in memory: the command line and tests use it.
class RecordingStatusSink : public StatusSink {
public:
    std::string statusText() const override { return text_; }
    void setStatusText(std::string_view text) override { text_ = std::string(text); ++textChanges_; }
    void advanceProgress(int step) override {
        if (!barVisible) return;
        position = position + step > 100 ? 100 : position + step;
        stepsTaken += step;
    }
    void processMessages() override { ++messagePumps; }
    void repaintStatus() override { ++statusRepaints; }

    bool barVisible = true;
    int position = 0;
    int stepsTaken = 0;   // sum of the steps while visible, before capping
    int messagePumps = 0;
    int statusRepaints = 0;
    int textChanges() const { return textChanges_; }

private:
    std::string text_;
    int textChanges_ = 0;
};

}  // namespace vxe
