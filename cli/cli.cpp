#include "cli/cli.h"

#include <exception>
#include <iostream>
#include <optional>

#include "app/interruption_guard.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/help.h"
#include "cli/machine.h"
#include "cli/output.h"

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

// --json counts even on a line that could not be parsed, so that a script
// gets its object for a usage error too.
bool AsksForJson(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "--json") return true;
    }
    return false;
}

int Refuse(const std::vector<std::string>& args, std::string_view command, std::string_view message, int status,
           std::ostream& out, std::ostream& err) {
    err << "fwupdate-cli: " << message << '\n';
    if (AsksForJson(args)) {
        cli::JsonObject document = cli::JsonDocument(command);
        out << cli::AddError(document, message, status).str() << '\n';
    }
    return status;
}

}  // namespace

int RunCli(std::vector<std::string> args, std::ostream& out, std::ostream& err, const CliTerminal& terminal) {
    cli::Invocation invocation;
    try {
        invocation = cli::ParseArguments(args);
    } catch (const cli::UsageError& e) {
        const std::optional<cli::Command> command = args.empty() ? std::nullopt : cli::CommandNamed(args[0]);
        return Refuse(args, command ? cli::CommandName(*command) : "",
                      std::string(e.what()) + " (see fwupdate-cli " + (command ? args[0] + " " : "") + "--help)",
                      kExitUsage, out, err);
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
        // The whole command is held to its end: a signal stops what has not
        // begun writing, lets what writes finish, and the program exits as
        // the signal asked, with its one report.
        const InterruptionGuard interruption;
        cli::Machine machine(invocation, err, terminal.devices);
        const ScopedPlatform installed(machine.platform());
        const cli::NoticeCapture notices;
        const cli::CommandIo io{out, err, terminal, notices};
        int status = Dispatch(invocation, io);
        if (terminal.inspectBus && machine.bus() != nullptr) terminal.inspectBus(*machine.bus());
        // A simulated flash that did not reach its file is lost for the next run.
        for (const std::string& problem : machine.flashFileProblems()) {
            err << "fwupdate-cli: " << cli::CommandName(invocation.command) << ": " << problem << '\n';
            status = kExitFailed;
        }
        // Written out while signals are still held back: a closed pipe found
        // now fails the write, and is said, instead of ending the program.
        out.flush();
        err.flush();
        if (const int signal = PendingSignal(); signal != 0 && status != ExitStatusForSignal(signal)) {
            err << "fwupdate-cli: " << cli::CommandName(invocation.command) << ": " << SignalName(signal)
                << " came; the command was finished first" << std::endl;
            status = ExitStatusForSignal(signal);
        }
        return status;
    } catch (const cli::UsageError& e) {
        const std::string command = cli::CommandName(invocation.command);
        return Refuse(args, command, command + ": " + e.what(), kExitUsage, out, err);
    } catch (const std::exception& e) {
        const std::string command = cli::CommandName(invocation.command);
        return Refuse(args, command, command + ": " + e.what(), kExitFailed, out, err);
    }
}

int RunCli(std::vector<std::string> args, std::ostream& out, std::ostream& err) {
    return RunCli(std::move(args), out, err, CliTerminal{});
}

}  // namespace vxe
