#include "gadget_profile.h"

#include <charconv>
#include <cstdio>

#include "sim/profiles.h"

namespace hil {

std::optional<sim::DeviceDescription> ProfileByName(const std::string& name, bool cdrom) {
    std::optional<sim::DeviceDescription> description;
    if (name == "vxe720") {
        description = sim::Vxe720Enclosure();
    } else if (name == "vxe720-direct" || name == "vxe720-direct-mxic") {
        sim::ProfileOptions options;
        options.memory505eDirect = true;
        if (name == "vxe720-direct-mxic") options.flashVendorCode = 5;
        description = sim::Vxe720Enclosure(options);
    } else if (name == "plain") {
        description = sim::PlainUsbDisk();
    } else if (name.rfind("family:", 0) == 0) {
        int family = 0;
        const char* first = name.data() + 7;
        const char* last = name.data() + name.size();
        auto [end, ec] = std::from_chars(first, last, family);
        if (ec == std::errc{} && end == last && family >= 1 && family <= 18) {
            description = sim::ProfileForFamily(family);
        }
    }
    if (description && cdrom && !description->inquiry.empty()) {
        description->inquiry[0] = static_cast<uint8_t>((description->inquiry[0] & 0xE0) | 0x05);
    }
    return description;
}

std::string CommandKind(std::span<const uint8_t> cdb) {
    if (cdb.empty()) return "none";
    char text[16] = {};
    if (cdb[0] == 0xFF && cdb.size() > 2 && cdb[1] == 0x04) {
        std::snprintf(text, sizeof text, "ff04:%02x", cdb[2]);
    } else if (cdb[0] == 0xDF && cdb.size() > 11) {
        std::snprintf(text, sizeof text, "df:%02x", cdb[11]);
    } else {
        std::snprintf(text, sizeof text, "%02x", cdb[0]);
    }
    return text;
}

bool IsVendorWrite(std::span<const uint8_t> cdb) {
    if (cdb.size() > 11 && cdb[0] == 0xDF) return cdb[11] == 0xFB;
    if (cdb.size() < 3 || cdb[0] != 0xFF || cdb[1] != 0x04) return false;
    switch (cdb[2]) {
        case 0x01: case 0x02: case 0x04: case 0x05:  // parallel erase, program, pre-erase, internal ROM
        case 0x11: case 0x13: case 0x14:             // serial program, chip erase, block erase
        case 0x25: case 0x43:                        // prepare for update, host attach/detach
            return true;
        default:
            return false;
    }
}

uint64_t FlashDigest(std::span<const uint8_t> bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) {
        hash ^= b;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

}  // namespace hil
