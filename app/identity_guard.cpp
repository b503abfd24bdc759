#include "app/identity_guard.h"

namespace vxe {

IdentityGuard::IdentityGuard(const char* device)
    : inner_(CurrentPlatform()), device_(device == nullptr ? "" : device), identity_(inner_.deviceIdentity(device)) {
    previous_ = InstallPlatform(this);
}

IdentityGuard::~IdentityGuard() { InstallPlatform(previous_); }

PassThroughResult IdentityGuard::passThrough(const PassThroughRequest& request) {
    const bool ours = request.path != nullptr && device_ == request.path;
    if (ours && changed_) return PassThroughResult{};  // nothing more goes to another device
    // A device that was already gone at the start cannot be told apart; its
    // commands fail by themselves.
    if (ours && request.direction == DataDirection::Out && !identity_.empty() &&
        inner_.deviceIdentity(request.path) != identity_) {
        changed_ = true;
        return PassThroughResult{};
    }
    return inner_.passThrough(request);
}

}  // namespace vxe
