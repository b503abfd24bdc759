// The device a rig run serves, as named on the guest's command line, so the
// gadget and the test driver in the guest agree on what the bridge answers.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sim/device_description.h"

namespace hil {

// "vxe720" (the one-click target, programmed through the paged FF 04 path),
// "vxe720-direct" (the same answering the 0x505E probe, programmed through
// the serial flash writes), "vxe720-direct-mxic" (the same with an MXIC
// serial flash, which the update writes once and lets settle for half a
// second before the writes proper), "plain" (a USB stick without a bridge)
// or "family:N" (a bridge of chip family N, 1..18, identified by its INQUIRY tag).
// `cdrom` makes it report peripheral type 5 instead of a disk.
std::optional<sim::DeviceDescription> ProfileByName(const std::string& name, bool cdrom = false);

// "ff04:11", "df:fb", "e0", "12": the opcode and, for the two vendor groups,
// the sub-command (byte 2 of FF 04, byte 11 of DF).
std::string CommandKind(std::span<const uint8_t> cdb);

// Whether a command of the vendor set changes anything on the bridge: the
// serial flash write, the FF 04 erases and programs, prepare-for-update,
// internal ROM and the host attach/detach.
bool IsVendorWrite(std::span<const uint8_t> cdb);

// FNV-1a, 64 bits: enough to tell flash contents apart in a log line.
uint64_t FlashDigest(std::span<const uint8_t> bytes);

}  // namespace hil
