#include "app/run_dispatch.h"

#include "flash/parallel_engine.h"
#include "flash/update_engine.h"

namespace vxe {

RunProcedure ProcedureForFamily(uint8_t family) {
    switch (family) {
        case 1: case 3: case 4: case 7:
            return RunProcedure::FlashUpdate;
        case 6:
            return RunProcedure::NvramKeepingUpdate;
        case 2: case 18:
            return RunProcedure::ParallelFlashUpdate;
        default:
            return RunProcedure::None;
    }
}

RunProcedure RunForFamily(const char* device, uint8_t family, int32_t flashType, const EngineOptions& options,
                          StatusSink& sink, int32_t& nvramSkip) {
    const RunProcedure procedure = ProcedureForFamily(family);
    switch (procedure) {
        case RunProcedure::FlashUpdate:
            RunFlashUpdate(device, options, sink);
            break;
        case RunProcedure::NvramKeepingUpdate:
            RunNvramKeepingUpdate(device, options, sink, nvramSkip);
            break;
        case RunProcedure::ParallelFlashUpdate:
            RunParallelFlashUpdate(device, flashType, options, sink);
            break;
        case RunProcedure::None:
            break;
    }
    return procedure;
}

}  // namespace vxe
