#include "device/transfer_limit_scope.h"

#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace vxe {
namespace {

struct RememberedLimits {
    int openScopes = 0;
    // A procedure talks to one device, a few at most: a short list serves.
    std::vector<std::pair<std::string, uint32_t>> limits;
};

thread_local RememberedLimits remembered;

}  // namespace

TransferLimitScope::TransferLimitScope() { ++remembered.openScopes; }

TransferLimitScope::~TransferLimitScope() {
    if (--remembered.openScopes == 0) remembered.limits.clear();
}

uint32_t DeviceTransferLimit(const char* path) {
    if (path == nullptr || remembered.openScopes == 0) return CurrentPlatform().maxTransferLength(path);
    for (const auto& [known, limit] : remembered.limits) {
        if (known == path) return limit;
    }
    const uint32_t limit = CurrentPlatform().maxTransferLength(path);
    remembered.limits.emplace_back(path, limit);
    return limit;
}

}  // namespace vxe
