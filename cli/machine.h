// The devices a command works on: the machine's own, or a simulated bus built
// from description files, with every command written to a trace when asked.
// Message boxes become lines on the error stream (and are kept for the JSON
// report); the debugger output, which the window's user never sees either,
// is dropped. Every platform here may be used by several jobs at once.
#pragma once

#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "platform/platform.h"
#include "sim/bus.h"
#include "sim/clock.h"

namespace vxe::cli {

// A message box as the command line shows it.
struct Notice {
    std::string caption;
    std::string text;
};

// While one exists, the message boxes of its thread are kept in it as well.
class NoticeCapture {
public:
    NoticeCapture();
    ~NoticeCapture();
    NoticeCapture(const NoticeCapture&) = delete;
    NoticeCapture& operator=(const NoticeCapture&) = delete;

    const std::vector<Notice>& notices() const { return notices_; }
    static void record(const Notice& notice);

private:
    std::vector<Notice> notices_;
    NoticeCapture* previous_;
};

// "messages":[{"caption":...,"text":...}]
std::string NoticesJson(const std::vector<Notice>& notices);

class Machine {
public:
    // Throws UsageError when the description files, the images beside them
    // or the trace file cannot be used. Nothing is sent to any device here.
    // `devices`, when given, stands in for the machine's own devices.
    Machine(const Invocation& invocation, std::ostream& err, Platform* devices = nullptr);
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // The platform to install for the command.
    Platform& platform() { return *outermost_; }
    // Null on the machine's own devices.
    sim::Bus* bus() { return bus_.get(); }
    // Simulated devices whose flash could not be saved to its file, one
    // line each ("DEVICE: flash-file: ..."); empty when all went well.
    std::vector<std::string> flashFileProblems() const;

private:
    // A fake clock: simulated erase and program times pass at once, unless
    // --real-time or a device's description asks for the wall clock.
    std::unique_ptr<sim::Clock> clock_;
    std::unique_ptr<sim::Bus> bus_;
    std::unique_ptr<Platform> devices_;
    std::ofstream traceFile_;
    std::unique_ptr<Platform> tracing_;
    std::unique_ptr<Platform> console_;
    // Every procedure's device check (app/identity_watch.h).
    std::unique_ptr<Platform> outermost_;
};

}  // namespace vxe::cli
