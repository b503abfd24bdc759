#include "device/vendor_commands.h"

#include <algorithm>

#include "device/scsi_transport.h"
#include "device/transfer_limit_scope.h"
#include "platform/platform.h"

namespace vxe {
namespace {

constexpr uint8_t kInquiry = 0x12;
constexpr uint8_t kChipInformation = 0xE0;
constexpr uint8_t kMemoryGroup = 0xDF;
constexpr uint8_t kVendorGroup = 0xFF;
constexpr uint8_t kVendorGroupByte1 = 0x04;

// Sub-commands of the 0xDF group (byte 11).
constexpr uint8_t kDfIdWord = 0xFF;
constexpr uint8_t kDfMemoryRead = 0xFD;
constexpr uint8_t kDfSpiRead = 0xFA;
constexpr uint8_t kDfSpiWrite = 0xFB;

// Sub-commands of the FF 04 group (byte 2).
constexpr uint8_t kParallelBusy = 0x00;
constexpr uint8_t kParallelErase = 0x01;
constexpr uint8_t kParallelProgram = 0x02;
constexpr uint8_t kParallelRead = 0x03;
constexpr uint8_t kParallelPreErase = 0x04;
constexpr uint8_t kSwitchToInternalRom = 0x05;
constexpr uint8_t kFlashRead = 0x10;
constexpr uint8_t kFlashProgram = 0x11;
constexpr uint8_t kFlashStatus = 0x12;
constexpr uint8_t kFlashChipErase = 0x13;
constexpr uint8_t kFlashBlockErase = 0x14;
constexpr uint8_t kJedecRequest = 0x20;
constexpr uint8_t kJedecReply = 0x21;
constexpr uint8_t kFlashVendor = 0x23;
constexpr uint8_t kPrepareForUpdate = 0x25;
constexpr uint8_t kIdString = 0x30;
constexpr uint8_t kHostControl = 0x43;  // 'C', followed by 'V' and the action
constexpr uint8_t kHostControlV = 0x56;
constexpr uint8_t kHostAttach = 0x55;
constexpr uint8_t kHostDetach = 0xAA;

constexpr uint8_t kSpiEraseModeMask = 0x87;
constexpr uint8_t kFlashBusyBit = 0x01;

void PutAddress24(Cdb& cdb, size_t at, uint32_t address) {
    cdb[at] = static_cast<uint8_t>(address >> 16);
    cdb[at + 1] = static_cast<uint8_t>(address >> 8);
    cdb[at + 2] = static_cast<uint8_t>(address);
}

void PutLength16(Cdb& cdb, size_t at, int32_t length) {
    cdb[at] = static_cast<uint8_t>(static_cast<uint32_t>(length) >> 8);
    cdb[at + 1] = static_cast<uint8_t>(length);
}

Cdb VendorCdb(uint8_t subCommand) {
    Cdb cdb{};
    cdb[0] = kVendorGroup;
    cdb[1] = kVendorGroupByte1;
    cdb[2] = subCommand;
    return cdb;
}

bool UsesLowUnlockAddresses(int32_t flashType) { return flashType == kParallelPmc39LV512; }
bool KnownParallelType(int32_t flashType) {
    return flashType == kParallelAtmel49BV512 || flashType == kParallelPmc39LV512 || flashType == kParallelSst39LF512;
}

int32_t In(const char* path, const Cdb& cdb, uint8_t* buffer, int32_t length, int32_t* transferred = nullptr) {
    return ScsiDataIn(path, cdb.data(), kCdbLength, buffer, length, transferred);
}

int32_t Out(const char* path, const Cdb& cdb, const uint8_t* buffer = nullptr, int32_t length = 0) {
    return ScsiDataOut(path, cdb.data(), kCdbLength, buffer, length, nullptr);
}

}  // namespace

Cdb InquiryCdb(int32_t length) {
    Cdb cdb{};
    cdb[0] = kInquiry;
    cdb[4] = static_cast<uint8_t>(length);
    return cdb;
}

Cdb GetChipInformationCdb() {
    Cdb cdb{};
    cdb[0] = kChipInformation;
    cdb[1] = 0xF4;
    cdb[2] = 0xE7;
    return cdb;
}

Cdb ReadIdWordCdb() {
    Cdb cdb{};
    cdb[0] = kMemoryGroup;
    cdb[1] = 0x10;
    cdb[4] = 0x02;
    cdb[11] = kDfIdWord;
    return cdb;
}

Cdb ReadMemoryCdb(uint16_t address, int32_t length) {
    Cdb cdb{};
    cdb[0] = kMemoryGroup;
    cdb[1] = 0x10;
    PutLength16(cdb, 3, length);
    cdb[6] = static_cast<uint8_t>(address >> 8);
    cdb[7] = static_cast<uint8_t>(address);
    cdb[11] = kDfMemoryRead;
    return cdb;
}

Cdb SpiFlashReadCdb(uint32_t address, int32_t length) {
    Cdb cdb{};
    cdb[0] = kMemoryGroup;
    cdb[1] = 0x10;
    PutLength16(cdb, 3, length);
    PutAddress24(cdb, 8, address);
    cdb[11] = kDfSpiRead;
    return cdb;
}

Cdb SpiFlashWriteCdb(uint32_t address, int32_t length, uint8_t eraseMode) {
    Cdb cdb{};
    cdb[0] = kMemoryGroup;
    cdb[1] = static_cast<uint8_t>(eraseMode & kSpiEraseModeMask);
    PutLength16(cdb, 3, length);
    PutAddress24(cdb, 8, address);
    cdb[11] = kDfSpiWrite;
    return cdb;
}

Cdb ParallelFlashProgramCdb(int32_t flashType) {
    Cdb cdb = VendorCdb(kParallelProgram);
    if (!KnownParallelType(flashType)) return cdb;
    const uint8_t high = UsesLowUnlockAddresses(flashType) ? 0x05 : 0x55;
    const uint8_t highHalf = UsesLowUnlockAddresses(flashType) ? 0x02 : 0x2A;
    // Three cycles: addresses 0x?555, 0x?2AA, 0x?555 low byte first, then data AA 55 A0.
    const uint8_t prefix[9] = {0x55, high, 0xAA, highHalf, 0x55, high, 0xAA, 0x55, 0xA0};
    for (size_t i = 0; i < 9; ++i) cdb[3 + i] = prefix[i];
    return cdb;
}

Cdb ParallelFlashReadCdb(uint32_t address) {
    Cdb cdb = VendorCdb(kParallelRead);
    cdb[3] = static_cast<uint8_t>(address);
    cdb[4] = static_cast<uint8_t>(address >> 8);
    cdb[5] = static_cast<uint8_t>(address >> 16);
    cdb[6] = static_cast<uint8_t>(address >> 24);
    return cdb;
}

std::array<uint8_t, kParallelPreEraseLength> ParallelFlashPreEraseData(int32_t flashType) {
    std::array<uint8_t, kParallelPreEraseLength> data{};
    if (!KnownParallelType(flashType)) return data;
    const uint8_t high = UsesLowUnlockAddresses(flashType) ? 0x05 : 0x55;
    const uint8_t highHalf = UsesLowUnlockAddresses(flashType) ? 0x02 : 0x2A;
    // Six chip-erase cycles: addresses 555, 2AA, 555, 555, 2AA, 555 (low byte
    // first), then data AA 55 80 AA 55 10.
    data = {0x55, high, 0xAA, highHalf, 0x55, high, 0x55, high, 0xAA, highHalf, 0x55, high,
            0xAA, 0x55, 0x80, 0xAA, 0x55, 0x10};
    return data;
}

Cdb FlashGroupCdb(uint8_t subCommand, uint32_t address) {
    Cdb cdb = VendorCdb(subCommand);
    PutAddress24(cdb, 3, address);
    return cdb;
}

int32_t Inquiry(const char* path, uint8_t* buffer, int32_t length) {
    return In(path, InquiryCdb(length), buffer, length);
}

int32_t GetChipInformation(const char* path, uint8_t* buffer, int32_t length, int32_t* transferred) {
    return In(path, GetChipInformationCdb(), buffer, length, transferred);
}

int32_t ReadIdWord(const char* path, uint8_t* buffer) { return In(path, ReadIdWordCdb(), buffer, 2); }

int32_t ReadMemory(const char* path, uint8_t* buffer, uint16_t address, int32_t length, int32_t* transferred) {
    return In(path, ReadMemoryCdb(address, length), buffer, length, transferred);
}

int32_t SpiFlashRead(const char* path, uint32_t address, uint8_t* buffer, int32_t length, int32_t* transferred) {
    return In(path, SpiFlashReadCdb(address, length), buffer, length, transferred);
}

int32_t SpiFlashWrite(const char* path, uint32_t address, const uint8_t* buffer, int32_t length, uint8_t eraseMode) {
    return Out(path, SpiFlashWriteCdb(address, length, eraseMode), buffer, length);
}

int32_t TestMemoryFDB0(const char* path) {
    uint8_t reply[4] = {};
    if (!ReadMemory(path, reply, 0xFDB0, 4)) return 0;
    return reply[1] >= 0xB4 ? 1 : 0;
}

int32_t TestMemory505E(const char* path, bool* answered) {
    uint8_t reply[4] = {};
    int32_t delivered = 0;
    const bool read = ReadMemory(path, reply, 0x505E, 4, &delivered) != 0;
    if (answered != nullptr) *answered = read && delivered == 4;
    if (!read) return 0;
    return reply[1] == 0x00 && reply[2] == 0x01 ? 1 : 0;
}

int32_t ParallelFlashBusy(const char* path) {
    // Only a status byte that really came back can say ready: a command the
    // device rejected (CHECK CONDITION, no data) is as busy as a failed one.
    uint8_t status = 0;
    int32_t delivered = 0;
    if (!In(path, VendorCdb(kParallelBusy), &status, 1, &delivered) || delivered < 1) return 1;
    return status == 0x01 ? 1 : 0;
}

int32_t ParallelFlashErase(const char* path) { return Out(path, VendorCdb(kParallelErase)); }

int32_t ParallelFlashProgram(const char* path, const uint8_t* buffer, int32_t length, int32_t flashType) {
    return Out(path, ParallelFlashProgramCdb(flashType), buffer, length);
}

int32_t ParallelFlashRead(const char* path, uint32_t address, uint8_t* buffer, int32_t length,
                          int32_t* transferred) {
    return In(path, ParallelFlashReadCdb(address), buffer, length, transferred);
}

int32_t ParallelFlashPreErase(const char* path, int32_t flashType) {
    const auto data = ParallelFlashPreEraseData(flashType);
    return Out(path, VendorCdb(kParallelPreErase), data.data(), kParallelPreEraseLength);
}

int32_t SwitchToInternalRom(const char* path) { return Out(path, VendorCdb(kSwitchToInternalRom)); }

int32_t FlashRead(const char* path, uint32_t address, uint8_t* buffer, int32_t length, int32_t* transferred) {
    // The operating system may bound one transfer (usb-storage at USB 2.0
    // speed takes 120 KiB) and refuses a longer one outright. A flash read can
    // be cut anywhere, so a long one goes out as consecutive reads, each with
    // its own address, and succeeds only when every one of them does.
    const uint32_t limit = DeviceTransferLimit(path);
    if (buffer == nullptr || length <= 0 || limit == 0 || static_cast<uint32_t>(length) <= limit) {
        return In(path, FlashGroupCdb(kFlashRead, address), buffer, length, transferred);
    }
    const int32_t piece = static_cast<int32_t>(limit);
    int32_t total = 0;
    bool reported = false;  // a device that could not be opened reports nothing
    for (int32_t done = 0; done < length; done += piece) {
        const int32_t size = std::min(piece, length - done);
        int32_t delivered = -1;
        const int32_t ok = In(path, FlashGroupCdb(kFlashRead, address + static_cast<uint32_t>(done)), buffer + done,
                              size, &delivered);
        if (delivered >= 0) {
            total += delivered;
            reported = true;
        }
        if (!ok) {
            if (transferred != nullptr && reported) *transferred = total;
            return 0;
        }
    }
    if (transferred != nullptr) *transferred = total;
    return 1;
}

int32_t FlashProgram(const char* path, uint32_t address, const uint8_t* buffer, int32_t length) {
    return Out(path, FlashGroupCdb(kFlashProgram, address), buffer, length);
}

int32_t FlashReadStatus(const char* path, uint8_t* status) { return In(path, VendorCdb(kFlashStatus), status, 1); }

int32_t FlashChipErase(const char* path) { return Out(path, VendorCdb(kFlashChipErase)); }

int32_t FlashBlockErase(const char* path, uint32_t address) {
    return Out(path, FlashGroupCdb(kFlashBlockErase, address));
}

int32_t DetectAmicFlash(const char* path) {
    Cdb request = VendorCdb(kJedecRequest);
    request[3] = 0x01;
    request[4] = 0x01;
    request[5] = 0x9F;  // the serial flash's read-identification command
    if (!In(path, request, nullptr, 0)) return -1;
    uint8_t id[4] = {};
    if (!In(path, VendorCdb(kJedecReply), id, 4)) return -1;
    if (id[0] != 0x7F || id[1] != 0x37 || id[2] != 0x20) return -1;
    switch (id[3]) {
        case 0x12: return 1;
        case 0x11: return 3;
        case 0x20: return 4;
        case 0x10: return 5;
        default: return -1;
    }
}

int32_t ReadFlashVendor(const char* path, uint8_t* buffer) {
    Cdb cdb = VendorCdb(kFlashVendor);
    cdb[3] = 0x04;
    return In(path, cdb, buffer, 4);
}

int32_t PrepareForUpdate(const char* path) { return Out(path, VendorCdb(kPrepareForUpdate)); }

int32_t ReadIdString(const char* path, uint8_t* buffer, int32_t length) {
    Cdb cdb = VendorCdb(kIdString);
    cdb[3] = 0x08;
    return In(path, cdb, buffer, length);
}

int32_t HostAttach(const char* path) {
    Cdb cdb = VendorCdb(kHostControl);
    cdb[3] = kHostControlV;
    cdb[4] = kHostAttach;
    return Out(path, cdb);
}

int32_t HostDetach(const char* path) {
    Cdb cdb = VendorCdb(kHostControl);
    cdb[3] = kHostControlV;
    cdb[4] = kHostDetach;
    return Out(path, cdb);
}

namespace {

// One status poll; false when the node could not even be opened (the device
// is gone), which no amount of waiting mends.
bool PollFlashStatus(const char* path, uint8_t* status) {
    int32_t transferred = -1;  // left alone by the transport when nothing was opened
    In(path, VendorCdb(kFlashStatus), status, 1, &transferred);
    return transferred >= 0;
}

}  // namespace

int32_t WaitFlashReady(const char* path) {
    // Until a status byte has really come back the flash counts as busy, so
    // a device that does not answer never looks ready.
    uint8_t status = kFlashBusyBit;
    if (!PollFlashStatus(path, &status)) return 0;
    for (int32_t polls = 0; (status & kFlashBusyBit) != 0; ++polls) {
        if (polls == kFlashReadyPolls) return 0;
        CurrentPlatform().sleepMs(kFlashReadyPollMs);
        if (!PollFlashStatus(path, &status)) return 0;
    }
    return 1;
}

}  // namespace vxe
