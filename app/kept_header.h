// The device's own configuration header, kept as a file before an update
// changes anything, so that an interrupted or killed update (or a power loss)
// still leaves a way back: `update --header-from FILE` merges it when the
// enclosure's own header is gone.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace vxe {

// Writes `header` under the state folder as a new file named after the device
// and the time (never over an older one). Returns the file, or nothing with
// the reason in `problem`.
std::optional<std::filesystem::path> KeepOldHeader(std::string_view device, std::span<const uint8_t, 128> header,
                                                   std::string& problem);

// Reads a kept header (or any image whose first 128 bytes are a valid
// header). Nothing, with the reason in `problem`, when the file cannot be read
// or its first 128 bytes lack the header signature.
std::optional<std::array<uint8_t, 128>> ReadKeptHeader(const std::string& file, std::string& problem);

}  // namespace vxe
