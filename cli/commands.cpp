#include "cli/commands.h"

#include "chip/chip_identification.h"
#include "cli/arguments.h"
#include "cli/output.h"

namespace vxe::cli {

int CommandIo::fail(const Invocation& invocation, int status, std::string_view message) const {
    err << "fwupdate-cli: " << CommandName(invocation.command) << ": " << message << '\n';
    return status;
}

int CommandIo::noSuchDevice(const Invocation& invocation) const {
    if (DeviceIndex(invocation.device)) {
        return fail(invocation, kExitNoDevice,
                    "no device " + invocation.device + " in the list (see fwupdate-cli list)");
    }
    return fail(invocation, kExitNoDevice, "no USB storage device \"" + Printable(invocation.device) + "\"");
}

std::string ChipSummary(uint16_t chipId) {
    return std::string(ChipFamilyName(ChipFamilyOf(chipId))) + " (ChipId " + HexWord(chipId) + ")";
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
