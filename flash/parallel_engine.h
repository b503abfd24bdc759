// The update of the bridges whose firmware sits in a 64 KB parallel flash:
// erase only, back up only, or erase, program the built-in image and verify.
// It reports only through the status text.
#pragma once

#include <cstdint>

#include "flash/engine_options.h"
#include "flash/status_sink.h"

namespace vxe {

inline constexpr uint32_t ParallelImageSize = 0x10000;
inline constexpr uint32_t kParallelReadyPolls = 100 * 500;

bool WaitParallelFlashReady(const char* device);
void RunParallelFlashUpdate(const char* device, int32_t flashType, const EngineOptions& options, StatusSink& sink);
void EraseParallelFlash(const char* device, int32_t flashType, StatusSink& sink);
void BackupParallelFlash(const char* device, const EngineOptions& options, StatusSink& sink);

}  // namespace vxe
