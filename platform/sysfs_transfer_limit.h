// How much data one SG_IO request through a SCSI generic node may carry.
//
// The block layer refuses a pass-through request larger than the queue's
// max_hw_sectors at once (EINVAL, nothing sent). max_sectors_kb, the bound
// for the file system's own I/O, does not apply to pass-through, and root
// may set it lower than the hardware bound, so it is not the answer here.
// usb-storage sets the bound from the link speed: 120 KiB at USB 2.0 high
// speed, 1 MiB at SuperSpeed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace vxe {

// The limit in bytes for the device node `devicePath` ("/dev/sgN"): the
// queue's max_hw_sectors_kb of the node's disk or CD-ROM, else the SCSI
// device's own max_sectors (usb-storage and uas report the same bound there,
// also when no disk driver is bound). kNoTransferLimit when the node is not
// an sg node or no bound can be read.
uint32_t SgTransferLimit(const std::filesystem::path& sysfsRoot, std::string_view devicePath);

}  // namespace vxe
