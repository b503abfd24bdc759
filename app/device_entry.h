// One row of the window's device table: a candidate device found by the last
// refresh. Row k is the device shown as item k of the device list.
#pragma once

#include <array>
#include <cstdint>

namespace vxe {

struct DeviceEntry {
    char DevicePath[256];    // interface path in lower case, NUL-terminated
    char DriveLetters[15];   // shown in the Drives field; nothing fills it
    int32_t DetachAtExit;    // 1: found as a CD-ROM, detached when the window goes
};

inline constexpr std::size_t kDeviceTableRows = 16;

using DeviceTableRows = std::array<DeviceEntry, kDeviceTableRows>;

}  // namespace vxe
