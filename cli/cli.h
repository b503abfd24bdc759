// fwupdate-cli: the utility's device pass, readout, file check, YES and Run
// from a shell, on the machine's devices or on simulated ones described by
// files.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace sim {
class Bus;
}

namespace vxe {

class Platform;

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;     // the operation ran and failed, or was declined
inline constexpr int kExitUsage = 2;      // bad command line or device description; nothing sent
inline constexpr int kExitNoDevice = 3;   // DEVICE names no device
inline constexpr int kExitUpToDate = 4;   // update: the firmware is already current; nothing written

// What the command line may use of the terminal it runs in.
struct CliTerminal {
    std::istream* input = nullptr;  // where confirmations are read; none: never confirmed
    bool inputIsTerminal = false;   // the answer's own line end ends the question's line
    bool outputIsTerminal = false;  // draw the progress bar on `out`
    // Called when the command is done, while a simulated bus still exists
    // (the tests look at the simulator's command logs through it).
    std::function<void(sim::Bus&)> inspectBus;
    // Tests: the devices to work on instead of the machine's (--bus still
    // takes precedence). The fault sweep drives the command line this way.
    Platform* devices = nullptr;
};

// `args` are the arguments after the program name. Results go to `out`,
// errors (one line each), message boxes and questions to `err`; with --json
// every outcome, failures included, is also one JSON object on `out`.
// Returns the exit status.
int RunCli(std::vector<std::string> args, std::ostream& out, std::ostream& err, const CliTerminal& terminal);
int RunCli(std::vector<std::string> args, std::ostream& out, std::ostream& err);

}  // namespace vxe
