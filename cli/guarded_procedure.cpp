#include "cli/guarded_procedure.h"

#include "app/kept_header.h"
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
    WriteGuard guard(device.c_str());
    writeFlash();
    return GuardedRun{guard.deferredSignal(), guard.deviceChanged()};
}

int FinishGuarded(const Invocation& invocation, const CommandIo& io, const std::string& device, const GuardedRun& run,
                  int status) {
    if (run.deviceChanged) io.fail(invocation, status, DeviceChangedNote(Printable(device)));
    if (run.deferredSignal == 0) return status;
    io.fail(invocation, status, InterruptionNote(run.deferredSignal));
    return ExitStatusForSignal(run.deferredSignal);
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
