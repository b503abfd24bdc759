// The subcommands. Each runs with the platform already installed and returns
// the exit status.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "cli/arguments.h"
#include "cli/cli.h"
#include "app/run_dispatch.h"

namespace vxe::cli {

struct CommandIo {
    std::ostream& out;
    std::ostream& err;
    const CliTerminal& terminal;

    // "fwupdate-cli: update: ..." on the error stream.
    int fail(const Invocation& invocation, int status, std::string_view message) const;
    int noSuchDevice(const Invocation& invocation) const;
};

int ListCommand(const Invocation& invocation, const CommandIo& io);
int InfoCommand(const Invocation& invocation, const CommandIo& io);
int CheckFileCommand(const Invocation& invocation, const CommandIo& io);
int UpdateCommand(const Invocation& invocation, const CommandIo& io);
int RunCommand(const Invocation& invocation, const CommandIo& io);

// "VXE731/720 Series (ChipId 0x090A)"
std::string ChipSummary(uint16_t chipId);

// "flash-update", "nvram-keeping-update", "parallel-flash-update", "none"
const char* ProcedureName(RunProcedure procedure);

}  // namespace vxe::cli
