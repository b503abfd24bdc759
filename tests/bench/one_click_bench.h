// YES on a VXE720-family enclosure in the offscreen window, measured on the
// simulated clock and on the host's clocks side by side.
#pragma once

#include <cstdint>
#include <optional>

#include "sim/device_description.h"

namespace vxe::bench {

enum class UpdatePath { Serial, Paged };

struct UpdateRun {
    bool done = false;            // the window ended in its Done state
    uint64_t deviceMs = 0;        // simulated time the update took
    uint64_t hostWallNs = 0;      // host wall time of the click
    uint64_t insideDeviceNs = 0;  // of it, spent inside the simulated device
    uint64_t hostCpuNs = 0;
    uint64_t insideDeviceCpuNs = 0;
    uint64_t commands = 0;
    uint64_t limitLookups = 0;    // the device's transfer bound asked of the platform
    uint64_t longestCommandMs = 0;
    double longestGapMs = 0;      // longest stretch without a message pump
    size_t pumps = 0;

    // Host time the product itself adds: the click minus the simulator's work.
    uint64_t productNs() const { return hostWallNs > insideDeviceNs ? hostWallNs - insideDeviceNs : 0; }
    uint64_t productCpuNs() const { return hostCpuNs > insideDeviceCpuNs ? hostCpuNs - insideDeviceCpuNs : 0; }
};

enum class DeviceClock { Fake, Real };

// One YES on a fresh enclosure with an older firmware. On the fake clock the
// device's waits cost no host time; on the real one they are slept as the
// demo sleeps them. With `removeAtCommand` the enclosure is pulled just
// before that command of the update.
UpdateRun RunYes(UpdatePath path, const sim::Timing& timing, std::optional<uint64_t> removeAtCommand = {},
                 DeviceClock clock = DeviceClock::Fake);

}  // namespace vxe::bench
