#include "flash/firmware_current.h"

#include <cstring>

#include "chip/chip_identification.h"
#include "chip/firmware_image.h"
#include "device/buffers.h"
#include "flash/spi_flash.h"

namespace vxe {
namespace {
constexpr uint8_t kTargetFamily = 10;
}

bool IsFirmwareCurrent(const char* device, std::optional<std::array<uint8_t, 128>>* headerRead) {
    if (ChipFamilyOf(IdentifyChip(device)) != kTargetFamily) return false;
    ZeroedBlock flash = AllocZeroed(kSpiImageSize);
    ZeroedBlock image = AllocZeroed(kSpiImageSize);
    if (!flash || !image) return false;
    const uint32_t imageSize = LoadEmbeddedImage(image.span().first(kSpiImageSize), 0, 0);
    // The comparison needs an image that reaches past its header and fits the
    // 64 KB that are read; anything else cannot be "current".
    if (imageSize <= FirmwareHeaderSize || imageSize > kSpiImageSize) return false;
    if (!SpiReadRange(device, 0, flash.span().first(kSpiImageSize))) return false;
    if (headerRead != nullptr) {
        headerRead->emplace();
        std::memcpy((*headerRead)->data(), flash.data(), FirmwareHeaderSize);
    }
    return std::memcmp(flash.data() + FirmwareHeaderSize, image.data() + FirmwareHeaderSize,
                       imageSize - FirmwareHeaderSize) == 0;
}

}  // namespace vxe
