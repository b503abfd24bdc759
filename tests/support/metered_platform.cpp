#include "tests/support/metered_platform.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace vxe::test {

PassThroughResult MeteredPlatform::passThrough(const PassThroughRequest& request) {
    if (beforeCommand) beforeCommand(commands);
    ++commands;
    const uint64_t startMs = clock_.nowMs();
    const auto startWall = std::chrono::steady_clock::now();
    const std::clock_t startCpu = std::clock();
    const PassThroughResult result = inner().passThrough(request);
    innerCpuNs += static_cast<uint64_t>(std::clock() - startCpu) * (1'000'000'000ULL / CLOCKS_PER_SEC);
    innerWallNs += static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - startWall).count());
    uint64_t endMs = clock_.nowMs();
    if (busyUntilMs && request.path != nullptr) endMs = std::max(endMs, busyUntilMs(request.path));
    longestCommandMs = std::max(longestCommandMs, endMs - startMs);
    return result;
}

}  // namespace vxe::test
