// The vocabulary spoken to the bridge: standard INQUIRY and the Corvane vendor
// commands. Each builds a 12-byte command block, sends it through
// ScsiDataIn/ScsiDataOut and returns the transport's result (1 or 0) unless
// noted. Nothing here keeps state or shows a message.
#pragma once

#include <array>
#include <cstdint>

namespace vxe {

inline constexpr int32_t kCdbLength = 12;
using Cdb = std::array<uint8_t, kCdbLength>;

// Parallel flash types, the item index of the flash type list.
inline constexpr int32_t kParallelAtmel49BV512 = 0;
inline constexpr int32_t kParallelPmc39LV512 = 1;
inline constexpr int32_t kParallelSst39LF512 = 2;
inline constexpr int32_t kParallelPreEraseLength = 18;

// Command blocks, exposed so that tests and traces can name them.
Cdb InquiryCdb(int32_t length);
Cdb GetChipInformationCdb();
Cdb ReadIdWordCdb();
Cdb ReadMemoryCdb(uint16_t address, int32_t length);
Cdb SpiFlashReadCdb(uint32_t address, int32_t length);
Cdb SpiFlashWriteCdb(uint32_t address, int32_t length, uint8_t eraseMode);
Cdb ParallelFlashProgramCdb(int32_t flashType);
Cdb ParallelFlashReadCdb(uint32_t address);
std::array<uint8_t, kParallelPreEraseLength> ParallelFlashPreEraseData(int32_t flashType);
Cdb FlashGroupCdb(uint8_t subCommand, uint32_t address = 0);

int32_t Inquiry(const char* path, uint8_t* buffer, int32_t length);
int32_t GetChipInformation(const char* path, uint8_t* buffer, int32_t length, int32_t* transferred);
int32_t ReadIdWord(const char* path, uint8_t* buffer);
// `transferred`, when given, receives the bytes the device really delivered.
int32_t ReadMemory(const char* path, uint8_t* buffer, uint16_t address, int32_t length,
                   int32_t* transferred = nullptr);
int32_t SpiFlashRead(const char* path, uint32_t address, uint8_t* buffer, int32_t length,
                     int32_t* transferred = nullptr);
int32_t SpiFlashWrite(const char* path, uint32_t address, const uint8_t* buffer, int32_t length, uint8_t eraseMode);
int32_t TestMemoryFDB0(const char* path);
// `answered`, when given, tells whether the whole memory word came back, so
// that a caller can tell "no" from no answer.
int32_t TestMemory505E(const char* path, bool* answered = nullptr);

int32_t ParallelFlashBusy(const char* path);  // 1 busy (or failed, or no status byte), 0 ready
int32_t ParallelFlashErase(const char* path);
int32_t ParallelFlashProgram(const char* path, const uint8_t* buffer, int32_t length, int32_t flashType);
// `transferred`, when given, receives the bytes the device really delivered.
int32_t ParallelFlashRead(const char* path, uint32_t address, uint8_t* buffer, int32_t length,
                          int32_t* transferred = nullptr);
int32_t ParallelFlashPreErase(const char* path, int32_t flashType);
int32_t SwitchToInternalRom(const char* path);

// A read longer than the platform carries in one request goes out as
// consecutive reads at consecutive addresses; 1 only when all succeed, and
// `transferred` then sums what they delivered.
int32_t FlashRead(const char* path, uint32_t address, uint8_t* buffer, int32_t length,
                  int32_t* transferred = nullptr);
int32_t FlashProgram(const char* path, uint32_t address, const uint8_t* buffer, int32_t length);
int32_t FlashReadStatus(const char* path, uint8_t* status);
int32_t FlashChipErase(const char* path);
int32_t FlashBlockErase(const char* path, uint32_t address);

// AMIC serial flash capacity code 1, 3, 4 or 5, or -1 for any other flash.
int32_t DetectAmicFlash(const char* path);
int32_t ReadFlashVendor(const char* path, uint8_t* buffer);
int32_t PrepareForUpdate(const char* path);
int32_t ReadIdString(const char* path, uint8_t* buffer, int32_t length);
int32_t HostAttach(const char* path);
int32_t HostDetach(const char* path);

// Polls the flash status every 10 ms until the busy bit clears, at most 500
// re-polls. 1 ready, 0 still busy (or no status could be read at all); a
// device that cannot be opened any more ends the wait at once with 0.
inline constexpr int32_t kFlashReadyPolls = 500;
inline constexpr uint32_t kFlashReadyPollMs = 10;
int32_t WaitFlashReady(const char* path);

}  // namespace vxe
