// Every procedure that writes or backs up the flash, each on a device and a
// starting flash that make its whole sequence run: the family-10 YES paths,
// the update engines, the paged image programming, the parallel-flash engine,
// erase-only and both backups.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/reliability/fault_sweep.h"

namespace vxe::reliability {

std::vector<Procedure> SweptProcedures();

// A deterministic byte pattern standing in for old firmware or a test image.
std::vector<uint8_t> Pattern(size_t size, uint8_t seed);

// The flash of a VXE720 enclosure before YES: a valid header with the
// device's own configuration bytes, older firmware, and device data beyond
// the end of the firmware that the direct path must keep.
std::vector<uint8_t> Vxe720OldFlash();

}  // namespace vxe::reliability
