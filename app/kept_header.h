// What an update read of the device's old flash, kept as a file before it
// changes anything, so that an interrupted or killed update (or a power loss)
// still leaves a way back: the device's configuration header and, where the
// update writes the old contents beyond the image's end back, the whole
// 64 KB it read. `update --header-from FILE` takes such a file; a plain
// update of the same device finds it by itself (app/unfinished_updates.h).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "flash/engine_options.h"

namespace vxe {

// The size of a kept file that holds the whole old flash an update read.
inline constexpr size_t kKeptFlashSize = 65536;

// Writes `bytes` (the header, or the whole old flash) under the state folder
// as a new file named after the device and the time (never over an older
// one), through to the disk. Returns the file, or nothing with the reason in
// `problem` (which names the folder or file and why).
std::optional<std::filesystem::path> KeepOldFlash(std::string_view device, std::span<const uint8_t> bytes,
                                                  std::string& problem);
// The same for a header alone.
std::optional<std::filesystem::path> KeepOldHeader(std::string_view device, std::span<const uint8_t, 128> header,
                                                   std::string& problem);

// Puts `bytes` in place of what the kept `file` holds, at once (a new file
// renamed over it), through to the disk.
bool RewriteKeptFile(const std::filesystem::path& file, std::span<const uint8_t> bytes, std::string& problem);

// Reads a kept header (or any image whose first 128 bytes are a valid
// header). Nothing, with the reason in `problem`, when the file cannot be read
// or its first 128 bytes lack the header signature.
std::optional<std::array<uint8_t, 128>> ReadKeptHeader(const std::string& file, std::string& problem);

// Reads a kept file as an update wrote it: its header, signed or not, and
// the whole old flash when the file holds exactly that.
std::optional<KeptFlash> ReadKeptFlash(const std::string& file, std::string& problem);

}  // namespace vxe
