// Finds the SCSI devices that sit behind the USB storage drivers by walking
// sysfs. The root is a parameter so that the walk can run over a tree built
// by a test.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vxe {

// The /dev/sgN nodes of the present SCSI devices of one class (peripheral
// type 0 for Disk, 5 for CdRom) whose USB interface is bound to the
// "usb-storage" or "uas" driver, ordered by sg number. The sg node is the
// one that passes vendor command blocks without CAP_SYS_RAWIO.
//
// Devices of any other driver (SATA, virtio, NVMe, ...), devices whose
// attributes cannot be read and entries that do not look like sg devices are
// left out; nothing here throws.
std::vector<std::string> EnumerateUsbStorageSgNodes(const std::filesystem::path& sysfsRoot, InterfaceClass cls);

}  // namespace vxe
