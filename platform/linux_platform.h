// The platform on a Linux machine: SG_IO through the SCSI generic driver,
// device discovery and transfer limits through sysfs, real sleeping, stderr
// for the debugger output.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vxe {

class LinuxPlatform final : public Platform {
public:
    // Shows a modal message box; the window installs one. Without a presenter
    // the text goes to stderr so that nothing is silently lost.
    using MessagePresenter = std::function<void(std::string_view text, std::string_view caption, MessageIcon icon)>;

    explicit LinuxPlatform(std::string sysfsRoot = "/sys");

    PassThroughResult passThrough(const PassThroughRequest& request) override;
    std::vector<std::string> enumerateInterfaces(InterfaceClass cls) override;
    uint32_t maxTransferLength(const char* path) override;
    // Where the sg node sits in the sysfs device tree, as its class link
    // names it ("../../devices/.../3:0:0:0/scsi_generic/sg2"): the same text
    // for every name of the node. /dev/sgN costs one readlink; another name
    // a stat and the link of its device number. Empty when the node is gone;
    // a path that is no device node comes back as it is.
    std::string deviceIdentity(const char* path) override;
    void sleepMs(uint32_t milliseconds) override;
    std::span<const uint8_t> findResource(std::string_view name, std::string_view type) override;
    void messageBox(std::string_view text, std::string_view caption, MessageIcon icon) override;
    void debugOutput(std::string_view text) override;

    void setMessagePresenter(MessagePresenter presenter) { presenter_ = std::move(presenter); }

private:
    std::string sysfsRoot_;
    MessagePresenter presenter_;
};

}  // namespace vxe
