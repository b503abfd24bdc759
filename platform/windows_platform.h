// The platform on Windows: SetupAPI enumeration, SCSI pass-through direct,
// executable resources, MessageBoxA and OutputDebugStringA.
#pragma once
#ifdef _WIN32

#include "platform/platform.h"

namespace vxe {

class WindowsPlatform : public Platform {
public:
    PassThroughResult passThrough(const PassThroughRequest& request) override;
    std::vector<std::string> enumerateInterfaces(InterfaceClass cls) override;
    void sleepMs(uint32_t milliseconds) override;
    std::span<const uint8_t> findResource(std::string_view name, std::string_view type) override;
    void messageBox(std::string_view text, std::string_view caption, MessageIcon icon) override;
    void debugOutput(std::string_view text) override;
};

}  // namespace vxe

#endif
