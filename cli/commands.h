// The subcommands. Each runs with the platform already installed and returns
// the exit status.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "cli/arguments.h"
#include "cli/cli.h"
#include "cli/machine.h"
#include "app/run_dispatch.h"
#include "chip/chip_readout.h"
#include "cli/output.h"

namespace vxe::cli {

class DiscoverySession;

struct CommandIo {
    std::ostream& out;
    std::ostream& err;
    const CliTerminal& terminal;
    const NoticeCapture& notices;  // the message boxes of the command so far

    // "fwupdate-cli: update: ..." on the error stream.
    int fail(const Invocation& invocation, int status, std::string_view message) const;
    // No device for DEVICE; `session`, when the device pass ran, can tell
    // an index that a busy device made uncertain.
    int noSuchDevice(const Invocation& invocation, const DiscoverySession* session = nullptr) const;
};

int ListCommand(const Invocation& invocation, const CommandIo& io);
int InfoCommand(const Invocation& invocation, const CommandIo& io);
int CheckFileCommand(const Invocation& invocation, const CommandIo& io);
int UpdateCommand(const Invocation& invocation, const CommandIo& io);
int RunCommand(const Invocation& invocation, const CommandIo& io);

// "VXE731/720 Series (ChipId 0x090A)"
std::string ChipSummary(uint16_t chipId);

// A device whose chip information lacks the Corvane marker is not shown
// under the family name its identification happened to give.
bool IsCorvane(const ChipReadout& readout);
std::string ChipName(const ChipReadout& readout);     // empty when not Corvane
std::string ChipSummary(const ChipReadout& readout);  // "not a Corvane chip (ChipId ...)"
// "familyName": the name, or null when not Corvane.
JsonObject& AddFamilyName(JsonObject& object, const ChipReadout& readout);

// "flash-update", "nvram-keeping-update", "parallel-flash-update", "none"
const char* ProcedureName(RunProcedure procedure);

}  // namespace vxe::cli
