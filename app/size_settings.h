// The two process-wide size settings and their choices. They belong to the
// process, not to the window, and keep their values for the life of the
// program; the size boxes of the engineering panel set them and the update
// procedures receive them as plain values.
#pragma once

#include <array>
#include <cstdint>

namespace vxe {

// Bytes of flash that erase-only and backup-only work on. 64 KB at start,
// although the size box shows its first item (32 KB) until the user picks one.
inline int32_t FirmwareSize = 65536;

// Bytes per step of the paged flash operations.
inline int32_t TransferPageSize = 16384;

// Indexed by the selected item of the firmware size box.
inline constexpr std::array<int32_t, 6> FirmwareSizeTable{32768, 65536, 131072, 262144, 524288, 1048576};

// Indexed by the selected item of the transfer page size box.
inline constexpr std::array<int32_t, 5> TransferPageSizeTable{32768, 16384, 8192, 4096, 2048};

}  // namespace vxe
