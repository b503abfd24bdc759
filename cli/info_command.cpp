#include <optional>
#include <string>

#include "chip/chip_identification.h"
#include "chip/chip_readout.h"
#include "cli/commands.h"
#include "cli/device_selection.h"
#include "cli/output.h"
#include "app/run_dispatch.h"

namespace vxe::cli {

// What the window's readout shows for the device, read afresh.
int InfoCommand(const Invocation& invocation, const CommandIo& io) {
    std::optional<DiscoverySession> session;
    const std::optional<std::string> path = SelectDevice(invocation.device, session);
    if (!path) return io.noSuchDevice(invocation);

    const ChipReadout readout = ReadChipStatus(path->c_str(), false, "");
    const uint8_t family = ChipFamilyOf(readout.chipId);
    const char* procedure = ProcedureName(ProcedureForFamily(family));

    if (invocation.json) {
        JsonObject json;
        json.addString("device", *path)
            .addNumber("chipId", readout.chipId)
            .addString("chipIdHex", HexWord(readout.chipId))
            .addNumber("family", family)
            .addString("familyName", readout.chipName)
            .addNumber("revision", ChipRevisionOf(readout.chipId))
            .addString("flashType", readout.flashTypeText)
            .addString("firmwareVersion", readout.versionText)
            .addString("status", readout.statusText);
        if (readout.amicFlashCode) json.addNumber("amicFlashCode", *readout.amicFlashCode);
        else json.addNull("amicFlashCode");
        io.out << json.addString("runProcedure", procedure).str() << '\n';
        return kExitSuccess;
    }
    io.out << Field("device", Printable(*path)) << '\n'
           << Field("chip", readout.chipName) << '\n'
           << Field("family", std::to_string(family)) << '\n'
           << Field("revision", std::to_string(ChipRevisionOf(readout.chipId))) << '\n'
           << Field("chip id", HexWord(readout.chipId)) << '\n'
           << Field("flash type", Printable(readout.flashTypeText)) << '\n'
           << Field("firmware version", Printable(readout.versionText)) << '\n'
           << Field("status", Printable(readout.statusText)) << '\n'
           << Field("amic flash code", readout.amicFlashCode ? std::to_string(*readout.amicFlashCode) : "-") << '\n'
           << Field("run procedure", procedure) << '\n';
    return kExitSuccess;
}

}  // namespace vxe::cli
