#include "flash/spi_flash.h"

#include <algorithm>
#include <cstring>

#include "chip/firmware_image.h"
#include "device/buffers.h"
#include "device/vendor_commands.h"
#include "platform/platform.h"

namespace vxe {

const uint32_t SmallEraseUnit[kEraseUnitVendors] = {4096, 4096, 4096, 32768, 32768, 4096, 4096, 4096, 32768, 4096};
const uint32_t LargeEraseUnit[kEraseUnitVendors] = {32768, 32768, 32768, 65536, 65536,
                                                    65536, 65536, 65536, 65536, 65536};

namespace {

constexpr uint32_t kVendorNeedingPreWrite = 5;
constexpr uint8_t kFirstTransferFlag = 0x80;
constexpr uint32_t kPreWriteSettleMs = 500;
constexpr int kAttempts = 3;

uint32_t RoundUpTo512(size_t length) {
    return static_cast<uint32_t>((length + kSpiRounding - 1) / kSpiRounding * kSpiRounding);
}

}  // namespace

uint32_t EraseUnitRow(uint32_t vendor) { return vendor < kEraseUnitVendors ? vendor : 0; }

bool SpiReadRange(const char* device, uint32_t address, std::span<uint8_t> destination) {
    if (destination.empty()) return false;
    const uint32_t total = RoundUpTo512(destination.size());
    AlignedBlock bounce(total, kBounceAlignment);
    if (!bounce) return false;
    bool result = false;
    for (uint32_t done = 0; done < total;) {
        const uint32_t transfer = std::min(total - done, MaxSpiTransfer);
        WaitFlashReady(device);
        // A transfer that delivered fewer bytes than asked failed, even when
        // the request itself went through: the missing bytes would pass for
        // flash contents.
        int32_t delivered = 0;
        if (!SpiFlashRead(device, address + done, bounce.data() + done, static_cast<int32_t>(transfer), &delivered) ||
            delivered != static_cast<int32_t>(transfer)) {
            result = false;
            break;
        }
        result = true;
        done += transfer;
    }
    // Also after a failure: what was not read stays zero.
    std::memcpy(destination.data(), bounce.data(), destination.size());
    return result;
}

bool SpiWriteRange(const char* device, uint32_t address, std::span<const uint8_t> source, uint8_t eraseMode,
                   uint32_t vendor) {
    if (source.empty()) return false;
    const uint32_t total = RoundUpTo512(source.size());
    AlignedBlock bounce(total, kBounceAlignment);
    if (!bounce) return false;
    std::memcpy(bounce.data(), source.data(), source.size());  // the rounding tail stays zero
    uint32_t unitCounter = 0;
    bool result = false;
    for (uint32_t done = 0; done < total;) {
        uint32_t length = std::min(total - done, MaxSpiTransfer);
        const uint32_t transferAddress = address + done;
        if (transferAddress == 0 && length > kFirstWriteLimit) length = kFirstWriteLimit;
        uint8_t mode = EraseModeForChunk(transferAddress, length, eraseMode, unitCounter, vendor);
        if (transferAddress == 0 && vendor == kVendorNeedingPreWrite && mode != 0) mode |= kFirstTransferFlag;
        WaitFlashReady(device);
        if (length == 0 ||
            !SpiFlashWrite(device, transferAddress, bounce.data() + done, static_cast<int32_t>(length), mode)) {
            result = false;
            break;
        }
        result = true;
        done += length;
    }
    return result;
}

uint8_t EraseModeForChunk(uint32_t address, uint32_t& length, uint8_t eraseMode, uint32_t& unitCounter,
                          uint32_t vendor) {
    uint32_t unit = 0;
    switch (eraseMode) {
        case 0:
            return 0;
        case 1: case 4:
            unit = SmallEraseUnit[EraseUnitRow(vendor)];
            break;
        case 2: case 5:
            unit = LargeEraseUnit[EraseUnitRow(vendor)];
            break;
        case 3: case 6: case 7:
            return address == 0 ? eraseMode : 0;
        default:
            return 0;
    }
    uint8_t result = 0;
    const uint64_t unitStart = static_cast<uint64_t>(unit) * unitCounter;
    if (unitStart <= address) {
        ++unitCounter;
        result = eraseMode;
    }
    const uint64_t nextBoundary = static_cast<uint64_t>(unit) * unitCounter;
    if (nextBoundary <= static_cast<uint64_t>(address) + length) {
        length = static_cast<uint32_t>(nextBoundary - address);
    }
    return result;
}

bool SpiProgramAndCompare(const char* device, std::span<const uint8_t> image) {
    ZeroedBlock readBack = AllocZeroed(image.size());
    if (!readBack || image.empty()) return false;

    WaitFlashReady(device);
    uint32_t vendor = 0;
    uint8_t reply[4] = {};
    if (ReadFlashVendor(device, reply)) vendor = reply[0];

    if (vendor == kVendorNeedingPreWrite) {
        WaitFlashReady(device);
        const int32_t preWrite = static_cast<int32_t>(std::min<size_t>(image.size(), kFirstWriteLimit));
        if (SpiFlashWrite(device, 0, image.data(), preWrite, 2)) CurrentPlatform().sleepMs(kPreWriteSettleMs);
    }

    bool ok = false;
    uint8_t eraseMode = 2;
    for (int attempt = 0; attempt < kAttempts && !ok; ++attempt) {
        ok = SpiWriteRange(device, 0, image, eraseMode, vendor);
        WaitFlashReady(device);
        if (ok) ok = SpiReadRange(device, 0, readBack.span().first(image.size()));
        if (ok) ok = std::memcmp(image.data(), readBack.data(), image.size()) == 0;
        eraseMode = attempt == 1 ? 1 : 3;
    }
    return ok;
}

bool SpiUpdateImage(const char* device, std::span<const uint8_t> header,
                    const std::function<bool(std::span<uint8_t>)>& beforeWriting) {
    if (header.size() < FirmwareHeaderSize) return false;
    ZeroedBlock work = AllocZeroed(kSpiImageSize);
    if (!work) return false;
    // The old contents beyond the image's end are written back as they were,
    // so without them nothing may be written at all.
    if (!SpiReadRange(device, 0, work.span().first(kSpiImageSize))) return false;
    if (beforeWriting && !beforeWriting(work.span().first(kSpiImageSize))) return false;
    std::memcpy(work.data(), header.data(), FirmwareHeaderSize);
    LoadEmbeddedImage(work.span().first(kSpiImageSize), FirmwareHeaderSize, 0);
    return SpiProgramAndCompare(device, work.span().first(kSpiImageSize));
}

}  // namespace vxe
