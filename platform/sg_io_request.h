// Translation between the product's pass-through request and the Linux SCSI
// generic driver's SG_IO header. Pure functions: no device is touched here, so
// every field can be checked without hardware.
#pragma once

#include <scsi/sg.h>

#include <cstdint>
#include <span>

#include "platform/platform.h"

namespace vxe {

// Room for the sense data the kernel may hand back. The product judges
// replies by their content and never reads sense data; the buffer only keeps
// the kernel from having nowhere to put it.
inline constexpr size_t kSgSenseBufferSize = 32;

// Largest command block the sg driver takes through SG_IO.
inline constexpr uint8_t kSgMaxCdbLength = 16;

// The driver_status bit that only says "sense data is valid" (a CHECK
// CONDITION was carried and answered). It is not a transport failure.
inline constexpr unsigned kSgDriverSense = 0x08;

// Error codes for a request that went through the ioctl but failed in the
// host adapter or driver. They sit above every errno value so the two kinds
// never collide: 0x10000 | host_status << 8 | driver_status.
inline constexpr uint32_t kSgStatusErrorBase = 0x10000;

// errno-style reason why a request cannot be sent at all, 0 when it can: a
// missing or over-long command block, or a data length without a buffer.
int CheckPassThroughRequest(const PassThroughRequest& request);

// Fills an SG_IO header for `request`. The data buffer and the command block
// are referenced, not copied; `sense` must outlive the ioctl.
//
// A request that moves no data goes out as SG_DXFER_NONE whatever its own
// direction: that is the only direction the sg driver defines for an empty
// data phase, and the block layer would turn an empty "from device" transfer
// into "none" anyway. The request itself keeps the direction its caller gave.
sg_io_hdr_t BuildSgIoHeader(const PassThroughRequest& request, std::span<uint8_t, kSgSenseBufferSize> sense);

struct SgIoOutcome {
    bool succeeded = false;
    uint32_t errorCode = 0;
    uint32_t transferred = 0;
};

// Judges a completed SG_IO call. It succeeded when the ioctl returned 0 and
// neither the host adapter nor the driver reported an error; a CHECK
// CONDITION from the device still counts as carried, since the SCSI status is
// the caller's business. `transferred` is the requested length less the
// residue the driver reported, kept within 0..dxfer_len.
SgIoOutcome JudgeSgIoHeader(int ioctlResult, int ioctlErrno, const sg_io_hdr_t& header);

}  // namespace vxe
