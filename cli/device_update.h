// YES on one device, from the readout to the verdict: the one procedure that
// `update DEVICE` runs once and `update --all` runs for every device, each
// device on its own (its own status sink and notices, nothing shared but
// the platform).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "chip/chip_readout.h"
#include "cli/arguments.h"
#include "cli/guarded_procedure.h"
#include "cli/machine.h"
#include "cli/output.h"

namespace vxe::cli {

enum class UpdateState { Updated, Failed, UpToDate, NotConfirmed };

struct DeviceUpdate {
    std::string path;
    ChipReadout readout;
    UpdateState state = UpdateState::Failed;
    int32_t outcome = 0;          // the procedure's result
    std::string status;           // the status field the procedure left
    std::string_view resultText;  // the window's final text; empty when nothing ran
    std::string error;            // why it failed, for the report
    std::vector<Notice> notices;  // message boxes shown meanwhile
    int exitStatus = 1;
    std::string oldHeaderFile;    // where the device's own header was kept; empty: none
    bool headerFromFile = false;  // the --header-from header was merged
    std::string headerFrom;       // that file
    std::string recoveredFrom;    // the kept old flash of a cut-off update written again; empty: none
    GuardedRun guarded;           // what the write guard saw
    std::vector<std::string> notes;  // what came between: another device, a signal
    bool busy = false;            // another procedure held the device; nothing more was sent
};

struct DeviceUpdateSettings {
    bool force = false;              // write also when the firmware is already current
    std::ostream* progress = nullptr;  // draw the bar there (a terminal), or nowhere
    // Asked after the readout, before anything is written; none: go ahead.
    std::function<bool(const DeviceUpdate&)> confirm;
    // --header-from and --json come from here.
    const Invocation* invocation = nullptr;
    // Where the kept header is named ("old header: FILE") as soon as it is
    // written; null: on `err` instead, as "fwupdate-cli: update: PATH:
    // old header: FILE".
    std::ostream* keptHeaderOut = nullptr;
    std::ostream* err = nullptr;
    // Take the device lock here (false: the caller holds it already).
    bool lockDevice = false;
    // What the device was when the device pass first spoke to it; none: what
    // it is when the procedure starts.
    std::optional<std::string> identity;
};

// Reads the device out as the window does before YES can be pressed, leaves
// a device whose flash already holds the built-in firmware alone (unless
// forced), then runs the one-click update. Never throws.
DeviceUpdate UpdateDevice(const std::string& path, const DeviceUpdateSettings& settings);

const char* UpdateStateName(UpdateState state);

// The device's part of a report: members for JSON, lines for the terminal.
// `inBatch`: one device of `update --all`, which may have been busy.
JsonObject& AddDeviceUpdate(JsonObject& object, const DeviceUpdate& update, bool inBatch = false);
void PrintDeviceUpdate(std::ostream& out, const DeviceUpdate& update);

}  // namespace vxe::cli
