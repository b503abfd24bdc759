// What the update procedures read from the window, handed over as plain
// values: the engineering switches, the chosen names and the size settings.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vxe {

inline constexpr uint32_t kDefaultFirmwareSize = 65536;
inline constexpr uint32_t kDefaultTransferPageSize = 16384;

// Where YES puts the device's own configuration header before it changes
// anything, and where it finds one to merge when the device's is gone.
class HeaderKeeper {
public:
    virtual ~HeaderKeeper() = default;
    // The device's own header as read (it carries the signature), before the
    // first command that changes the flash. False stops YES; nothing is written.
    virtual bool keep(std::span<const uint8_t, 128> header) = 0;
    // A header to merge in place of the device's own when that cannot be
    // read or lacks the signature; nothing when there is none.
    virtual std::optional<std::array<uint8_t, 128>> fallback() = 0;
};

struct EngineOptions {
    bool rdVersion = false;         // "RD Version" ticked
    bool backupOnly = false;        // "Backup Old Firmware Only" ticked
    bool eraseOnly = false;         // the window's erase-only flag
    bool a1Chip = false;            // "A1 Chip" ticked
    int32_t amicFlashCode = 0;      // as the last readout left it
    std::string backupFileName;     // text of the backup file field
    uint32_t firmwareSize = kDefaultFirmwareSize;
    uint32_t transferPageSize = kDefaultTransferPageSize;
    HeaderKeeper* headerKeeper = nullptr;  // none: nothing kept, nothing to fall back on
};

}  // namespace vxe
