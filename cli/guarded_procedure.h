// One device's procedure under the guards both front ends share: the
// device's pin and lock from before the first command to the end, and around
// the part that writes the flash the held-back signals, the sleep inhibitor
// and the check that every write still goes to the same device.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/device_lock.h"

namespace vxe::cli {

struct CommandIo;
struct Invocation;

// The device lock, or the exit status of the refusal (already reported).
// `afterDevicePass`: the device pass has talked to the device before, which
// the refusal says.
std::optional<int> RefuseUnlessLocked(const Invocation& invocation, const CommandIo& io, const std::string& device,
                                      DeviceLock& lock, bool afterDevicePass = false);

// What a refusal after the device pass says was sent.
inline constexpr std::string_view kSentByDevicePass =
    "only the device pass's reads and attach commands had been sent to it, before the other procedure took it; "
    "nothing since";

struct GuardedRun {
    bool wrote = false;         // the writing part ran
    int deferredSignal = 0;     // a signal held back before, during or after it
    bool deviceChanged = false; // the node was given to another device
};

// Runs `writeFlash` under the write guard, unless a signal came already (the
// program is on its way out: nothing is written then).
GuardedRun RunWriteGuarded(const std::string& device, const std::function<void()>& writeFlash);

// How a guarded procedure ended beyond its own result: the exit status (the
// signal's when one was held back, `status` otherwise) and what to say of
// it, one note per line; no notes when nothing came between.
struct Ending {
    int status = 0;
    std::vector<std::string> notes;
};
Ending EndOf(const GuardedRun& run, const std::string& device, int status);

// Says the notes on the error stream, one line each, and gives the status.
int ReportEnding(const Invocation& invocation, const CommandIo& io, const Ending& ending);

// The notes as one error message ("A; B").
std::string JoinedNotes(const std::vector<std::string>& notes);

}  // namespace vxe::cli
