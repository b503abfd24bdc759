#include "chip/chip_identification.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "device/vendor_commands.h"
#include "platform/platform.h"

namespace vxe {

const char kNameRows[kFlashVendorCount + kChipFamilyCount][kNameRowSize] = {
    // Flash vendors 0..9.
    "Unknown", "PMC", "SST", "ST/EON/MXIC", "ATMEL", "MXIC", "WINBOND", "AMIC", "EON",
    // Chip families 0..18; the first row doubles as flash vendor 9.
    "Unknown Chip", "RT71845 Series", "RT71846 Series", "RT71847 Series", "RT71849 Series", "RT71839 Series",
    "KSV652 Series", "KSV653 Series", "KSV655 Series", "KSV656 Series", "VXE731/720 Series", "KSV819 Series",
    "KSV809 Series", "VXE720 Series", "RT71847", "RT71848", "RT71849", "RT71845", "RT71846"};

namespace {

constexpr int kFamilyRowsStart = kFlashVendorCount - 1;  // vendor 9 == family 0

constexpr int32_t kInquiryLength = 40;
constexpr int32_t kInformationLength = 16;
constexpr int32_t kShortInformationLength = 12;
constexpr int32_t kIdStringLength = 40;
constexpr uint8_t kUnidentified = 0;

// Bounded comparison that stops at a zero byte, like strncmp.
bool SameText(const char* text, const char* expected, size_t count) {
    return std::strncmp(text, expected, count) == 0;
}

// `count` bytes as text that ends early at a zero byte.
std::string_view BoundedText(const uint8_t* bytes, size_t count) {
    size_t n = 0;
    while (n < count && bytes[n] != 0) ++n;
    return {reinterpret_cast<const char*>(bytes), n};
}

struct TagEntry {
    const char* tag;
    uint8_t family;
};

constexpr TagEntry kInquiryTags[] = {
    {"c845", 1}, {"c846", 2}, {"c847", 3},  {"c849", 4},  {"c839", 5},  {"c652", 6},  {"c653", 7},
    {"c655", 8}, {"c656", 9}, {"c819", 11}, {"c809", 12}, {"c731", 10}, {"c720", 13},
};

constexpr TagEntry kInformationTags[] = {
    {"845", 1}, {"846", 2},  {"847", 3},  {"849", 4},  {"839", 5},  {"652", 6},  {"653", 7},
    {"655", 8}, {"656", 9},  {"731", 10}, {"819", 11}, {"809", 12}, {"720", 13},
};

struct Identity {
    uint8_t family = kUnidentified;
    uint8_t revision = 0;
};

// Stage 1: the tag after the standard INQUIRY data. False when INQUIRY failed.
bool FromInquiryTag(const char* path, Identity& id, bool& matched) {
    uint8_t inquiry[kInquiryLength] = {};
    if (!Inquiry(path, inquiry, kInquiryLength)) return false;
    char tag[5] = {};
    const std::string_view text = BoundedText(inquiry + 36, 4);
    std::memcpy(tag, text.data(), text.size());
    for (const TagEntry& entry : kInquiryTags) {
        if (SameText(tag, entry.tag, 4)) {
            id.family = entry.family;
            matched = true;
            return true;
        }
    }
    return true;
}

std::string HexPair(uint8_t high, uint8_t low) {
    char text[8] = {};
    std::snprintf(text, sizeof text, "%X%X", high, low);
    return text;
}

// Stage 2: the chip information block.
void FromInformationBlock(const char* path, Identity& id) {
    uint8_t word[2] = {};
    if (!ReadIdWord(path, word)) return;
    const uint16_t w = static_cast<uint16_t>(word[0] | (word[1] << 8));
    uint8_t r[kInformationLength] = {};
    if (!GetChipInformation(path, r, kInformationLength, nullptr)) return;
    if (r[0] != 0xF4 || r[1] != 0xE7) {
        id.family = static_cast<uint8_t>(14 + ((w >> 5) & 3));
        return;
    }
    const std::string vendor = HexPair(r[2], r[3]);
    const std::string product = HexPair(r[4], r[5]);
    if (vendor.find("1E3A") != std::string::npos && product.find("2846") != std::string::npos) {
        id.family = 18;
        return;
    }
    char model[5] = {};
    const std::string_view text = BoundedText(r + 8, 4);
    std::memcpy(model, text.data(), text.size());
    for (const TagEntry& entry : kInformationTags) {
        if (SameText(model, entry.tag, 3)) {
            id.family = entry.family;
            break;
        }
    }
    id.revision = static_cast<uint8_t>(r[11] - 0x30);
}

// Stage 3 for the families that carry an identification string.
void FromIdString(const char* path, Identity& id) {
    uint8_t s[kIdStringLength] = {};
    if (!ReadIdString(path, s, kIdStringLength)) {
        if (id.family == 1) id.revision = 1;
        return;
    }
    char text[9] = {};
    const std::string_view view = BoundedText(s, 8);
    std::memcpy(text, view.data(), view.size());
    const auto digitRevision = [&] { return static_cast<uint8_t>(s[5] - 0x2F); };
    if (SameText(text, "c845C", 5)) {
        id = {1, digitRevision()};
    } else if (SameText(text, "c849C", 5)) {
        id = {4, digitRevision()};
    } else if (SameText(text, "c819A", 5)) {
        id = {11, digitRevision()};
    } else if (SameText(text, "c652", 4)) {
        id = {6, s[5] == 0 ? uint8_t{1} : digitRevision()};
    }
}

// Stage 3 for family 7: the revision character of the short information block.
void FromShortInformationBlock(const char* path, Identity& id) {
    uint8_t q[kShortInformationLength] = {};
    const bool ok = GetChipInformation(path, q, kShortInformationLength, nullptr) != 0;
    if (!ok || q[0] != 0xF4 || q[1] != 0xE7 || (q[11] != '1' && q[11] != '2')) {
        CurrentPlatform().messageBox("Get chip information fail !", "Error", MessageIcon::Error);
        return;
    }
    id.revision = q[11] == '1' ? 1 : 2;
}

}  // namespace

const char* ChipFamilyName(uint32_t family) {
    return family < kChipFamilyCount ? kNameRows[kFamilyRowsStart + family] : kNameRows[kFamilyRowsStart];
}

const char* FlashVendorName(uint32_t code) { return code < kFlashVendorCount ? kNameRows[code] : kNameRows[0]; }

ChipIdValue IdentifyChip(const char* devicePath) {
    Identity id;
    bool tagMatched = false;
    if (FromInquiryTag(devicePath, id, tagMatched) && !tagMatched) {
        FromInformationBlock(devicePath, id);
    }
    switch (id.family) {
        case 0: case 1: case 3: case 4: case 6: case 11:
            FromIdString(devicePath, id);
            break;
        case 7:
            FromShortInformationBlock(devicePath, id);
            break;
        case 10:
            if (TestMemoryFDB0(devicePath)) id.revision = 9;
            break;
        default:
            break;
    }
    return static_cast<ChipIdValue>(id.revision * 256 + id.family);
}

FlashIdentity IdentifyFlash(const char* devicePath) {
    FlashIdentity flash;
    flash.amicFlashCode = DetectAmicFlash(devicePath);
    if (flash.amicFlashCode != -1) {
        flash.displayName = "AMIC";
        return flash;
    }
    uint8_t reply[4] = {};
    if (ReadFlashVendor(devicePath, reply)) {
        flash.vendorRead = true;
        flash.vendorCode = reply[0];
        flash.displayName = FlashVendorName(reply[0]);
    }
    return flash;
}

}  // namespace vxe
