// A platform that measures what passes through it and hands everything on to
// the platform it wraps: commands carried, look-ups of the transfer bound,
// the longest single command on the simulated clock, and the host's wall time
// spent inside the wrapped platform (the simulated device's own work).
#pragma once

#include <cstdint>
#include <functional>

#include "platform/forwarding_platform.h"
#include "sim/clock.h"

namespace vxe::test {

class MeteredPlatform final : public ForwardingPlatform {
public:
    MeteredPlatform(Platform& inner, const sim::Clock& clock) : ForwardingPlatform(inner), clock_(clock) {}

    PassThroughResult passThrough(const PassThroughRequest& request) override;
    uint32_t maxTransferLength(const char* path) override {
        ++limitLookups;
        return inner().maxTransferLength(path);
    }

    void resetCounts() {
        commands = limitLookups = longestCommandMs = innerWallNs = innerCpuNs = 0;
    }

    uint64_t commands = 0;
    uint64_t limitLookups = 0;
    // Simulated time one request keeps its device: until it answers, or until
    // the flash work it started ends, when `busyUntilMs` can tell.
    uint64_t longestCommandMs = 0;
    uint64_t innerWallNs = 0;       // host time spent inside the wrapped platform's requests
    uint64_t innerCpuNs = 0;        // the process's CPU time spent there
    // Called before each request with its 0-based number (e.g. to pull a device).
    std::function<void(uint64_t)> beforeCommand;
    // The simulated time the device behind `path` is busy until (optional).
    std::function<uint64_t(const char* path)> busyUntilMs;

private:
    const sim::Clock& clock_;
};

}  // namespace vxe::test
