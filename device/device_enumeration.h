// The candidate devices of one refresh: the device interface paths of the USB
// storage driver, disk class first, in a fixed number of fixed-size slots.
#pragma once

#include <array>
#include <cstdint>

#include "platform/platform.h"

namespace vxe {

inline constexpr int32_t kPathSlotCount = 16;
inline constexpr int32_t kPathSlotSize = 256;
using PathSlots = std::array<std::array<char, kPathSlotSize>, kPathSlotCount>;

// Writes the paths of one interface class into the slots from `first` on and
// returns how many it wrote. Paths that do not fit a slot with their NUL, and
// paths beyond the last slot, are left out: a shortened path would name
// another device or none.
int32_t EnumerateInterfaces(InterfaceClass cls, PathSlots& slots, int32_t first);

}  // namespace vxe
