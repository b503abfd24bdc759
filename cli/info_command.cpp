#include <optional>
#include <string>

#include "chip/chip_identification.h"
#include "chip/chip_readout.h"
#include "cli/commands.h"
#include "cli/device_selection.h"
#include "cli/guarded_procedure.h"
#include "cli/output.h"
#include "app/discovery_pass.h"
#include "app/run_dispatch.h"
#include "app/unfinished_updates.h"
#include "flash/firmware_current.h"
#include "platform/platform.h"

namespace vxe::cli {
namespace {

// For the enclosure YES is for: whether `update DEVICE` would write. Only
// reads, like the device pass that uses the same test.
std::optional<bool> OneClickNeeded(const std::string& path, const ChipReadout& readout) {
    if (!IsCorvane(readout) || ChipFamilyOf(readout.chipId) != kTargetFamily) return std::nullopt;
    // A cut-off update of the device is written again, however whole its
    // image looks.
    return !IsFirmwareCurrent(path.c_str()) || HasUnfinishedUpdate(CurrentPlatform().deviceIdentity(path.c_str()));
}

std::string OneClickText(const std::optional<bool>& needed, const std::string& device) {
    if (!needed) return "-";
    if (*needed) return "applies (fwupdate-cli update " + Printable(device) + ")";
    return "the firmware is already current";
}

}  // namespace

// What the window's readout shows for the device, read afresh.
int InfoCommand(const Invocation& invocation, const CommandIo& io) {
    std::optional<DiscoverySession> session;
    DeviceLock lock;  // reads only, but never in the middle of another procedure
    const std::optional<std::string> path = SelectDevice(invocation.device, session);
    if (!path) return io.noSuchDevice(invocation, session ? &*session : nullptr);
    if (const std::optional<int> refused = RefuseUnlessLocked(invocation, io, *path, lock, session.has_value())) {
        return *refused;
    }

    const ChipReadout readout = ReadChipStatus(path->c_str(), false, "");
    const uint8_t family = ChipFamilyOf(readout.chipId);
    const char* procedure = ProcedureName(ProcedureForFamily(family));
    const std::optional<bool> oneClick = OneClickNeeded(*path, readout);

    if (invocation.json) {
        JsonObject json = JsonDocument("info");
        json.addString("device", *path)
            .addNumber("chipId", readout.chipId)
            .addString("chipIdHex", HexWord(readout.chipId))
            .addNumber("family", family);
        AddFamilyName(json, readout)
            .addBool("corvane", IsCorvane(readout))
            .addNumber("revision", ChipRevisionOf(readout.chipId))
            .addString("flashType", readout.flashTypeText)
            .addString("firmwareVersion", readout.versionText)
            .addString("status", readout.statusText);
        if (oneClick) json.addBool("oneClickUpdate", *oneClick);
        else json.addNull("oneClickUpdate");
        if (readout.amicFlashCode) json.addNumber("amicFlashCode", *readout.amicFlashCode);
        else json.addNull("amicFlashCode");
        json.addString("runProcedure", procedure).addJson("messages", NoticesJson(io.notices.notices()));
        io.out << json.str() << '\n';
        return kExitSuccess;
    }
    io.out << Field("device", Printable(*path)) << '\n'
           << Field("chip", IsCorvane(readout) ? readout.chipName : "not a Corvane chip") << '\n'
           << Field("family", std::to_string(family)) << '\n'
           << Field("revision", std::to_string(ChipRevisionOf(readout.chipId))) << '\n'
           << Field("chip id", HexWord(readout.chipId)) << '\n'
           << Field("flash type", Printable(readout.flashTypeText)) << '\n'
           << Field("firmware version", Printable(readout.versionText)) << '\n'
           << Field("amic flash code", readout.amicFlashCode ? std::to_string(*readout.amicFlashCode) : "-") << '\n'
           << Field("one-click update", OneClickText(oneClick, invocation.device)) << '\n'
           // The status text is what the engineering panel shows beside Run,
           // not a word on the one-click update above.
           << Field("run procedure", procedure) << '\n'
           << Field("run status", Printable(readout.statusText)) << '\n';
    return kExitSuccess;
}

}  // namespace vxe::cli
