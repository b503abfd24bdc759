#include "cli/guarded_procedure.h"

#include "app/kept_header.h"
#include "app/interruption_guard.h"
#include "app/write_guard.h"
#include "cli/commands.h"
#include "cli/output.h"

namespace vxe::cli {

std::optional<int> RefuseUnlessLocked(const Invocation& invocation, const CommandIo& io, const std::string& device,
                                      DeviceLock& lock) {
    lock = LockDevice(device.c_str());
    if (lock.held()) return std::nullopt;
    return io.fail(invocation, kExitFailed, LockRefusal(lock, Printable(device)));
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

CliHeaderKeeper::CliHeaderKeeper(std::string device, const Invocation& invocation, std::ostream& out, bool terminal)
    : device_(std::move(device)), out_(out), json_(invocation.json), terminal_(terminal) {
    if (!invocation.headerFrom.empty()) fallback_ = ReadKeptHeader(invocation.headerFrom, problem_);
}

bool CliHeaderKeeper::keep(std::span<const uint8_t, 128> header) {
    const std::optional<std::filesystem::path> file = KeepOldHeader(device_, header, problem_);
    if (!file) {
        problem_ = "the device's configuration header could not be kept, so nothing was written: " + problem_;
        return false;
    }
    keptFile_ = file->string();
    // Named at once: a run that is killed from here on still says where it is.
    // On a terminal the line takes the progress line's place; the bar is
    // drawn again below it.
    if (!json_) out_ << (terminal_ ? "\r\x1b[K" : "") << Field("old header", Printable(keptFile_)) << std::endl;
    return true;
}

std::optional<std::array<uint8_t, 128>> CliHeaderKeeper::fallback() {
    usedFallback_ = fallback_.has_value();
    return fallback_;
}

}  // namespace vxe::cli
