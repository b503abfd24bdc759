// The window's refresh over many simulated enclosures: host time per bridge.
#pragma once

#include <cstdint>

namespace vxe::bench {

struct RefreshRun {
    int bridges = 0;
    int refreshes = 0;
    uint64_t hostCpuNs = 0;       // all refreshes together
    uint64_t hostWallNs = 0;
    uint64_t insideDeviceNs = 0;  // of the wall time, inside the simulated devices
    uint64_t insideDeviceCpuNs = 0;
    uint64_t deviceMs = 0;        // simulated time all refreshes took
    uint64_t commands = 0;
    int listed = 0;               // rows the device list shows afterwards

    double perBridgeRefreshNs(uint64_t total) const {
        return static_cast<double>(total) / static_cast<double>(refreshes) / static_cast<double>(bridges);
    }
};

// `refreshes` clicks of Refresh over `bridges` enclosures (older firmware,
// every one a bridge of the family the one-click update serves).
RefreshRun RunRefreshes(int bridges, int refreshes);

}  // namespace vxe::bench
