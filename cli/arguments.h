// The command line, parsed and checked before anything touches a device.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "flash/engine_options.h"

namespace vxe::cli {

enum class Command { Help, Version, List, Info, CheckFile, Update, Run };

struct Invocation {
    Command command = Command::Help;
    std::optional<Command> helpFor;  // Help: the subcommand asked about
    bool json = false;
    std::string traceFile;
    std::string busDirectory;  // empty: the machine's own devices
    bool realTime = false;     // --bus: simulated times take wall-clock time

    std::string device;        // info, update, run: a list index or a device path
    std::string file;          // check-file
    uint16_t chipId = 0;       // check-file
    bool yes = false;          // update: no question asked
    std::string headerFrom;    // update: a kept header to merge when the device's own is gone
    bool force = false;        // update: also when the firmware is already current
    bool all = false;          // update: every listed device instead of DEVICE
    unsigned jobs = 1;         // update --all: devices updated at once

    // run
    std::string firmwareFile;
    bool eraseOnly = false;
    bool backupOnly = false;
    std::string backupFile;    // empty: the engines' default name
    int32_t flashType = 0;
    bool a1Chip = false;
    uint32_t firmwareSize = kDefaultFirmwareSize;
    uint32_t transferPageSize = kDefaultTransferPageSize;
};

// More jobs than the device table has rows would only wait.
inline constexpr unsigned kMaxJobs = 16;

// One line, without the program name; the caller adds it.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws UsageError for anything it cannot accept, files included (a file to
// check or to program must be readable, a backup must have a folder to go to).
Invocation ParseArguments(const std::vector<std::string>& args);

const char* CommandName(Command command);
std::optional<Command> CommandNamed(std::string_view name);

// DEVICE as a list index, when it is one.
std::optional<size_t> DeviceIndex(const std::string& device);

}  // namespace vxe::cli
