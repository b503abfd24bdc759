// The device a rig run serves, as named on the guest's command line, so the
// gadget and the test driver in the guest agree on what the bridge answers.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sim/device_description.h"

namespace hil {

// "vxe720" (the one-click target), "plain" (a USB stick without a bridge) or
// "family:N" (a bridge of chip family N, 1..18, identified by its INQUIRY tag).
// `cdrom` makes it report peripheral type 5 instead of a disk.
std::optional<sim::DeviceDescription> ProfileByName(const std::string& name, bool cdrom = false);

// FNV-1a, 64 bits: enough to tell flash contents apart in a log line.
uint64_t FlashDigest(std::span<const uint8_t> bytes);

}  // namespace hil
