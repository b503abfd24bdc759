#include "cli/guarded_procedure.h"

#include "app/interruption_guard.h"
#include "app/write_guard.h"
#include "cli/commands.h"
#include "cli/output.h"

namespace vxe::cli {

std::optional<int> RefuseUnlessLocked(const Invocation& invocation, const CommandIo& io, const std::string& device,
                                      DeviceLock& lock, bool afterDevicePass) {
    lock = LockDevice(device.c_str());
    if (lock.held()) return std::nullopt;
    return io.fail(invocation, kExitFailed,
                   afterDevicePass ? LockRefusal(lock, Printable(device), kSentByDevicePass)
                                   : LockRefusal(lock, Printable(device)));
}

GuardedRun RunWriteGuarded(const std::string& device, const std::function<void()>& writeFlash) {
    GuardedRun run;
    if ((run.deferredSignal = PendingSignal()) != 0) return run;
    WriteGuard guard(device.c_str());
    writeFlash();
    run.wrote = true;
    run.deferredSignal = guard.deferredSignal();
    run.deviceChanged = guard.deviceChanged();
    return run;
}

Ending EndOf(const GuardedRun& run, const std::string& device, int status) {
    Ending ending{status, {}};
    if (run.deviceChanged) ending.notes.push_back(DeviceChangedNote(Printable(device)));
    // A signal may also have come after the writing part, while the report
    // was being made: the whole run is held to its end.
    const int signal = run.deferredSignal != 0 ? run.deferredSignal : PendingSignal();
    if (signal != 0) {
        ending.notes.push_back(run.wrote ? InterruptionNote(signal) : InterruptedBeforeWritingNote(signal));
        ending.status = ExitStatusForSignal(signal);
    }
    return ending;
}

int ReportEnding(const Invocation& invocation, const CommandIo& io, const Ending& ending) {
    for (const std::string& note : ending.notes) {
        io.err << "fwupdate-cli: " << CommandName(invocation.command) << ": " << note << '\n';
    }
    return ending.status;
}

std::string JoinedNotes(const std::vector<std::string>& notes) {
    std::string joined;
    for (const std::string& note : notes) joined += (joined.empty() ? "" : "; ") + note;
    return joined;
}

}  // namespace vxe::cli
