// The two device notices the window acts on, with the codes Windows gives
// them in WM_DEVICECHANGE (DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE). Named
// apart from <dbt.h>, which defines those names as macros.
#pragma once

#include <cstdint>

namespace vxe {

inline constexpr uint32_t kDeviceArrival = 0x8000;
inline constexpr uint32_t kDeviceRemoveComplete = 0x8004;

}  // namespace vxe
