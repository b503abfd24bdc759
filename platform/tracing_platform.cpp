#include "platform/tracing_platform.h"

namespace vxe {

std::string FormatTraceLine(uint64_t sequence, const PassThroughRequest& request, const PassThroughResult& result) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string line = std::to_string(sequence);
    line += request.direction == DataDirection::In ? " in " : " out ";
    line += request.openMode == OpenMode::Shared ? "shared" : "exclusive";
    line += " cdb=";
    for (uint8_t i = 0; request.cdb != nullptr && i < request.cdbLength; ++i) {
        line += kHex[request.cdb[i] >> 4];
        line += kHex[request.cdb[i] & 0x0F];
    }
    line += " requested=" + std::to_string(request.dataTransferLength);
    line += " transferred=" + (result.opened ? std::to_string(result.dataTransferLength) : std::string("-"));
    line += " timeout=" + std::to_string(request.timeoutSeconds);
    if (!result.opened) {
        line += " result=not-opened";
    } else if (result.callSucceeded && result.errorCode == 0) {
        line += " result=ok";
    } else {
        line += " result=error:" + std::to_string(result.errorCode);
    }
    line += " path=";
    line += request.path != nullptr ? request.path : "";
    return line;
}

// Written and flushed command by command, so that the trace of a run that
// ends badly still holds everything up to the end.
PassThroughResult TracingPlatform::passThrough(const PassThroughRequest& request) {
    const PassThroughResult result = inner().passThrough(request);
    const std::lock_guard lock(mutex_);
    trace_ << FormatTraceLine(++sequence_, request, result) << '\n' << std::flush;
    return result;
}

}  // namespace vxe
