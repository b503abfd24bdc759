// A platform whose every answer comes from the fuzz input: whether the device
// opens, whether the request goes through and with which error code, how many
// bytes the device delivers and which, and what transfer length the driver
// reports (usually no more than asked, now and then anything at all). Once
// the input runs out the device is gone.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include "platform/platform.h"

namespace vxe::fuzz {

class ScriptedPlatform : public Platform {
public:
    explicit ScriptedPlatform(FuzzedDataProvider& input) : input_(input) {}

    PassThroughResult passThrough(const PassThroughRequest& request) override;
    std::vector<std::string> enumerateInterfaces(InterfaceClass cls) override;
    void sleepMs(uint32_t) override {}
    std::span<const uint8_t> findResource(std::string_view, std::string_view) override { return {}; }
    void messageBox(std::string_view, std::string_view, MessageIcon) override {}
    void debugOutput(std::string_view) override {}

    static constexpr const char* kPath = "\\\\?\\usbstor#disk&ven_fuzz&prod_bridge#1";

private:
    FuzzedDataProvider& input_;
};

}  // namespace vxe::fuzz
