#include "tests/support/metered_platform.h"

#include <algorithm>
#include <chrono>

namespace vxe::test {

PassThroughResult MeteredPlatform::passThrough(const PassThroughRequest& request) {
    if (beforeCommand) beforeCommand(commands);
    ++commands;
    const uint64_t startMs = clock_.nowMs();
    const auto startWall = std::chrono::steady_clock::now();
    const PassThroughResult result = inner_.passThrough(request);
    innerWallNs += static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - startWall).count());
    longestCommandMs = std::max(longestCommandMs, clock_.nowMs() - startMs);
    return result;
}

}  // namespace vxe::test
