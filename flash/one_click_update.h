// The end user's update of a VXE731/720-family bridge: the device's own
// configuration header merged with the embedded image's, two configuration
// bits set, then the serial flash programmed and verified.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "flash/engine_options.h"
#include "flash/status_sink.h"

namespace vxe {

inline constexpr uint16_t kHeaderFlagsRegister = 0x7058;
inline constexpr uint8_t kHeaderFlagAlways = 0x04;   // bit 2
inline constexpr uint8_t kHeaderFlagByRule = 0x02;   // bit 1

// For each header byte: true when it comes from the new image, false when the
// device keeps its own value.
extern const std::array<bool, 128> HeaderMergeTable;

// Replaces the bytes the table marks as new.
void MergeHeader(std::span<uint8_t, 128> current, std::span<const uint8_t, 128> fresh);

// Bit 2 always; bit 1 set when the register flag is 0, cleared when the old
// header had it clear, otherwise left as the merge made it.
void ApplyHeaderFlags(std::span<uint8_t, 128> header, bool registerFlag, bool oldBit);

// Builds the header the device will get from its current one (read from
// flash) and the embedded image's. A current header without the signature
// (erased or foreign flash) is replaced whole by the new one.
std::array<uint8_t, 128> BuildUpdateHeader(std::span<const uint8_t, 128> current,
                                           std::span<const uint8_t, 128> fresh, bool registerFlag);

// The whole embedded image behind `header`, zeros after its end, through the
// block-erase / program / compare sequence.
bool ProgramHeaderedImage(const char* device, std::span<const uint8_t> header, uint32_t pageSize,
                          StatusSink& sink);

// Steps of YES for a family-10 device, from the probe of the controller to
// the verified flash. Nothing is written when the controller probe (unless
// the revision fixes the path), the configuration register or the current
// header cannot be read. `chipRevision` is the revision of the last
// identification. A `keeper` gets the current header before anything is
// changed and may offer one to merge when the device's own is gone.
int32_t RunVxe720Update(const char* device, uint8_t chipRevision, uint32_t pageSize, StatusSink& sink,
                        HeaderKeeper* keeper = nullptr);

}  // namespace vxe

namespace vxe {

struct EngineOptions;

// YES on the selected device after the window has entered its updating
// state: the VXE720-family sequence for family 10, the update engine for
// families 13, 6, 7 and 1, immediate failure (no command) for the rest.
int32_t RunOneClickUpdate(const char* device, uint16_t chipId, const EngineOptions& options, StatusSink& sink);

}  // namespace vxe
