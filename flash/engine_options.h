// What the update procedures read from the window, handed over as plain
// values: the engineering switches, the chosen names and the size settings.
#pragma once

#include <cstdint>
#include <string>

namespace vxe {

inline constexpr uint32_t kDefaultFirmwareSize = 65536;
inline constexpr uint32_t kDefaultTransferPageSize = 16384;

struct EngineOptions {
    bool rdVersion = false;         // "RD Version" ticked
    bool backupOnly = false;        // "Backup Old Firmware Only" ticked
    bool eraseOnly = false;         // the window's erase-only flag
    bool a1Chip = false;            // "A1 Chip" ticked
    int32_t amicFlashCode = 0;      // as the last readout left it
    std::string backupFileName;     // text of the backup file field
    uint32_t firmwareSize = kDefaultFirmwareSize;
    uint32_t transferPageSize = kDefaultTransferPageSize;
};

}  // namespace vxe
