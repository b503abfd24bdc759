#include "platform/platform.h"

#include <stdexcept>

namespace vxe {
namespace {
Platform* g_platform = nullptr;
}

Platform& CurrentPlatform() {
    if (g_platform == nullptr) {
        throw std::logic_error("no platform installed");
    }
    return *g_platform;
}

Platform* InstallPlatform(Platform* platform) {
    Platform* previous = g_platform;
    g_platform = platform;
    return previous;
}

}  // namespace vxe
