// Chip identification and the status readout against a device whose every
// reply, transfer length and transport failure comes from the input.
#include <cstdint>
#include <cstdlib>

#include "chip/chip_identification.h"
#include "chip/chip_readout.h"
#include "tests/fuzz/scripted_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    vxe::fuzz::ScriptedPlatform platform(input);
    const vxe::ScopedPlatform installed(platform);
    const char* path = vxe::fuzz::ScriptedPlatform::kPath;

    const vxe::ChipIdValue id = vxe::IdentifyChip(path);
    if (vxe::ChipFamilyOf(id) >= vxe::kChipFamilyCount) std::abort();

    // No firmware file is chosen: the file check has a target of its own.
    const vxe::ChipReadout readout = vxe::ReadChipStatus(path, false, "");
    if (vxe::ChipFamilyOf(readout.chipId) >= vxe::kChipFamilyCount) std::abort();
    if (readout.chipName.empty() || readout.versionText.size() > 31) std::abort();
    return 0;
}
