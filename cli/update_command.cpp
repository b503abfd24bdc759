#include <algorithm>
#include <istream>
#include <optional>
#include <string>

#include "chip/chip_identification.h"
#include "chip/chip_readout.h"
#include "cli/commands.h"
#include "cli/device_selection.h"
#include "cli/guarded_procedure.h"
#include "cli/output.h"
#include "cli/terminal_sink.h"
#include "flash/engine_options.h"
#include "flash/one_click_update.h"

namespace vxe::cli {
namespace {

// What the window shows at the end of YES.
constexpr std::string_view kDoneText = "Please power cycle the device";
constexpr std::string_view kFailedText = "                     Update    fail!!";

bool Confirmed(const Invocation& invocation, const CommandIo& io, const std::string& path, uint16_t chipId) {
    if (invocation.yes) return true;
    io.err << "Update " << Printable(path) << " (" << ChipSummary(chipId)
           << ") with the firmware built into this program? [y/N] " << std::flush;
    std::string answer;
    const bool answered = io.terminal.input != nullptr && std::getline(*io.terminal.input, answer);
    if (!answered || !io.terminal.inputIsTerminal) io.err << '\n';
    if (!answered) return false;
    std::transform(answer.begin(), answer.end(), answer.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
    return answer == "y" || answer == "yes";
}

}  // namespace

// YES on one device: the readout the window has made before YES can be
// pressed, then the update with the window's one-click settings.
int UpdateCommand(const Invocation& invocation, const CommandIo& io) {
    // Declared first so that it is let go last, after the session's detach.
    DeviceLock lock;
    std::optional<DiscoverySession> session;
    const std::optional<std::string> path = SelectDevice(invocation.device, session);
    if (!path) return io.noSuchDevice(invocation);
    if (const std::optional<int> refused = RefuseUnlessLocked(invocation, io, *path, lock)) return *refused;

    const ChipReadout readout = ReadChipStatus(path->c_str(), false, "");
    if (!Confirmed(invocation, io, *path, readout.chipId)) {
        return io.fail(invocation, kExitFailed, "not confirmed; nothing was written");
    }

    CliHeaderKeeper keeper(*path, invocation, io.out, io.terminal.outputIsTerminal);
    EngineOptions options;
    options.amicFlashCode = readout.amicFlashCode.value_or(0);
    options.headerKeeper = &keeper;
    int32_t outcome = 0;
    std::string status;
    const GuardedRun guarded = RunWriteGuarded(*path, [&] {
        TerminalStatusSink sink(io.out, io.terminal.outputIsTerminal && !invocation.json, true);
        // The window's updating state: the bar starts at 0 and gets 20 at once,
        // the status field is cleared.
        sink.advanceProgress(20);
        sink.setStatusText("");
        outcome = RunOneClickUpdate(path->c_str(), readout.chipId, options, sink);
        status = sink.statusText();
    });
    if (!keeper.problem().empty()) io.fail(invocation, kExitFailed, keeper.problem());
    const bool done = outcome != 0 && !guarded.deviceChanged;
    const std::string_view result = done ? kDoneText : kFailedText;

    if (invocation.json) {
        io.out << JsonObject()
                      .addString("device", *path)
                      .addNumber("chipId", readout.chipId)
                      .addString("chipIdHex", HexWord(readout.chipId))
                      .addNumber("family", ChipFamilyOf(readout.chipId))
                      .addString("familyName", readout.chipName)
                      .addString("oldHeaderFile", keeper.keptFile())
                      .addBool("headerFromFile", keeper.usedFallback())
                      .addNumber("outcome", outcome)
                      .addString("status", status)
                      .addString("result", result)
                      .addBool("success", done)
                      .str()
               << '\n';
    } else {
        io.out << Field("device", Printable(*path)) << '\n' << Field("chip", ChipSummary(readout.chipId)) << '\n';
        if (keeper.usedFallback()) io.out << Field("header", "merged from " + Printable(invocation.headerFrom)) << '\n';
        if (!status.empty()) io.out << Field("status", Printable(status)) << '\n';
        io.out << result.substr(result.find_first_not_of(' ')) << '\n';
    }
    return FinishGuarded(invocation, io, *path, guarded, done ? kExitSuccess : kExitFailed);
}

}  // namespace vxe::cli
