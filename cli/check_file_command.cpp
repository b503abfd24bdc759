#include "chip/chip_identification.h"
#include "chip/firmware_image.h"
#include "cli/commands.h"
#include "cli/output.h"

namespace vxe::cli {

// The engineering panel's file check, without a device: the chip is named
// by its ChipId as `info` shows it.
int CheckFileCommand(const Invocation& invocation, const CommandIo& io) {
    const bool fits = CheckFirmwareFile(invocation.file.c_str(), invocation.chipId) != 0;
    if (invocation.json) {
        JsonObject json = JsonDocument("check-file");
        json.addString("file", invocation.file)
            .addNumber("chipId", invocation.chipId)
            .addString("chipIdHex", HexWord(invocation.chipId))
            .addNumber("family", ChipFamilyOf(invocation.chipId))
            .addString("familyName", ChipFamilyName(ChipFamilyOf(invocation.chipId)))
            .addBool("fits", fits);
        if (!fits) AddError(json, "the file does not fit " + ChipSummary(invocation.chipId), kExitFailed);
        io.out << json.str() << '\n';
    } else {
        io.out << PrintablePath(invocation.file) << (fits ? " fits " : " does not fit ") << ChipSummary(invocation.chipId)
               << '\n';
    }
    return fits ? kExitSuccess : kExitFailed;
}

}  // namespace vxe::cli
