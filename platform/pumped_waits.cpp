#include "platform/pumped_waits.h"

#include <algorithm>

namespace vxe {
namespace {

// Marks a pump in progress, also when the pump throws.
class Pumping {
public:
    explicit Pumping(bool& flag) : flag_(flag) { flag_ = true; }
    ~Pumping() { flag_ = false; }
    Pumping(const Pumping&) = delete;
    Pumping& operator=(const Pumping&) = delete;

private:
    bool& flag_;
};

}  // namespace

PumpedWaits::PumpedWaits(uint32_t sliceMs, std::function<void()> pump)
    : ForwardingPlatform(CurrentPlatform()), sliceMs_(std::max<uint32_t>(sliceMs, 1)), pump_(std::move(pump)) {
    previous_ = InstallPlatform(this);
}

PumpedWaits::~PumpedWaits() { InstallPlatform(previous_); }

void PumpedWaits::sleepMs(uint32_t milliseconds) {
    // A wait reached from inside a pump (a handler that talks to a device)
    // is slept whole: pumps never nest.
    if (pumping_ || !pump_) {
        inner().sleepMs(milliseconds);
        return;
    }
    uint32_t left = milliseconds;
    do {
        const uint32_t slice = std::min(left, sliceMs_);
        inner().sleepMs(slice);
        left -= slice;
        Pumping pumping(pumping_);
        pump_();
    } while (left > 0);
}

}  // namespace vxe
