// Who sits behind a device: the chip family and revision of the bridge, and
// the maker of its serial flash. Also the two display tables of the product.
#pragma once

#include <cstdint>
#include <string>

namespace vxe {

// Low byte the chip family (0..18), high byte the revision or variant code.
using ChipIdValue = uint16_t;
constexpr uint8_t ChipFamilyOf(ChipIdValue id) { return static_cast<uint8_t>(id & 0xFF); }
constexpr uint8_t ChipRevisionOf(ChipIdValue id) { return static_cast<uint8_t>(id >> 8); }

inline constexpr int kNameRowSize = 20;
inline constexpr int kFlashVendorCount = 10;
inline constexpr int kChipFamilyCount = 19;

// The flash vendor rows and the chip family rows lie back to back in one
// block of 20-byte rows: flash vendor 9 reads the same as chip family 0.
extern const char kNameRows[kFlashVendorCount + kChipFamilyCount][kNameRowSize];

// Bounded lookups. A family outside the table reads as "Unknown Chip"; a
// flash vendor code above 9 reads as "Unknown", as a flash the product does
// not know.
const char* ChipFamilyName(uint32_t family);
const char* FlashVendorName(uint32_t code);

ChipIdValue IdentifyChip(const char* devicePath);

// Names the serial flash: an AMIC part by its JEDEC identifier, otherwise by
// the vendor code the bridge reports.
struct FlashIdentity {
    int32_t amicFlashCode = -1;
    bool vendorRead = false;   // the vendor command succeeded
    uint8_t vendorCode = 0;
    std::string displayName;   // empty when the flash stays unnamed
};
FlashIdentity IdentifyFlash(const char* devicePath);

}  // namespace vxe
