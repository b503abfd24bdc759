#include "cli/device_update.h"

#include <exception>
#include <filesystem>
#include <mutex>

#include "app/interruption_guard.h"
#include "app/identity_watch.h"
#include "app/old_flash_keeper.h"
#include "app/write_guard.h"
#include "chip/chip_identification.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/guarded_procedure.h"
#include "cli/terminal_sink.h"
#include "flash/engine_options.h"
#include "flash/firmware_current.h"
#include "flash/one_click_update.h"

namespace vxe::cli {
namespace {

// What the window shows at the end of YES.
constexpr std::string_view kDoneText = "Please power cycle the device";
constexpr std::string_view kFailedText = "                     Update    fail!!";

std::string_view WithoutLeadingBlanks(std::string_view text) {
    return text.substr(std::min(text.find_first_not_of(' '), text.size()));
}

// The kept file is named the moment it is written: a run killed from here
// on has still said where its way back is. On the output in text (on a
// terminal in the progress line's place; the bar is drawn again below it),
// else on the error stream.
void AnnounceKeptFile(const std::string& device, const std::filesystem::path& file,
                      const DeviceUpdateSettings& settings) {
    static std::mutex mutex;  // the jobs of a batch share the stream
    const std::lock_guard lock(mutex);
    if (settings.keptHeaderOut != nullptr) {
        *settings.keptHeaderOut << (settings.progress != nullptr ? "\r\x1b[K" : "")
                                << Field("old header", Printable(file.string())) << std::endl;
    } else if (settings.err != nullptr) {
        *settings.err << "fwupdate-cli: update: " << Printable(device) << ": old header: " << Printable(file.string())
                          << std::endl;
    }
}

void Run(DeviceUpdate& update, const DeviceUpdateSettings& settings) {
    // The device is fixed before its first command: whatever the path names
    // later, nothing is written to another device.
    DevicePin pin(update.path.c_str(), settings.identity);
    DeviceLock lock;
    if (settings.lockDevice) {
        lock = LockDevice(update.path.c_str());
        if (!lock.held()) {
            update.busy = lock.outcome() == DeviceLock::Outcome::Busy;
            update.error = LockRefusal(lock, Printable(update.path), kSentByDevicePass);
            return;
        }
    }
    if (settings.identity && !pin.stillSameDevice()) {
        update.error = DeviceChangedBeforeNote(Printable(update.path));
        return;
    }
    update.readout = ReadChipStatus(update.path.c_str(), false, "");

    const std::string headerFrom = settings.invocation != nullptr ? settings.invocation->headerFrom : std::string();
    OldFlashKeeper keeper({update.path, pin.identity(), headerFrom,
                           [&](const std::filesystem::path& file) { AnnounceKeptFile(update.path, file, settings); }});
    // A device whose last update was cut off is not taken for current: its
    // image may be whole while the rest of its flash is not.
    if (!settings.force && !keeper.recovering() && PendingSignal() == 0) {
        std::optional<std::array<uint8_t, 128>> header;
        if (IsFirmwareCurrent(update.path.c_str(), &header)) {
            // What the window's device pass uses to leave a device out: only reads.
            const std::string refusal = header ? keeper.refusal(*header) : std::string();
            if (refusal.empty()) {
                update.state = UpdateState::UpToDate;
                update.exitStatus = kExitUpToDate;
                return;
            }
            update.error = refusal;
            return;
        }
    }
    if (settings.confirm && PendingSignal() == 0 && !settings.confirm(update)) {
        update.state = UpdateState::NotConfirmed;
        update.error = "not confirmed; nothing was written";
        return;
    }

    std::ostream null(nullptr);
    EngineOptions options;
    options.amicFlashCode = update.readout.amicFlashCode.value_or(0);
    options.headerKeeper = &keeper;
    update.guarded = RunWriteGuarded(update.path, [&] {
        TerminalStatusSink sink(settings.progress != nullptr ? *settings.progress : null, settings.progress != nullptr,
                                true);
        // The window's updating state: the bar starts at 0 and gets 20 at
        // once, the status field is cleared.
        sink.advanceProgress(20);
        sink.setStatusText("");
        update.outcome = RunOneClickUpdate(update.path.c_str(), update.readout.chipId, options, sink);
        update.status = sink.statusText();
    });
    update.oldHeaderFile = keeper.keptFile();
    update.headerFromFile = keeper.usedFallback() || (!headerFrom.empty() && keeper.recovering());
    if (update.headerFromFile) update.headerFrom = headerFrom;
    if (keeper.recovering()) update.recoveredFrom = keeper.recoveredFrom().string();
    if (!update.guarded.wrote) {
        update.error = InterruptedBeforeWritingNote(update.guarded.deferredSignal);
        return;
    }
    const bool done = update.outcome != 0 && !update.guarded.deviceChanged;
    keeper.finish(done);
    update.resultText = done ? kDoneText : kFailedText;
    update.state = done ? UpdateState::Updated : UpdateState::Failed;
    update.exitStatus = done ? kExitSuccess : kExitFailed;
    if (!keeper.problem().empty()) update.error = keeper.problem();
    else if (!done && !update.guarded.deviceChanged) update.error = std::string(WithoutLeadingBlanks(kFailedText));
}

// A signal or another device at the node: the exit status says so, and the
// report's error names it.
void AddEnding(DeviceUpdate& update) {
    GuardedRun run = update.guarded;
    if (run.deferredSignal == 0 && !run.wrote) run.deferredSignal = PendingSignal();
    const Ending ending = EndOf(run, update.path, update.exitStatus);
    update.notes = ending.notes;
    update.exitStatus = ending.status;
    for (const std::string& note : ending.notes) {
        if (update.error.find(note) == std::string::npos) update.error += (update.error.empty() ? "" : "; ") + note;
    }
}

}  // namespace

DeviceUpdate UpdateDevice(const std::string& path, const DeviceUpdateSettings& settings) {
    DeviceUpdate update;
    update.path = path;
    const NoticeCapture notices;
    try {
        Run(update, settings);
        AddEnding(update);
    } catch (const std::exception& e) {
        update.state = UpdateState::Failed;
        update.exitStatus = kExitFailed;
        update.error = e.what();
    }
    update.notices = notices.notices();
    return update;
}

const char* UpdateStateName(UpdateState state) {
    switch (state) {
        case UpdateState::Updated: return "updated";
        case UpdateState::UpToDate: return "up-to-date";
        case UpdateState::NotConfirmed: return "not-confirmed";
        case UpdateState::Failed: break;
    }
    return "failed";
}

JsonObject& AddDeviceUpdate(JsonObject& object, const DeviceUpdate& update, bool inBatch) {
    object.addString("device", update.path)
        .addNumber("chipId", update.readout.chipId)
        .addString("chipIdHex", HexWord(update.readout.chipId))
        .addNumber("family", ChipFamilyOf(update.readout.chipId))
        ;
    AddFamilyName(object, update.readout)
        .addString("oldHeaderFile", update.oldHeaderFile)
        .addBool("headerFromFile", update.headerFromFile)
        .addString("recoveredFrom", update.recoveredFrom)
        .addString("state", UpdateStateName(update.state))
        .addNumber("outcome", update.outcome)
        .addString("status", update.status)
        .addString("result", update.resultText)
        .addBool("success", update.state == UpdateState::Updated)
        .addJson("messages", NoticesJson(update.notices));
    if (inBatch) object.addBool("busy", update.busy);
    if (!update.error.empty()) AddError(object, update.error, update.exitStatus);
    return object;
}

void PrintDeviceUpdate(std::ostream& out, const DeviceUpdate& update) {
    out << Field("device", Printable(update.path)) << '\n' << Field("chip", ChipSummary(update.readout)) << '\n';
    if (!update.recoveredFrom.empty()) {
        out << Field("recovered", "the old flash kept in " + Printable(update.recoveredFrom) +
                                      " (an update that was cut off) was written again")
            << '\n';
    } else if (update.headerFromFile) {
        out << Field("header", "merged from " + Printable(update.headerFrom)) << '\n';
    }
    // The window's status field as the procedure left it: the last step it
    // showed, not a verdict (that is the last line).
    if (!update.status.empty()) out << Field("last step", Printable(update.status)) << '\n';
    switch (update.state) {
        case UpdateState::UpToDate:
            out << "The firmware is already current; nothing was written (--force writes it anyway)\n";
            break;
        case UpdateState::NotConfirmed:
            break;
        case UpdateState::Updated:
        case UpdateState::Failed:
            // Why it failed, when there is more to say than the window's
            // verdict; the verdict stays the last line.
            if (update.state == UpdateState::Failed && update.notes.empty() && !update.error.empty() &&
                update.error != WithoutLeadingBlanks(kFailedText)) {
                out << Field("error", Printable(update.error)) << '\n';
            }
            if (!update.resultText.empty()) out << WithoutLeadingBlanks(update.resultText) << '\n';
            break;
    }
}

}  // namespace vxe::cli
