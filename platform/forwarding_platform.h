// A platform that hands everything to the one it wraps; decorators derive
// from it and override only what they change.
#pragma once

#include "platform/platform.h"

namespace vxe {

class ForwardingPlatform : public Platform {
public:
    explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

    PassThroughResult passThrough(const PassThroughRequest& request) override { return inner_.passThrough(request); }
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

protected:
    Platform& inner() { return inner_; }

private:
    Platform& inner_;
};

}  // namespace vxe
