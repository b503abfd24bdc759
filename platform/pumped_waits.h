// A window must keep answering while the device works: a Windows window that
// processes no messages for five seconds is greyed out as "Not Responding",
// and a user may kill it in the middle of a write. Installed over the current
// platform for the time of one procedure, this platform sleeps every wait in
// slices of at most `sliceMs` and lets the front end pump its messages after
// each slice. Commands and the length of every wait stay exactly as they are:
// the slices of one wait add up to it.
#pragma once

#include <functional>

#include "platform/forwarding_platform.h"

namespace vxe {

class PumpedWaits final : public ForwardingPlatform {
public:
    // Installs itself over the current platform for its lifetime.
    PumpedWaits(uint32_t sliceMs, std::function<void()> pump);
    ~PumpedWaits() override;
    PumpedWaits(const PumpedWaits&) = delete;
    PumpedWaits& operator=(const PumpedWaits&) = delete;

    void sleepMs(uint32_t milliseconds) override;

private:
    uint32_t sliceMs_;
    std::function<void()> pump_;
    bool pumping_ = false;
    Platform* previous_ = nullptr;
};

}  // namespace vxe
