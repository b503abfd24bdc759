// The serial flash of the VXE720 generation, reached one transfer at a time
// through the bridge: ranged reads and writes, erase requests at erase-unit
// boundaries, programming with read-back compare and retries, and the 64 KB
// image of the one-click update.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace vxe {

inline constexpr uint32_t MaxSpiTransfer = 8192;
inline constexpr uint32_t kFirstWriteLimit = 4096;    // a write transfer at address 0
inline constexpr uint32_t kSpiRounding = 512;
inline constexpr uint32_t kBounceAlignment = 8192;
inline constexpr uint32_t kSpiImageSize = 65536;

inline constexpr int kEraseUnitVendors = 10;
extern const uint32_t SmallEraseUnit[kEraseUnitVendors];
extern const uint32_t LargeEraseUnit[kEraseUnitVendors];

// The row of the erase-unit tables for a vendor code. Codes the tables do not
// know use the row of code 0, as when the vendor could not be read at all.
uint32_t EraseUnitRow(uint32_t vendor);

bool SpiReadRange(const char* device, uint32_t address, std::span<uint8_t> destination);
bool SpiWriteRange(const char* device, uint32_t address, std::span<const uint8_t> source, uint8_t eraseMode,
                   uint32_t vendor);

// The EraseMode byte for one transfer; may shorten `length` so that no
// transfer crosses an erase-unit boundary. `unitCounter` counts the units
// already requested in this write.
uint8_t EraseModeForChunk(uint32_t address, uint32_t& length, uint8_t eraseMode, uint32_t& unitCounter,
                          uint32_t vendor);

bool SpiProgramAndCompare(const char* device, std::span<const uint8_t> image);

// Programs the embedded image behind `header` (128 bytes) and keeps the old
// flash contents beyond the image's end. `beforeWriting`, when given, sees
// the 64 KB of old contents as read, before anything is erased, and may put
// others in their place; false from it stops with nothing written.
bool SpiUpdateImage(const char* device, std::span<const uint8_t> header,
                    const std::function<bool(std::span<uint8_t>)>& beforeWriting = {});

}  // namespace vxe
