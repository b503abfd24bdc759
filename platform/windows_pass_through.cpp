#ifdef _WIN32
#include "platform/windows_pass_through.h"

#include <cstring>
#include <memory>

namespace vxe {

void FillPassThroughBlock(const PassThroughRequest& request, PassThroughBlock& block) {
    std::memset(&block, 0, sizeof block);
    SCSI_PASS_THROUGH_DIRECT& r = block.record;
    r.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    r.PathId = 0;
    r.TargetId = 1;
    r.Lun = 0;
    r.CdbLength = request.cdbLength;
    r.SenseInfoLength = 0;
    r.DataIn = request.direction == DataDirection::In ? SCSI_IOCTL_DATA_IN : SCSI_IOCTL_DATA_OUT;
    r.DataTransferLength = request.dataTransferLength;
    r.TimeOutValue = request.timeoutSeconds;
    r.DataBuffer = request.dataBuffer;
    r.SenseInfoOffset = static_cast<ULONG>(offsetof(PassThroughBlock, sense));
    std::memcpy(r.Cdb, request.cdb, request.cdbLength <= sizeof r.Cdb ? request.cdbLength : sizeof r.Cdb);
}

PassThroughResult SendPassThroughDirect(const PassThroughRequest& request) {
    PassThroughResult result;
    const DWORD share = request.openMode == OpenMode::Shared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
    HANDLE device = CreateFileA(request.path, GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return result;
    result.opened = true;

    auto block = std::make_unique<PassThroughBlock>();
    FillPassThroughBlock(request, *block);
    DWORD returned = 0;
    // Only an error raised by this call may count against it.
    SetLastError(0);
    const BOOL ok = DeviceIoControl(device, IOCTL_SCSI_PASS_THROUGH_DIRECT, &block->record,
                                    sizeof(SCSI_PASS_THROUGH_DIRECT), &block->record,
                                    sizeof(SCSI_PASS_THROUGH_DIRECT), &returned, nullptr);
    result.errorCode = GetLastError();
    CloseHandle(device);
    result.callSucceeded = ok != FALSE;
    result.dataTransferLength = block->record.DataTransferLength;
    return result;
}

}  // namespace vxe
#endif
