// Every command reopens the device by name, so an enclosure pulled mid-update
// whose node is given to the next device plugged would receive the rest of
// the procedure. While this guard is installed, each command that writes to
// the device first checks that the path still names the device the procedure
// started on; once it does not, nothing more is sent to that path.
#pragma once

#include <string>

#include "platform/platform.h"

namespace vxe {

class IdentityGuard final : public Platform {
public:
    // Installs itself over the current platform for its lifetime.
    explicit IdentityGuard(const char* device);
    ~IdentityGuard() override;
    IdentityGuard(const IdentityGuard&) = delete;
    IdentityGuard& operator=(const IdentityGuard&) = delete;

    // True once a command was held back because the path changed hands.
    bool deviceChanged() const { return changed_; }
    const std::string& startIdentity() const { return identity_; }

    PassThroughResult passThrough(const PassThroughRequest& request) override;
    std::vector<std::string> enumerateInterfaces(InterfaceClass cls) override { return inner_.enumerateInterfaces(cls); }
    uint32_t maxTransferLength(const char* path) override { return inner_.maxTransferLength(path); }
    std::string deviceIdentity(const char* path) override { return inner_.deviceIdentity(path); }
    std::string refreshDevice(const char* path) override { return inner_.refreshDevice(path); }
    void sleepMs(uint32_t milliseconds) override { inner_.sleepMs(milliseconds); }
    std::span<const uint8_t> findResource(std::string_view name, std::string_view type) override {
        return inner_.findResource(name, type);
    }
    void messageBox(std::string_view text, std::string_view caption, MessageIcon icon) override {
        inner_.messageBox(text, caption, icon);
    }
    void debugOutput(std::string_view text) override { inner_.debugOutput(text); }

private:
    Platform& inner_;
    std::string device_;
    std::string identity_;
    bool changed_ = false;
    Platform* previous_ = nullptr;
};

}  // namespace vxe
