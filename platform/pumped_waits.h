// A window must keep answering while the device works: a Windows window that
// processes no messages for five seconds is greyed out as "Not Responding",
// and a user may kill it in the middle of a write. Installed over the current
// platform for the time of one procedure, this platform sleeps every wait in
// slices of at most `sliceMs` and lets the front end pump its messages after
// each slice. Commands and the length of every wait stay exactly as they are:
// the slices of one wait add up to it.
#pragma once

#include <functional>

#include "platform/platform.h"

namespace vxe {

class PumpedWaits final : public Platform {
public:
    // Installs itself over the current platform for its lifetime.
    PumpedWaits(uint32_t sliceMs, std::function<void()> pump);
    ~PumpedWaits() override;
    PumpedWaits(const PumpedWaits&) = delete;
    PumpedWaits& operator=(const PumpedWaits&) = delete;

    void sleepMs(uint32_t milliseconds) override;

    PassThroughResult passThrough(const PassThroughRequest& request) override { return inner_.passThrough(request); }
    std::vector<std::string> enumerateInterfaces(InterfaceClass cls) override { return inner_.enumerateInterfaces(cls); }
    uint32_t maxTransferLength(const char* path) override { return inner_.maxTransferLength(path); }
    std::string deviceIdentity(const char* path) override { return inner_.deviceIdentity(path); }
    std::span<const uint8_t> findResource(std::string_view name, std::string_view type) override {
        return inner_.findResource(name, type);
    }
    void messageBox(std::string_view text, std::string_view caption, MessageIcon icon) override {
        inner_.messageBox(text, caption, icon);
    }
    void debugOutput(std::string_view text) override { inner_.debugOutput(text); }

private:
    Platform& inner_;
    uint32_t sliceMs_;
    std::function<void()> pump_;
    bool pumping_ = false;
    Platform* previous_ = nullptr;
};

}  // namespace vxe
