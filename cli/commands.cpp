#include "cli/commands.h"

#include "app/interruption_guard.h"

#include "chip/chip_identification.h"
#include "cli/arguments.h"
#include "cli/device_selection.h"
#include "device/device_enumeration.h"
#include "cli/output.h"

namespace vxe::cli {

int CommandIo::fail(const Invocation& invocation, int status, std::string_view text) const {
    // Refusals come before anything is written; a signal that came by then
    // ends the program as it asked.
    std::string message(text);
    const int signal = PendingSignal();
    if (signal != 0 && status != ExitStatusForSignal(signal)) {
        status = ExitStatusForSignal(signal);
        message += "; " + InterruptedBeforeWritingNote(signal);
    }
    err << "fwupdate-cli: " << CommandName(invocation.command) << ": " << message << '\n';
    if (invocation.json) {
        JsonObject document = JsonDocument(CommandName(invocation.command));
        if (!invocation.device.empty()) document.addString("device", invocation.device);
        document.addJson("messages", NoticesJson(notices.notices()));
        out << AddError(document, message, status).str() << '\n';
    }
    return status;
}

int CommandIo::noSuchDevice(const Invocation& invocation, const DiscoverySession* session) const {
    if (const std::optional<size_t> index = DeviceIndex(invocation.device)) {
        if (session != nullptr) {
            if (std::string uncertain = session->uncertainIndex(*index); !uncertain.empty()) {
                return fail(invocation, kExitFailed, uncertain);
            }
        }
        return fail(invocation, kExitNoDevice,
                    "no device " + invocation.device + " in the list (see fwupdate-cli list)");
    }
    if (IsBeyondSlots(invocation.device)) {
        return fail(invocation, kExitNoDevice,
                    "\"" + Printable(invocation.device) + "\" is past the " + std::to_string(kPathSlotCount) +
                        " USB storage devices the utility looks at; unplug others to reach it");
    }
    return fail(invocation, kExitNoDevice, "no USB storage device \"" + Printable(invocation.device) + "\"");
}

std::string ChipSummary(uint16_t chipId) {
    return std::string(ChipFamilyName(ChipFamilyOf(chipId))) + " (ChipId " + HexWord(chipId) + ")";
}

bool IsCorvane(const ChipReadout& readout) { return readout.statusText != "Not Corvane Chip!!"; }

std::string ChipName(const ChipReadout& readout) { return IsCorvane(readout) ? readout.chipName : std::string(); }

std::string ChipSummary(const ChipReadout& readout) {
    if (IsCorvane(readout)) return ChipSummary(readout.chipId);
    return "not a Corvane chip (ChipId " + HexWord(readout.chipId) + ")";
}

JsonObject& AddFamilyName(JsonObject& object, const ChipReadout& readout) {
    return IsCorvane(readout) ? object.addString("familyName", readout.chipName) : object.addNull("familyName");
}

const char* ProcedureName(RunProcedure procedure) {
    switch (procedure) {
        case RunProcedure::FlashUpdate: return "flash-update";
        case RunProcedure::NvramKeepingUpdate: return "nvram-keeping-update";
        case RunProcedure::ParallelFlashUpdate: return "parallel-flash-update";
        case RunProcedure::None: break;
    }
    return "none";
}

}  // namespace vxe::cli
