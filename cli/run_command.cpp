#include <optional>
#include <string>

#include "chip/chip_identification.h"
#include "chip/chip_readout.h"
#include "chip/firmware_image.h"
#include "cli/commands.h"
#include "cli/device_selection.h"
#include "cli/guarded_procedure.h"
#include "cli/output.h"
#include "cli/terminal_sink.h"
#include "app/identity_watch.h"
#include "app/write_guard.h"
#include "flash/engine_options.h"
#include "app/run_dispatch.h"
#include "flash/update_engine.h"

namespace vxe::cli {
namespace {

const char* ActionName(const EngineOptions& options) {
    if (options.eraseOnly) return "erase-only";
    if (options.backupOnly) return "backup-only";
    return "update";
}

// The procedures report through the status field, and their last text says
// whether they got where they were going.
bool EndedInSuccess(RunProcedure procedure, const EngineOptions& options, std::string_view status) {
    const bool parallel = procedure == RunProcedure::ParallelFlashUpdate;
    if (options.eraseOnly) return status == (parallel ? "Erase All success!!" : "Erase flash all success!");
    if (options.backupOnly) return status == "Read flash and backup success!";
    // The flash engine's running text carries a dot per page before its verdict.
    return parallel ? status == "Programming & Compare Success!!" : status.ends_with("Programming Success!!");
}

}  // namespace

// Run on the engineering panel with "RD Version" ticked: the procedure of
// the device's family, with the panel's options.
int RunCommand(const Invocation& invocation, const CommandIo& io) {
    // The pin outlives the session, whose detach it checks too; the lock is
    // let go before that detach, which takes each device's lock itself.
    std::optional<DevicePin> pin;
    std::optional<DiscoverySession> session;
    DeviceLock lock;
    const std::optional<std::string> path = SelectDevice(invocation.device, session);
    if (!path) return io.noSuchDevice(invocation, session ? &*session : nullptr);
    // The device is fixed before the procedure's first command.
    pin.emplace(path->c_str(), PassIdentity(session, *path));
    if (const std::optional<int> refused = RefuseUnlessLocked(invocation, io, *path, lock, session.has_value())) {
        return *refused;
    }
    if (!pin->stillSameDevice()) return io.fail(invocation, kExitFailed, DeviceChangedBeforeNote(Printable(*path)));

    const ChipReadout readout = ReadChipStatus(path->c_str(), false, "");
    const uint8_t family = ChipFamilyOf(readout.chipId);
    const RunProcedure procedure = ProcedureForFamily(family);
    if (procedure == RunProcedure::None) {
        return io.fail(invocation, kExitFailed, ChipSummary(readout) + " has no engineering update; nothing was written");
    }
    // The NVRAM-keeping engine knows neither option and would reprogram the
    // flash instead of doing what was asked. Only the chip tells which engine
    // it is, so the chip has been identified by now: a refusal like the
    // others after the readout (1), not a usage error (2, nothing sent).
    if (procedure == RunProcedure::NvramKeepingUpdate && (invocation.eraseOnly || invocation.backupOnly)) {
        return io.fail(invocation, kExitFailed,
                       std::string(invocation.eraseOnly ? "--erase-only" : "--backup-only") + " is not offered for " +
                           readout.chipName + ": its procedure always reprograms the flash; nothing was written");
    }
    // Run is pressed only when the firmware file fits the chip, unless the
    // flash is only erased or backed up.
    if (!invocation.eraseOnly && !invocation.backupOnly &&
        CheckFirmwareFile(invocation.firmwareFile.c_str(), readout.chipId) == 0) {
        return io.fail(invocation, kExitFailed, "The firmware file seems not match this chip!");
    }

    EngineOptions options;
    options.rdVersion = true;
    options.eraseOnly = invocation.eraseOnly;
    options.backupOnly = invocation.backupOnly;
    options.a1Chip = invocation.a1Chip;
    options.amicFlashCode = readout.amicFlashCode.value_or(0);
    options.backupFileName = invocation.backupFile;
    options.firmwareSize = invocation.firmwareSize;
    options.transferPageSize = invocation.transferPageSize;

    bool success = false;
    std::string status;
    const GuardedRun guarded = RunWriteGuarded(*path, [&] {
        TerminalStatusSink sink(io.out, io.terminal.outputIsTerminal && !invocation.json, false);
        if (procedure == RunProcedure::NvramKeepingUpdate) {
            // This engine is silent on success and on most failures; its
            // result is the only verdict there is.
            int32_t nvramSkip = 0;
            success = RunNvramKeepingUpdate(path->c_str(), options, sink, nvramSkip) != 0;
        } else {
            int32_t nvramSkip = 0;
            RunForFamily(path->c_str(), family, invocation.flashType, options, sink, nvramSkip);
            success = EndedInSuccess(procedure, options, sink.statusText());
        }
        status = sink.statusText();
    });
    // A write held back from another device is no success, whatever the text.
    if (guarded.deviceChanged || !guarded.wrote) success = false;
    const Ending ending = EndOf(guarded, *path, success ? kExitSuccess : kExitFailed);

    if (invocation.json) {
        JsonObject json = JsonDocument("run");
        json.addString("device", *path)
            .addNumber("chipId", readout.chipId)
            .addString("chipIdHex", HexWord(readout.chipId))
            .addNumber("family", family);
        AddFamilyName(json, readout)
            .addString("procedure", ProcedureName(procedure))
            .addString("action", ActionName(options))
            .addString("status", status)
            .addBool("success", success)
            .addJson("messages", NoticesJson(io.notices.notices()));
        if (ending.status != kExitSuccess) {
            std::string message = JoinedNotes(ending.notes);
            if (!success && !guarded.deviceChanged && guarded.wrote) {
                const std::string failure = status.empty() ? std::string(ProcedureName(procedure)) + " failed" : status;
                message = message.empty() ? failure : failure + "; " + message;
            }
            AddError(json, message, ending.status);
        }
        io.out << json.str() << '\n';
    } else {
        io.out << Field("device", Printable(*path)) << '\n'
               << Field("chip", ChipSummary(readout)) << '\n'
               << Field("procedure", std::string(ProcedureName(procedure)) + ", " + ActionName(options)) << '\n'
               << Field("status", Printable(status)) << '\n'
               << Field("result", success ? "succeeded" : "failed") << '\n';
    }
    return ReportEnding(invocation, io, ending);
}

}  // namespace vxe::cli
