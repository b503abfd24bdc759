// The procedure the engineering Run button starts, chosen by chip family.
#pragma once

#include <cstdint>

#include "flash/engine_options.h"
#include "flash/status_sink.h"

namespace vxe {

enum class RunProcedure { None, FlashUpdate, NvramKeepingUpdate, ParallelFlashUpdate };

RunProcedure ProcedureForFamily(uint8_t family);

// Runs the procedure for `family` on the device; `nvramSkip` is what the
// NVRAM-keeping engine leaves in the window's field. Returns the procedure.
RunProcedure RunForFamily(const char* device, uint8_t family, int32_t flashType, const EngineOptions& options,
                          StatusSink& sink, int32_t& nvramSkip);

}  // namespace vxe
