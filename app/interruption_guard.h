// Holds back the signals that would end the program (SIGINT, SIGTERM, SIGHUP;
// on Windows the console's Ctrl-C, Ctrl-Break and close) while a procedure
// changes the flash: an erased enclosure is worse than a late exit. The
// signal is noted, the procedure runs to its end and reports, and the caller
// then exits with the conventional status. One guard at a time.
#pragma once

#include <string>

namespace vxe {

class InterruptionGuard {
public:
    InterruptionGuard();
    ~InterruptionGuard();
    InterruptionGuard(const InterruptionGuard&) = delete;
    InterruptionGuard& operator=(const InterruptionGuard&) = delete;

    // The first signal held back, 0 when none came.
    int deferredSignal() const;
};

// 128 + the signal (130 SIGINT, 143 SIGTERM, 129 SIGHUP); 0 for none.
int ExitStatusForSignal(int signal);
// "SIGINT", "SIGTERM", "SIGHUP" (Windows: Ctrl-C and console close give
// SIGINT and SIGHUP).
std::string SignalName(int signal);
// The one line that says what happened, e.g. "SIGINT came while the flash
// was being written; the procedure was finished first".
std::string InterruptionNote(int signal);

}  // namespace vxe
