#include "flash/update_engine.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "chip/chip_identification.h"
#include "device/buffers.h"
#include "device/transfer_limit_scope.h"
#include "device/vendor_commands.h"
#include "flash/backup_file.h"
#include "flash/paged_flash.h"
#include "platform/platform.h"

namespace vxe {
namespace {

constexpr uint8_t kErased = 0xFF;
constexpr uint32_t kSmallFlash = 0x10000;    // above this the whole chip is erased
constexpr uint32_t kHalfFlash = 0x8000;
constexpr uint32_t kProgramSettleMs = 1000;
constexpr uint32_t kAmicSectors[] = {0x0000, 0x1000, 0x3000, 0x7000};
constexpr uint32_t kAmicLastSector = 0xF000;

bool AllErased(const uint8_t* bytes, size_t count) {
    return std::all_of(bytes, bytes + count, [](uint8_t b) { return b == kErased; });
}

void SleepMs(uint32_t ms) { CurrentPlatform().sleepMs(ms); }

void WaitAfterErase(const char* device, StatusSink& sink) {
    if (!WaitFlashReady(device)) sink.showStatus("Not ready after Erase flash success");
}

// The erase that covers the part of a flash above 32 KB; it must succeed.
bool EraseUpperPart(const char* device, uint32_t address, StatusSink& sink) {
    if (!FlashBlockErase(device, address)) {
        sink.showStatus("Erase command fail!!");
        return false;
    }
    SleepMs(kSettleMs);
    BusyPoll(device);
    return true;
}

// The erase plan, by working size and AMIC flash code. False when the
// sequence must stop (its message is already shown).
bool EraseForUpdate(const char* device, uint32_t working, int32_t amicFlashCode, StatusSink& sink) {
    if (working > kSmallFlash) {
        if (!FlashChipErase(device)) {
            sink.showStatus("Erase command fail!!");
            return false;
        }
        SleepMs(kSettleMs);
        WaitAfterErase(device, sink);
        return true;
    }
    switch (amicFlashCode) {
        case 1: case 3: case 5:
            for (uint32_t sector : kAmicSectors) {
                if (FlashBlockErase(device, sector)) {
                    SleepMs(kSettleMs);
                    WaitAfterErase(device, sink);
                }
            }
            return working <= kHalfFlash || EraseUpperPart(device, kAmicLastSector, sink);
        case -1: case 4:
            if (!FlashBlockErase(device, 0)) {
                sink.showStatus("Erase command fail!!");
                return false;
            }
            sink.advanceProgress(10);
            SleepMs(kSettleMs);
            WaitAfterErase(device, sink);
            return working <= kHalfFlash || EraseUpperPart(device, kHalfFlash, sink);
        default:
            sink.showStatus("Not Support this AMIC Flash Type!!");
            return false;
    }
}

}  // namespace

int32_t RunFlashUpdate(const char* device, const EngineOptions& options, StatusSink& sink) {
    // The device's transfer bound is looked up once for all the reads below.
    const TransferLimitScope limits;
    if (options.rdVersion && options.eraseOnly) {
        if (!EraseAllFlash(device, options, sink)) return 0;
        CurrentPlatform().messageBox("Please Turn-Off the Power and Turn-On Again!", "Message", MessageIcon::None);
        return 1;
    }
    if (options.rdVersion && options.backupOnly) return BackupFlashToFile(device, options, sink);

    const std::span<const uint8_t> image = CurrentPlatform().findResource("FW849", "FW");
    if (image.empty()) {
        sink.showStatus("Load defaut Fw file Error!!");
        return 0;
    }
    const uint32_t pageSize = options.transferPageSize;
    const uint32_t pages = PageCount(static_cast<uint32_t>(image.size()), pageSize);
    const uint64_t working64 = static_cast<uint64_t>(pages) * pageSize;

    // The last page is programmed and compared whole, so the image is padded
    // to whole pages with the erased value: the padding programs nothing and
    // reads back as the blank check left it.
    ZeroedBlock readBack = working64 <= UINT32_MAX ? AllocZeroed(working64) : ZeroedBlock{};
    ZeroedBlock padded = readBack ? AllocZeroed(working64) : ZeroedBlock{};
    if (!readBack || !padded || pages == 0) {
        sink.showStatus("Allocate read buffer Error!!");
        return 0;
    }
    const uint32_t working = static_cast<uint32_t>(working64);
    std::memset(padded.data(), kErased, working);
    std::memcpy(padded.data(), image.data(), image.size());

    if (!WaitFlashReady(device)) CurrentPlatform().debugOutput("0.1 Device initial not ready!!");
    if (!EraseForUpdate(device, working, options.amicFlashCode, sink)) return 0;

    if (!ReadExactly(device, 0, readBack.data(), working)) {
        sink.showStatus("Read Back Erased Flash Error!!");
        return 0;
    }
    sink.advanceProgress(5);
    if (!AllErased(readBack.data(), working)) {
        sink.showStatus("Data not 0xff !!");
        return 0;
    }
    sink.advanceProgress(10);

    std::string running = sink.statusText();
    bool programmed = true;
    for (uint32_t p = 0; p < pages; ++p) {  // wide counter: any number of pages
        sink.advanceProgress(10);
        const uint32_t offset = p * pageSize;
        if (!FlashProgram(device, offset, padded.data() + offset, static_cast<int32_t>(pageSize))) {
            programmed = false;
            break;
        }
        running += ".";
        sink.showStatus(running);
    }
    sink.advanceProgress(20);

    int32_t result = 0;
    if (programmed) {
        SleepMs(kProgramSettleMs);
        BusyPoll(device);
        std::memset(readBack.data(), 0, working);  // the blank check's bytes must not pass for the image
        if (!ReadExactly(device, 0, readBack.data(), working)) {
            running += "Read Fail!!\r\n";
            sink.showStatus(running);
            return 0;
        }
        sink.advanceProgress(10);
        if (std::memcmp(readBack.data(), padded.data(), working) != 0) {
            running += "Compare Fail!!\r\n\r\n";
            sink.setStatusText(running);
        } else {
            running += "Programming Success!!";
            sink.showStatus(running);
            result = 1;
        }
    } else {
        sink.showStatus("Programming Fail!!");
    }
    sink.advanceProgress(10);
    return result;
}

int32_t RunNvramKeepingUpdate(const char* device, const EngineOptions&, StatusSink& sink, int32_t& nvramSkip) {
    const TransferLimitScope limits;
    nvramSkip = 1;
    ZeroedBlock nvram = AllocZeroed(kNvramSize);
    if (!nvram) {
        sink.showStatus("Allocate buffers Error!!");
        return 0;
    }
    WaitFlashReady(device);
    // The NVRAM is written back as read: a short read would replace its tail.
    if (!ReadExactly(device, 0, nvram.data(), kNvramSize)) {
        sink.showStatus("Backup NVRAM command fail!");
        return 0;
    }

    const ChipIdValue id = IdentifyChip(device);
    const char* resource = nullptr;
    if (ChipFamilyOf(id) == 6 && ChipRevisionOf(id) == 1) resource = "FW652A";
    if (ChipFamilyOf(id) == 6 && ChipRevisionOf(id) == 2) resource = "FW652B";
    if (resource == nullptr) return 0;
    const std::span<const uint8_t> image = CurrentPlatform().findResource(resource, "FW");
    if (image.empty()) return 0;

    const uint32_t size = std::max<uint32_t>(static_cast<uint32_t>(image.size()), kNvramUnit);
    const uint32_t total = PageCount(size, kNvramUnit) * kNvramUnit;
    const uint32_t blocks = PageCount(total, kNvramBlock);

    ZeroedBlock check = AllocZeroed(kNvramUnit);
    ZeroedBlock buffer = AllocZeroed(total);
    if (!check || !buffer) {
        sink.showStatus("Allocate buffers Error!!");
        return 0;
    }

    for (uint32_t b = 0; b < blocks; ++b) {
        sink.advanceProgress(10);
        WaitFlashReady(device);
        if (!FlashBlockErase(device, b * kNvramBlock)) return 0;
        for (uint32_t half = 0; half < 2; ++half) {
            WaitFlashReady(device);
            std::memset(check.data(), 0, kNvramUnit);
            if (!ReadExactly(device, b * kNvramBlock + half * kNvramUnit, check.data(), kNvramUnit) ||
                !AllErased(check.data(), kNvramUnit)) {
                return 0;
            }
        }
    }
    sink.advanceProgress(10);

    // The old first 4 KB, then the image from its offset 4096; only real image
    // bytes are copied, whatever lies beyond a short image stays zero.
    std::memcpy(buffer.data(), nvram.data(), kNvramSize);
    if (image.size() > kNvramSize) {
        std::memcpy(buffer.data() + kNvramSize, image.data() + kNvramSize, image.size() - kNvramSize);
    }

    for (uint32_t offset = 0; offset < total; offset += kNvramUnit) {
        sink.advanceProgress(10);
        WaitFlashReady(device);
        if (!FlashProgram(device, offset, buffer.data() + offset, static_cast<int32_t>(kNvramUnit))) {
            sink.showStatus("Write command fail!");
            return 0;
        }
        WaitFlashReady(device);
        std::memset(check.data(), 0, kNvramUnit);
        if (!ReadExactly(device, offset, check.data(), kNvramUnit)) {
            sink.showStatus("Write command fail!");
            return 0;
        }
        sink.advanceProgress(10);
        if (std::memcmp(check.data(), buffer.data() + offset, kNvramUnit) != 0) return 0;
    }
    sink.advanceProgress(20);
    return 1;
}

int32_t EraseAllFlash(const char* device, const EngineOptions& options, StatusSink& sink) {
    const TransferLimitScope limits;
    sink.showStatus("Start Erase only!");
    const uint32_t length = options.firmwareSize;
    WaitFlashReady(device);
    if (!EraseFlashPaged(device, length, options.transferPageSize, sink)) {
        sink.showStatus("Erase command fail!!");
        return 0;
    }
    SleepMs(kSettleMs);
    if (!WaitFlashReady(device)) sink.showStatus("Not ready after Erase flash cmd success");
    ZeroedBlock buffer = AllocZeroed(length);
    if (!buffer) {
        sink.showStatus("Allocate read buffer Error!!");
        return 0;
    }
    // A flash that could not be read back is not known to be erased.
    if (!ReadExactly(device, 0, buffer.data(), length)) {
        sink.showStatus("Read Back Erased Flash Error!!");
        return 0;
    }
    if (!AllErased(buffer.data(), length)) {
        sink.showStatus("Data not 0xff !!");
        return 0;
    }
    sink.showStatus("Erase flash all success!");
    return 1;
}

int32_t BackupFlashToFile(const char* device, const EngineOptions& options, StatusSink& sink) {
    const TransferLimitScope limits;
    std::string name = options.backupFileName;
    if (name.empty()) {
        name = kDefaultBackupName;
        CurrentPlatform().messageBox("Default backup firmware as OldFalsh.bak!", "Message", MessageIcon::None);
    }
    const uint32_t length = options.firmwareSize;
    sink.showStatus("Backup ...");
    ZeroedBlock buffer = AllocZeroed(length);
    if (!buffer) {
        sink.showStatus("Allocate read buffer Error!!");
        return 0;
    }
    // A backup that holds fewer bytes than the flash is no backup.
    if (!ReadExactly(device, 0, buffer.data(), length)) {
        sink.showStatus("Read Back to Backup Error!!");
        return 0;
    }
    switch (WriteBackupFile(name, buffer.span().first(length))) {
        case BackupWrite::OpenFailed:
            sink.showStatus("Open Backup File Error!!");
            return 0;
        case BackupWrite::WriteFailed:
            sink.showStatus("Write Backup File Error!!");
            return 0;
        case BackupWrite::Written:
            break;
    }
    sink.showStatus("Read flash and backup success!");
    return 1;
}

}  // namespace vxe
