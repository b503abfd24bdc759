#include "platform/sg_io_request.h"

#include <cerrno>
#include <cstdint>
#include <limits>

namespace vxe {

int CheckPassThroughRequest(const PassThroughRequest& request) {
    if (request.cdb == nullptr || request.cdbLength == 0 || request.cdbLength > kSgMaxCdbLength) {
        return EINVAL;
    }
    if (request.dataTransferLength > 0 && request.dataBuffer == nullptr) {
        return EINVAL;
    }
    // dxfer_len is an unsigned int and the driver rejects anything that does
    // not fit an int.
    if (request.dataTransferLength > static_cast<uint32_t>(std::numeric_limits<int>::max())) {
        return EINVAL;
    }
    return 0;
}

sg_io_hdr_t BuildSgIoHeader(const PassThroughRequest& request, std::span<uint8_t, kSgSenseBufferSize> sense) {
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    if (request.dataTransferLength == 0) {
        header.dxfer_direction = SG_DXFER_NONE;
    } else {
        header.dxfer_direction = request.direction == DataDirection::In ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
        header.dxfer_len = request.dataTransferLength;
        header.dxferp = request.dataBuffer;
    }
    header.cmd_len = request.cdbLength;
    // The driver only reads the command block.
    header.cmdp = const_cast<unsigned char*>(request.cdb);
    header.mx_sb_len = static_cast<unsigned char>(sense.size());
    header.sbp = sense.data();

    constexpr uint32_t kMaxSeconds = std::numeric_limits<unsigned int>::max() / 1000u;
    header.timeout = request.timeoutSeconds > kMaxSeconds ? std::numeric_limits<unsigned int>::max()
                                                          : request.timeoutSeconds * 1000u;
    header.flags = 0;
    return header;
}

SgIoOutcome JudgeSgIoHeader(int ioctlResult, int ioctlErrno, const sg_io_hdr_t& header) {
    SgIoOutcome outcome;
    if (header.resid <= 0) {
        outcome.transferred = header.dxfer_len;
    } else if (static_cast<unsigned int>(header.resid) < header.dxfer_len) {
        outcome.transferred = header.dxfer_len - static_cast<unsigned int>(header.resid);
    }

    if (ioctlResult != 0) {
        outcome.errorCode = ioctlErrno != 0 ? static_cast<uint32_t>(ioctlErrno) : static_cast<uint32_t>(EIO);
        return outcome;
    }
    const unsigned host = header.host_status & 0xFFu;
    const unsigned driver = header.driver_status & 0xFFu & ~kSgDriverSense;
    if (host != 0 || driver != 0) {
        outcome.errorCode = kSgStatusErrorBase | host << 8 | (header.driver_status & 0xFFu);
        return outcome;
    }
    outcome.succeeded = true;
    return outcome;
}

}  // namespace vxe
