#include "flash/paged_flash.h"

#include <algorithm>
#include <cstring>

#include "device/buffers.h"
#include "device/transfer_limit_scope.h"
#include "device/vendor_commands.h"
#include "platform/platform.h"

namespace vxe {
namespace {

constexpr uint8_t kErased = 0xFF;

void WaitOrNote(const char* device) {
    if (!WaitFlashReady(device)) CurrentPlatform().debugOutput("0.1 Device initial not ready!!");
}

bool AllErased(std::span<const uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == kErased; });
}

}  // namespace

uint32_t PageCount(uint32_t length, uint32_t pageSize) {
    if (pageSize == 0) return 0;
    return length / pageSize + (length % pageSize != 0 ? 1 : 0);
}

void BusyPoll(const char* device) { WaitFlashReady(device); }

bool ReadExactly(const char* device, uint32_t address, uint8_t* destination, uint32_t length) {
    int32_t delivered = -1;
    return FlashRead(device, address, destination, static_cast<int32_t>(length), &delivered) != 0 &&
           delivered == static_cast<int32_t>(length);
}

bool ReadFlashPaged(const char* device, uint32_t base, std::span<uint8_t> destination, uint32_t length,
                    uint32_t pageSize, StatusSink& sink) {
    const TransferLimitScope limits;
    WaitOrNote(device);
    const uint32_t pages = PageCount(length, pageSize);
    sink.showStatus("ReadFlash...");
    if (static_cast<uint64_t>(pages) * pageSize > destination.size()) return false;
    bool result = false;
    for (uint32_t i = 0; i < pages; ++i) {
        BusyPoll(device);
        const uint32_t offset = i * pageSize;
        if (!ReadExactly(device, base + offset, destination.data() + offset, pageSize)) return false;
        result = true;
        sink.appendStatusText(".");
        sink.processMessages();
    }
    return result;
}

bool EraseFlashPaged(const char* device, uint32_t length, uint32_t pageSize, StatusSink& sink) {
    WaitOrNote(device);
    const uint32_t pages = PageCount(length, pageSize);
    sink.showStatus("Erase...");
    bool result = false;
    for (uint32_t i = 0; i < pages; ++i) {
        BusyPoll(device);
        if (!FlashBlockErase(device, i * pageSize)) return false;
        if (!WaitFlashReady(device)) CurrentPlatform().debugOutput("Not ready after Erase flash success");
        result = true;
        sink.appendStatusText(".");
        sink.processMessages();
    }
    return result;
}

bool ProgramFlashImage(const char* device, std::span<const uint8_t> image, uint32_t pageSize, StatusSink& sink) {
    const TransferLimitScope limits;  // one look at the device's bound for both read-backs
    const uint32_t length = static_cast<uint32_t>(image.size());
    const uint32_t working = PageCount(length, kProgramChunk) * kProgramChunk;
    const uint32_t chunks = working / kProgramChunk;
    const uint32_t blocks = PageCount(working, kProgramBlock);
    // The read-backs go page by page, so their buffer holds whole pages.
    const uint32_t readRoom = std::max(working, PageCount(working, pageSize) * pageSize);

    ZeroedBlock readBack = AllocZeroed(readRoom);
    ZeroedBlock write = AllocZeroed(working);
    if (!readBack || !write || working == 0) return false;
    std::memcpy(write.data(), image.data(), length);

    sink.advanceProgress(10);
    for (uint32_t b = 0; b < blocks; ++b) {
        WaitFlashReady(device);
        if (!FlashBlockErase(device, b * kProgramBlock)) return false;
    }
    sink.advanceProgress(10);

    if (!ReadFlashPaged(device, 0, readBack.span(), working, pageSize, sink)) return false;
    if (!AllErased(readBack.span().first(working))) {
        WaitFlashReady(device);
        if (FlashChipErase(device)) {
            CurrentPlatform().sleepMs(kSettleMs);
            WaitFlashReady(device);
            if (ReadFlashPaged(device, 0, readBack.span(), working, pageSize, sink) &&
                !AllErased(readBack.span().first(working))) {
                return false;
            }
        }
    }
    sink.advanceProgress(10);

    for (uint32_t c = 0; c < chunks; ++c) {
        WaitFlashReady(device);
        if (!FlashProgram(device, c * kProgramChunk, write.data() + c * kProgramChunk,
                          static_cast<int32_t>(kProgramChunk))) {
            return false;
        }
    }
    sink.advanceProgress(10);

    CurrentPlatform().sleepMs(kSettleMs);
    WaitFlashReady(device);
    // Whatever an earlier read left in the buffer must not pass for the image.
    std::fill(readBack.data(), readBack.data() + readRoom, uint8_t{0});
    if (!ReadFlashPaged(device, 0, readBack.span(), working, pageSize, sink)) return false;
    if (std::memcmp(readBack.data(), write.data(), working) != 0) return false;
    sink.advanceProgress(10);
    return true;
}

}  // namespace vxe
