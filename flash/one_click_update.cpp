#include "flash/one_click_update.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "chip/firmware_image.h"
#include "device/buffers.h"
#include "device/vendor_commands.h"
#include "flash/paged_flash.h"
#include "flash/spi_flash.h"

namespace vxe {
namespace {

constexpr uint8_t kDirectRevision = 9;

constexpr std::array<bool, 128> MakeMergeTable() {
    std::array<bool, 128> table{};
    for (int at : {4, 5, 9, 11, 13, 46, 47, 49, 81, 82, 83, 85}) table[at] = true;
    for (int at = 117; at <= 127; ++at) table[at] = true;
    return table;
}

}  // namespace

const std::array<bool, 128> HeaderMergeTable = MakeMergeTable();

void MergeHeader(std::span<uint8_t, 128> current, std::span<const uint8_t, 128> fresh) {
    for (size_t i = 0; i < current.size(); ++i) {
        if (HeaderMergeTable[i]) current[i] = fresh[i];
    }
}

void ApplyHeaderFlags(std::span<uint8_t, 128> header, bool registerFlag, bool oldBit) {
    uint8_t& flags = header[HeaderFlagsOffset];
    flags |= kHeaderFlagAlways;
    if (!registerFlag) {
        flags |= kHeaderFlagByRule;
    } else if (!oldBit) {
        flags &= static_cast<uint8_t>(~kHeaderFlagByRule);
    }
}

std::array<uint8_t, 128> BuildUpdateHeader(std::span<const uint8_t, 128> current,
                                           std::span<const uint8_t, 128> fresh, bool registerFlag) {
    std::array<uint8_t, 128> header{};
    std::copy(current.begin(), current.end(), header.begin());
    bool oldBit = false;
    if (HasHeaderSignature(header, FirmwareHeaderSize)) {
        oldBit = (header[HeaderFlagsOffset] & kHeaderFlagByRule) != 0;  // the device's own bit
        MergeHeader(header, fresh);
    } else {
        std::copy(fresh.begin(), fresh.end(), header.begin());
        oldBit = (header[HeaderFlagsOffset] & kHeaderFlagByRule) != 0;
    }
    ApplyHeaderFlags(header, registerFlag, oldBit);
    return header;
}

bool ProgramHeaderedImage(const char* device, std::span<const uint8_t> header, uint32_t pageSize,
                          StatusSink& sink) {
    if (header.size() < FirmwareHeaderSize) return false;
    ZeroedBlock buffer = AllocZeroed(kSpiImageSize);
    if (!buffer) return false;
    LoadEmbeddedImage(buffer.span(), 0, 0);
    std::memcpy(buffer.data(), header.data(), FirmwareHeaderSize);
    return ProgramFlashImage(device, buffer.span(), pageSize, sink);
}

int32_t RunVxe720Update(const char* device, uint8_t chipRevision, uint32_t pageSize, StatusSink& sink,
                        HeaderKeeper* keeper) {
    // The image must be there and fit the 64 KB the update writes before
    // anything is sent: both paths erase before they program.
    std::array<uint8_t, 128> fresh{};
    const uint32_t imageSize = LoadEmbeddedImage(fresh, 0, FirmwareHeaderSize);
    if (imageSize < FirmwareHeaderSize || imageSize > kSpiImageSize) return 0;

    // The probe picks the path, and the paths differ in what they keep
    // beyond the image; the register decides a configuration bit. Guessing
    // either would write something the device did not ask for, so without
    // their answers nothing is written.
    bool probeAnswered = false;
    const bool direct = TestMemory505E(device, &probeAnswered) != 0;
    if (!probeAnswered && chipRevision != kDirectRevision) return 0;
    PrepareForUpdate(device);

    uint8_t reg[4] = {};
    int32_t delivered = 0;
    if (!ReadMemory(device, reg, kHeaderFlagsRegister, 4, &delivered) || delivered != 4) return 0;
    const bool registerFlag = (reg[0] & 0x01) != 0;

    std::array<uint8_t, 128> current{};
    const bool read = SpiReadRange(device, 0, current);
    // An update of this device that was cut off is written as it would have
    // been: its kept header and old contents, not what the flash holds now.
    const std::optional<KeptFlash> recovered = keeper != nullptr ? keeper->recovery() : std::nullopt;
    const bool own = read && HasHeaderSignature(current, FirmwareHeaderSize);
    if (recovered) {
        current = recovered->header;
    } else if (!own) {
        // Without the current header there is nothing sound to write: its
        // device-specific bytes would be lost, unless a kept copy stands in.
        const std::optional<std::array<uint8_t, 128>> kept =
            keeper != nullptr ? keeper->fallback() : std::nullopt;
        if (kept) current = *kept;
        else if (!read) return 0;
    }
    if (keeper != nullptr && !keeper->keep(current)) return 0;
    const std::array<uint8_t, 128> header = BuildUpdateHeader(current, fresh, registerFlag);

    if (direct || chipRevision == kDirectRevision) {
        return SpiUpdateImage(device, header, [&](std::span<uint8_t> old) {
                   if (recovered && recovered->image.size() == old.size()) {
                       std::copy(recovered->image.begin(), recovered->image.end(), old.begin());
                   }
                   return keeper == nullptr || keeper->keepOldFlash(old);
               })
                   ? 1
                   : 0;
    }
    return ProgramHeaderedImage(device, header, pageSize, sink) ? 1 : 0;
}

}  // namespace vxe

#include "chip/chip_identification.h"
#include "flash/engine_options.h"
#include "flash/update_engine.h"

namespace vxe {

int32_t RunOneClickUpdate(const char* device, uint16_t chipId, const EngineOptions& options, StatusSink& sink) {
    switch (ChipFamilyOf(chipId)) {
        case 10:
            return RunVxe720Update(device, ChipRevisionOf(chipId), options.transferPageSize, sink,
                                   options.headerKeeper);
        case 13: case 6: case 7: case 1:
            return RunFlashUpdate(device, options, sink);
        default:
            return 0;
    }
}

}  // namespace vxe
