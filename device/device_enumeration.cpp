#include "device/device_enumeration.h"

#include <cstring>

namespace vxe {

int32_t EnumerateInterfaces(InterfaceClass cls, PathSlots& slots, int32_t first) {
    int32_t written = 0;
    for (const std::string& path : CurrentPlatform().enumerateInterfaces(cls)) {
        const int32_t slot = first + written;
        if (slot < 0 || slot >= kPathSlotCount) break;
        if (path.size() >= static_cast<size_t>(kPathSlotSize)) continue;
        std::memcpy(slots[slot].data(), path.c_str(), path.size() + 1);
        ++written;
    }
    return written;
}

}  // namespace vxe
