// What the update procedures read from the window, handed over as plain
// values: the engineering switches, the chosen names and the size settings.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vxe {

inline constexpr uint32_t kDefaultFirmwareSize = 65536;
inline constexpr uint32_t kDefaultTransferPageSize = 16384;

// What an update read of the device's old flash and would write back: the
// header it merged and, where it keeps the old contents beyond the image's
// end, the whole 64 KB it read.
struct KeptFlash {
    std::array<uint8_t, 128> header{};
    std::vector<uint8_t> image;  // empty, or the whole 64 KB as read
};

// Where YES puts what it read of the device's old flash before it changes
// anything, and where it finds that again when an earlier update of the
// device was cut off (a kill, a power loss) or the device's header is gone.
class HeaderKeeper {
public:
    virtual ~HeaderKeeper() = default;
    // The old flash of an update of this device that was cut off: written as
    // that update would have written it, whatever the device holds now.
    virtual std::optional<KeptFlash> recovery() { return std::nullopt; }
    // A header to merge in place of the device's own when that cannot be
    // read or lacks the signature; nothing when there is none.
    virtual std::optional<std::array<uint8_t, 128>> fallback() { return std::nullopt; }
    // The header the update merges (the device's own as read, the fallback
    // or the recovered one), before the first command that changes the
    // flash. False stops YES; nothing is written.
    virtual bool keep(std::span<const uint8_t, 128> header) = 0;
    // The whole old flash, where the update writes its contents back beyond
    // the image's end, before the first erase. False stops; nothing written.
    virtual bool keepOldFlash(std::span<const uint8_t> flash) {
        (void)flash;
        return true;
    }
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
