#include "tests/fuzz/scripted_platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vxe::fuzz {
namespace {

// Bits of the byte that starts every answer.
constexpr uint8_t kNotOpened = 0x01;
constexpr uint8_t kCallFails = 0x02;
constexpr uint8_t kErrorCode = 0x04;
constexpr uint8_t kLengthModeShift = 3;  // two bits: as asked, fewer, anything, none

}  // namespace

PassThroughResult ScriptedPlatform::passThrough(const PassThroughRequest& request) {
    // The transport's side of the contract, which the product must keep.
    if (request.path == nullptr || request.cdb == nullptr || request.cdbLength == 0 || request.cdbLength > 16) {
        std::abort();
    }
    if (request.dataTransferLength > 0 && request.dataBuffer == nullptr) std::abort();

    PassThroughResult result;
    if (input_.remaining_bytes() == 0) return result;
    const auto answer = input_.ConsumeIntegral<uint8_t>();
    if (answer & kNotOpened) return result;
    result.opened = true;
    result.callSucceeded = (answer & kCallFails) == 0;
    if (answer & kErrorCode) result.errorCode = input_.ConsumeIntegral<uint32_t>();

    const uint32_t asked = request.dataTransferLength;
    uint32_t delivered = asked;
    switch ((answer >> kLengthModeShift) & 0x03) {
        case 0: break;
        case 1: delivered = input_.ConsumeIntegralInRange<uint32_t>(0, asked); break;
        case 2: delivered = input_.ConsumeIntegral<uint32_t>(); break;
        default: delivered = 0; break;
    }
    // The device never writes past the buffer, whatever the driver reports.
    if (request.direction == DataDirection::In && asked > 0) {
        const auto bytes = input_.ConsumeBytes<uint8_t>(std::min(delivered, asked));
        if (!bytes.empty()) std::memcpy(request.dataBuffer, bytes.data(), bytes.size());
    }
    result.dataTransferLength = delivered;
    return result;
}

std::vector<std::string> ScriptedPlatform::enumerateInterfaces(InterfaceClass cls) {
    if (cls == InterfaceClass::Disk) return {kPath};
    return {};
}

}  // namespace vxe::fuzz
