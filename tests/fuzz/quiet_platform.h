// A platform with no devices for fuzz targets that only need the seam
// installed: it counts message boxes and never sleeps.
#pragma once

#include "platform/platform.h"

namespace vxe::fuzz {

class QuietPlatform : public Platform {
public:
    PassThroughResult passThrough(const PassThroughRequest&) override { return {}; }
    std::vector<std::string> enumerateInterfaces(InterfaceClass) override { return {}; }
    void sleepMs(uint32_t) override {}
    std::span<const uint8_t> findResource(std::string_view, std::string_view) override { return {}; }
    void messageBox(std::string_view, std::string_view, MessageIcon) override { ++messages; }
    void debugOutput(std::string_view) override {}

    int messages = 0;
};

}  // namespace vxe::fuzz
