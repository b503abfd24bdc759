// Page-by-page flash work through the FF 04 flash commands, with a word and
// one dot per page in the status text, and the complete erase, blank-check,
// program and compare sequence for one image.
#pragma once

#include <cstdint>
#include <span>

#include "flash/status_sink.h"

namespace vxe {

inline constexpr uint32_t kProgramChunk = 8192;
inline constexpr uint32_t kProgramBlock = 32768;
inline constexpr uint32_t kSettleMs = 500;

// Pages needed for `length` bytes; 0 for a zero page size.
uint32_t PageCount(uint32_t length, uint32_t pageSize);

// Reads whole pages; `destination` must hold them all or nothing is read.
bool ReadFlashPaged(const char* device, uint32_t base, std::span<uint8_t> destination, uint32_t length,
                    uint32_t pageSize, StatusSink& sink);
bool EraseFlashPaged(const char* device, uint32_t length, uint32_t pageSize, StatusSink& sink);
bool ProgramFlashImage(const char* device, std::span<const uint8_t> image, uint32_t pageSize, StatusSink& sink);

// The busy poll: a pause whose outcome nobody looks at.
void BusyPoll(const char* device);

// One FlashRead that counts as done only when it delivered every byte asked
// for: the bytes it did not deliver would otherwise pass for flash contents
// in a blank check, a compare or a backup.
bool ReadExactly(const char* device, uint32_t address, uint8_t* destination, uint32_t length);

}  // namespace vxe
