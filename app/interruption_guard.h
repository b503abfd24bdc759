// Holds back every signal that would end the program (on Windows the
// console's Ctrl-C, Ctrl-Break and close) while a procedure changes the
// flash: an erased enclosure is worse than a late exit. The signal is noted,
// the procedure runs to its end and reports, and the caller then exits with
// the conventional status. A signal the program was started with ignored
// (nohup, SIG_IGN) stays ignored. A write to a closed pipe fails instead of
// ending the program. Only SIGKILL (and the power) cannot be held back.
//
// Guards nest and may be taken by several threads at once (one per device
// of a batch): the handlers are installed by the first and restored by the
// last, and a signal noted meanwhile stays noted until then.
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

// The first signal held back by the guards now installed, 0 when none came
// or no guard is installed.
int PendingSignal();

// While one exists, a held-back signal also cuts a blocking read short (the
// read fails with EINTR), so that a question on the terminal can be left
// with Ctrl-C. Elsewhere reads and sleeps go on as if nothing came.
class InterruptibleReads {
public:
    InterruptibleReads();
    ~InterruptibleReads();
    InterruptibleReads(const InterruptibleReads&) = delete;
    InterruptibleReads& operator=(const InterruptibleReads&) = delete;
};

// 128 + the signal (130 SIGINT, 143 SIGTERM, 129 SIGHUP, 141 SIGPIPE); 0 for
// none.
int ExitStatusForSignal(int signal);
// "SIGINT", "SIGTERM", "SIGPIPE", "SIGRTMIN+3"... (Windows: Ctrl-C and
// console close give SIGINT and SIGHUP).
std::string SignalName(int signal);
// The one line that says what happened, e.g. "SIGINT came while the flash
// was being written; the procedure was finished first".
std::string InterruptionNote(int signal);
// "SIGINT came before anything was written; nothing was written"
std::string InterruptedBeforeWritingNote(int signal);

}  // namespace vxe
