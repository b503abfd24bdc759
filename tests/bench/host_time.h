// The host's own clocks, beside the simulated one: wall time and the
// process's CPU time.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>

namespace vxe::bench {

struct HostTime {
    uint64_t wallNs = 0;
    uint64_t cpuNs = 0;

    static HostTime Now() {
        HostTime t;
        t.wallNs = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
        t.cpuNs = static_cast<uint64_t>(std::clock()) * (1'000'000'000ULL / CLOCKS_PER_SEC);
        return t;
    }
};

inline double Ms(uint64_t ns) { return static_cast<double>(ns) / 1e6; }

}  // namespace vxe::bench
