// The update engine of the controllers whose flash sits behind the FF 04
// flash commands: erase, blank check, program page by page, read back and
// compare; the NVRAM-keeping variant; erase-only and backup-only.
// Each returns 1 on success and 0 on failure, with its messages in the sink.
#pragma once

#include <cstdint>

#include "flash/engine_options.h"
#include "flash/status_sink.h"

namespace vxe {

inline constexpr uint32_t kNvramSize = 4096;
inline constexpr uint32_t kNvramUnit = 0x4000;
inline constexpr uint32_t kNvramBlock = 0x8000;

int32_t RunFlashUpdate(const char* device, const EngineOptions& options, StatusSink& sink);
int32_t RunNvramKeepingUpdate(const char* device, const EngineOptions& options, StatusSink& sink,
                              int32_t& nvramSkip);
int32_t EraseAllFlash(const char* device, const EngineOptions& options, StatusSink& sink);
int32_t BackupFlashToFile(const char* device, const EngineOptions& options, StatusSink& sink);

}  // namespace vxe
