#include "gadget_profile.h"

#include <charconv>

#include "sim/profiles.h"

namespace hil {

std::optional<sim::DeviceDescription> ProfileByName(const std::string& name, bool cdrom) {
    std::optional<sim::DeviceDescription> description;
    if (name == "vxe720") {
        description = sim::Vxe720Enclosure();
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

uint64_t FlashDigest(std::span<const uint8_t> bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) {
        hash ^= b;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

}  // namespace hil
