// The fewest commands a one-click update of a VXE720-family enclosure must
// put on the wire, worked out from the sequence the update has to send, not
// from the product's code: every ready wait is counted as one status read,
// which is what it costs on a flash that is never busy.
#pragma once

#include <cstdint>

namespace vxe::bench {

struct SerialFlashParts {
    uint8_t vendor = 6;          // the flash maker code the controller reports
    uint32_t largeEraseUnit = 65536;
};

// The direct path: old contents read, one 64 KB image written with large-unit
// erases, read back, equal on the first attempt.
uint64_t PrescribedSerialUpdate(const SerialFlashParts& flash);

// The paged path: block erases, blank check, 8 KB programs, read-back, with
// `pageSize` bytes per paged read.
uint64_t PrescribedPagedUpdate(uint32_t pageSize);

}  // namespace vxe::bench
