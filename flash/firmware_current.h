// Whether a device already holds the firmware that travels with the utility.
#pragma once

namespace vxe {

// True when the device is a VXE731/720-family bridge whose serial flash holds
// the embedded image from the end of the header to the end of the image.
bool IsFirmwareCurrent(const char* device);

}  // namespace vxe
