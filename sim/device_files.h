// Simulated devices described by small text files, one device per file, so
// that a bus can be set up without writing code (the command line's --bus and
// the demo). The format is line-based `key = value`; docs/simulated-devices.md
// describes every key.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sim/bridge.h"
#include "sim/bus.h"
#include "sim/device_description.h"

namespace sim {

// What one description file asks for.
struct DeviceFile {
    std::string fileName;  // the description file, as the user named it
    std::string path;      // the device interface path on the bus
    InterfaceClass interfaceClass = InterfaceClass::Disk;
    bool usbStorage = true;
    DeviceDescription description;
    Faults faults;
    std::string flashFile;  // empty: the flash lives in memory only
    int flashFileLine = 0;  // where the description names it
    bool realTime = false;  // the device's times pass on the wall clock
    std::optional<uint64_t> givenAwayAfter;  // the path names another device after this many commands
    std::optional<SignalAt> signalAt;        // the program is sent a signal before this command
};

// A description that cannot be used. The message names the file, the line
// when there is one, and the field: "a.device:4: family: ...".
class DeviceFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::string_view kDeviceFileExtension = ".device";

// Reads one description. `directory` is where relative flash file names
// point; `fileName` only names the description in messages and gives the
// default device path (the name without its extension).
DeviceFile ParseDeviceFile(std::string_view text, const std::string& fileName, const std::string& directory);

// Every *.device file of `directory`, in file name order. A directory that
// cannot be read, a file that cannot be read, a malformed file or two files
// naming the same device path or flash file throw DeviceFileError.
std::vector<DeviceFile> LoadDeviceDirectory(const std::string& directory);

// Puts the devices on the bus in the given order and attaches their flash
// files (read now and again whenever a procedure takes the device's lock,
// written back after every command that changes the flash; a missing file is
// an erased flash, created on the first change). A flash file that cannot be
// read or does not hold exactly the flash's size throws DeviceFileError.
// Each device's identity is its description file's canonical path.
void AddDevicesToBus(Bus& bus, const std::vector<DeviceFile>& files);

// True when a device asks for the wall clock: the whole bus then runs on it.
bool WantsRealTime(const std::vector<DeviceFile>& files);

}  // namespace sim
