// Whether a device already holds the firmware that travels with the utility.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace vxe {

// True when the device is a VXE731/720-family bridge whose serial flash holds
// the embedded image from the end of the header to the end of the image.
// `headerRead`, when given, gets the first 128 bytes of the flash when they
// were read (the same read, no command more).
bool IsFirmwareCurrent(const char* device, std::optional<std::array<uint8_t, 128>>* headerRead = nullptr);

}  // namespace vxe
