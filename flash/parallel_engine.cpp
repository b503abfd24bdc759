#include "flash/parallel_engine.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "device/buffers.h"
#include "device/vendor_commands.h"
#include "flash/backup_file.h"
#include "platform/platform.h"

namespace vxe {
namespace {

constexpr uint8_t kErased = 0xFF;

bool AllErased(const uint8_t* bytes, size_t count) {
    return std::all_of(bytes, bytes + count, [](uint8_t b) { return b == kErased; });
}

// Reads the whole flash; a read that delivers fewer bytes than the flash
// holds counts as failed.
bool ReadWholeFlash(const char* device, uint8_t* buffer) {
    int32_t transferred = 0;
    std::memset(buffer, 0, ParallelImageSize);
    return ParallelFlashRead(device, 0, buffer, static_cast<int32_t>(ParallelImageSize), &transferred) &&
           transferred == static_cast<int32_t>(ParallelImageSize);
}

}  // namespace

bool WaitParallelFlashReady(const char* device) {
    for (uint32_t polls = 0; polls < kParallelReadyPolls; ++polls) {
        if (!ParallelFlashBusy(device)) return true;
    }
    return false;
}

void RunParallelFlashUpdate(const char* device, int32_t flashType, const EngineOptions& options,
                            StatusSink& sink) {
    // The flash holds 64 KB: a larger image cannot be programmed, as an
    // absent one cannot. Either is known before anything is sent, so the
    // update never erases a flash it has nothing to write into.
    const bool updating = !options.eraseOnly && !options.backupOnly;
    const std::span<const uint8_t> image = CurrentPlatform().findResource("FW849", "FW");
    if (updating && (image.empty() || image.size() > ParallelImageSize)) {
        sink.setStatusText("Programming Fail!!");
        return;
    }
    if (!options.a1Chip && !SwitchToInternalRom(device)) {
        sink.setStatusText("Can't switch to internal ROM");
        return;
    }
    if (options.eraseOnly) {
        EraseParallelFlash(device, flashType, sink);
        return;
    }
    if (options.backupOnly) {
        BackupParallelFlash(device, options, sink);
        return;
    }
    // The read-back buffer is needed for the blank check and the compare, so
    // without it nothing is erased.
    ZeroedBlock readBack = AllocZeroed(ParallelImageSize);
    if (!readBack) {
        sink.setStatusText("Allocate read buffer Error!!");
        return;
    }
    if (!ParallelFlashPreErase(device, flashType)) {
        sink.setStatusText("Error pre-erase command!!");
        return;
    }
    if (ParallelFlashErase(device)) {
        if (!WaitParallelFlashReady(device)) {
            sink.setStatusTextNow("Erase command ok,status fail!!");
        } else {
            sink.setStatusTextNow("Erase command ok!!");
            if (ReadWholeFlash(device, readBack.data()) && !AllErased(readBack.data(), ParallelImageSize)) {
                sink.setStatusTextNow("Not Erase correctly!");
                return;
            }
        }
    }

    WaitParallelFlashReady(device);
    if (!ParallelFlashProgram(device, image.data(), static_cast<int32_t>(image.size()), flashType)) {
        sink.setStatusText("Programming Fail!!");
        return;
    }
    sink.setStatusTextNow("Programming Success!!");
    WaitParallelFlashReady(device);

    int32_t transferred = 0;
    std::memset(readBack.data(), 0, ParallelImageSize);
    if (!ParallelFlashRead(device, 0, readBack.data(), static_cast<int32_t>(image.size()), &transferred) ||
        transferred != static_cast<int32_t>(image.size())) {
        sink.setStatusText("Read Fail!!");
        return;
    }
    if (std::memcmp(image.data(), readBack.data(), image.size()) != 0) {
        sink.setStatusText("Compare Fail!!");
        return;
    }
    sink.setStatusTextNow("Programming & Compare Success!!");
}

void EraseParallelFlash(const char* device, int32_t flashType, StatusSink& sink) {
    sink.setStatusTextNow("Start Erase only!");
    if (!ParallelFlashPreErase(device, flashType)) {
        sink.setStatusText("Error pre-erase command!!");
        return;
    }
    if (!ParallelFlashErase(device)) return;
    if (!WaitParallelFlashReady(device)) {
        sink.setStatusTextNow("Erase command ok,status fail!!");
        return;
    }
    sink.setStatusTextNow("Erase command ok!!");
    ZeroedBlock buffer = AllocZeroed(ParallelImageSize);
    if (!buffer) {
        sink.setStatusText("Allocate read buffer Error!!");
        return;
    }
    if (!ReadWholeFlash(device, buffer.data())) {
        sink.setStatusTextNow("Read Back after Erase fail!!");
        return;
    }
    if (!AllErased(buffer.data(), ParallelImageSize)) {
        sink.setStatusTextNow("Not Erase correctly!");
        return;
    }
    sink.setStatusTextNow("Erase All success!!");
}

void BackupParallelFlash(const char* device, const EngineOptions& options, StatusSink& sink) {
    std::string name = options.backupFileName;
    if (name.empty()) {
        name = kDefaultBackupName;
        CurrentPlatform().messageBox("Default backup firmware as OldFalsh.bak!", "Message", MessageIcon::None);
    }
    sink.setStatusTextNow("Backup ...");
    ZeroedBlock buffer = AllocZeroed(ParallelImageSize);
    if (!buffer) {
        sink.setStatusText("Allocate read buffer Error!!");
        return;
    }
    if (!ReadWholeFlash(device, buffer.data())) {
        sink.setStatusText("Read ROM fail!!");
        return;
    }
    if (WriteBackupFile(name, buffer.span().first(ParallelImageSize)) != BackupWrite::Written) {
        sink.setStatusText("Read ROM Suceess, but save to file fail!!");
        return;
    }
    sink.setStatusTextNow("Read flash and backup success!");
}

}  // namespace vxe
