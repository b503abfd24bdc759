// The transfer limit of a device, asked of the platform once per procedure.
//
// On Linux the limit comes from sysfs, and one procedure reads the flash many
// times over. While a TransferLimitScope is open, each device path's limit is
// asked once and remembered; the outermost scope forgets everything when it
// closes, so the next procedure asks again and a node that the system has
// meanwhile given to another device is judged afresh. Scopes nest; each
// thread has its own. Without an open scope every call asks the platform.
#pragma once

#include <cstdint>

namespace vxe {

class TransferLimitScope {
public:
    TransferLimitScope();
    ~TransferLimitScope();
    TransferLimitScope(const TransferLimitScope&) = delete;
    TransferLimitScope& operator=(const TransferLimitScope&) = delete;
};

// The platform's maxTransferLength for `path`, remembered while a scope is open.
uint32_t DeviceTransferLimit(const char* path);

}  // namespace vxe
