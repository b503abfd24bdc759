#include "device/scsi_transport.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/platform.h"

namespace vxe {
namespace {

constexpr int32_t kMaxCdbLength = 16;

// Short transfers travel through the scratch buffer: 1 byte becomes 2 on the
// wire, 0, 2 and 3 stay as they are.
uint32_t ScratchTransferLength(int32_t length) { return length == 1 ? 2u : static_cast<uint32_t>(length); }

int32_t Send(const char* path, const uint8_t* cdb, int32_t cdbLength, uint8_t* callerBuffer, const uint8_t* outData,
             int32_t length, int32_t* transferred, DataDirection direction) {
    if (path == nullptr || cdb == nullptr || cdbLength <= 0 || cdbLength > kMaxCdbLength || length < 0) {
        return 0;
    }
    std::array<uint8_t, kScratchBufferSize> scratch{};
    PassThroughRequest request;
    request.path = path;
    request.direction = direction;
    request.openMode = direction == DataDirection::In ? OpenMode::Shared : OpenMode::Exclusive;
    request.cdb = cdb;
    request.cdbLength = static_cast<uint8_t>(cdbLength);
    request.timeoutSeconds = direction == DataDirection::In ? kDataInTimeoutSeconds
                                                            : DataOutTimeoutSeconds(cdb, cdbLength);

    // The direct request moves data in place. Data-out passes the caller's
    // bytes; the platform only reads them for that direction.
    uint8_t* data = direction == DataDirection::In ? callerBuffer : const_cast<uint8_t*>(outData);
    if (length >= kScratchBufferSize) {
        request.dataBuffer = data;
        request.dataTransferLength = static_cast<uint32_t>(length);
    } else {
        // Data-out: the caller's bytes, then zeros. Data-in: the caller's
        // bytes too, so whatever the device does not deliver stays as it was.
        const uint8_t* initial = direction == DataDirection::Out ? outData : callerBuffer;
        if (length > 0 && initial != nullptr) {
            std::memcpy(scratch.data(), initial, static_cast<size_t>(length));
        }
        request.dataBuffer = scratch.data();
        request.dataTransferLength = ScratchTransferLength(length);
    }

    const PassThroughResult result = CurrentPlatform().passThrough(request);
    if (!result.opened) {
        return 0;
    }
    if (direction == DataDirection::In && length < kScratchBufferSize && length > 0 && callerBuffer != nullptr) {
        std::memcpy(callerBuffer, scratch.data(), static_cast<size_t>(length));
    }
    if (transferred != nullptr) {
        *transferred = static_cast<int32_t>(std::min<uint32_t>(result.dataTransferLength, INT32_MAX));
    }
    return result.callSucceeded && result.errorCode == 0 ? 1 : 0;
}

}  // namespace

uint32_t DataOutTimeoutSeconds(const uint8_t* cdb, int32_t cdbLength) {
    return cdbLength > 2 && cdb[2] == 0x13 ? kChipEraseTimeoutSeconds : kDataOutTimeoutSeconds;
}

int32_t ScsiDataIn(const char* path, const uint8_t* cdb, int32_t cdbLength, uint8_t* buffer, int32_t length,
                   int32_t* transferred) {
    if (length >= kScratchBufferSize && buffer == nullptr) return 0;
    return Send(path, cdb, cdbLength, buffer, nullptr, length, transferred, DataDirection::In);
}

int32_t ScsiDataOut(const char* path, const uint8_t* cdb, int32_t cdbLength, const uint8_t* buffer,
                    int32_t length, int32_t* transferred) {
    if (length >= kScratchBufferSize && buffer == nullptr) return 0;
    return Send(path, cdb, cdbLength, nullptr, buffer, length, transferred, DataDirection::Out);
}

}  // namespace vxe
