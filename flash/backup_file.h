// Writing a backup of the flash to a file: whole or not at all. The bytes go
// to a temporary file of a unique name beside the target, created afresh
// (never through a link or over a file that is already there) and flushed
// to the disk; it replaces the target only once everything was written, so
// a failed backup never leaves a truncated file in place of an older one.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vxe {

inline constexpr size_t kMaxBackupNameLength = 259;
inline constexpr const char* kDefaultBackupName = "oldflash.bak";

enum class BackupWrite { Written, OpenFailed, WriteFailed };

BackupWrite WriteBackupFile(const std::string& name, std::span<const uint8_t> bytes);

}  // namespace vxe
