#include "cli/cli.h"

#include <exception>
#include <iostream>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/help.h"
#include "cli/machine.h"

#ifndef VXE_VERSION
#define VXE_VERSION "unknown"
#endif

namespace vxe {
namespace {

int Dispatch(const cli::Invocation& invocation, const cli::CommandIo& io) {
    switch (invocation.command) {
        case cli::Command::List: return cli::ListCommand(invocation, io);
        case cli::Command::Info: return cli::InfoCommand(invocation, io);
        case cli::Command::CheckFile: return cli::CheckFileCommand(invocation, io);
        case cli::Command::Update: return cli::UpdateCommand(invocation, io);
        case cli::Command::Run: return cli::RunCommand(invocation, io);
        case cli::Command::Help:
        case cli::Command::Version: break;
    }
    return kExitUsage;
}

}  // namespace

int RunCli(std::vector<std::string> args, std::ostream& out, std::ostream& err, const CliTerminal& terminal) {
    cli::Invocation invocation;
    try {
        invocation = cli::ParseArguments(args);
    } catch (const cli::UsageError& e) {
        const std::optional<cli::Command> command = args.empty() ? std::nullopt : cli::CommandNamed(args[0]);
        err << "fwupdate-cli: " << e.what() << " (see fwupdate-cli " << (command ? args[0] + " " : "")
            << "--help)\n";
        return kExitUsage;
    }
    if (invocation.command == cli::Command::Help) {
        out << cli::HelpText(invocation.helpFor);
        return kExitSuccess;
    }
    if (invocation.command == cli::Command::Version) {
        out << "fwupdate-cli " << VXE_VERSION << '\n';
        return kExitSuccess;
    }

    try {
        cli::Machine machine(invocation, err);
        const ScopedPlatform installed(machine.platform());
        const cli::CommandIo io{out, err, terminal};
        int status = Dispatch(invocation, io);
        if (terminal.inspectBus && machine.bus() != nullptr) terminal.inspectBus(*machine.bus());
        // A simulated flash that did not reach its file is lost for the next run.
        for (const std::string& problem : machine.flashFileProblems()) {
            err << "fwupdate-cli: " << cli::CommandName(invocation.command) << ": " << problem << '\n';
            status = kExitFailed;
        }
        return status;
    } catch (const cli::UsageError& e) {
        err << "fwupdate-cli: " << cli::CommandName(invocation.command) << ": " << e.what() << '\n';
        return kExitUsage;
    } catch (const std::exception& e) {
        err << "fwupdate-cli: " << cli::CommandName(invocation.command) << ": " << e.what() << '\n';
        return kExitFailed;
    }
}

int RunCli(std::vector<std::string> args, std::ostream& out, std::ostream& err) {
    return RunCli(std::move(args), out, err, CliTerminal{});
}

}  // namespace vxe
