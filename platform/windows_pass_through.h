// The request block of IOCTL_SCSI_PASS_THROUGH_DIRECT: the record, a filler
// and a sense area the record points to (no sense data is ever asked for).
#pragma once
#ifdef _WIN32

#include <windows.h>
#include <ntddscsi.h>

#include <cstddef>

#include "platform/platform.h"

namespace vxe {

struct PassThroughBlock {
    SCSI_PASS_THROUGH_DIRECT record;
    ULONG filler;
    UCHAR sense[1020];
};

// Fills the record field by field from the request; pure, so it can be checked.
void FillPassThroughBlock(const PassThroughRequest& request, PassThroughBlock& block);

// Opens the device (shared for data-in, exclusive for data-out), sends the
// request, reads the last error right after the call, closes the device.
PassThroughResult SendPassThroughDirect(const PassThroughRequest& request);

}  // namespace vxe

#endif
