// Which device DEVICE names. A list index needs the refresh's device pass,
// which sends the attach commands as the window does; the session ends as the
// window's life does, by detaching the devices the pass marked for it (each
// under its device lock: one another procedure holds is left alone).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "app/device_entry.h"
#include "app/discovery_pass.h"

namespace vxe::cli {

class DiscoverySession {
public:
    // Runs the device pass, examining up to `jobs` candidates at once.
    explicit DiscoverySession(unsigned jobs = 1);
    ~DiscoverySession();
    DiscoverySession(const DiscoverySession&) = delete;
    DiscoverySession& operator=(const DiscoverySession&) = delete;

    const DiscoveryResult& result() const { return result_; }
    size_t listed() const { return result_.items.size(); }
    const DeviceEntry& row(size_t index) const { return table_[index]; }
    // Why list index `index` cannot be trusted to name the device a user saw
    // there: a device before it was passed over as busy, so the rows may have
    // moved. Empty when the index is sure.
    std::string uncertainIndex(size_t index) const;

private:
    DeviceTableRows table_{};
    DiscoveryResult result_;
};

// The device path for DEVICE: a row of the pass (which `session` then holds)
// or one of the machine's candidate paths, compared without regard to ASCII
// case and given back in lower case, as the device table keeps paths. None
// when there is no such device, or when the index is uncertain (see
// DiscoverySession::uncertainIndex).
std::optional<std::string> SelectDevice(const std::string& device, std::optional<DiscoverySession>& session);

// What the device pass found the device at `path` to be, when a pass ran and
// listed it; a procedure on that row writes to that device only.
std::optional<std::string> PassIdentity(const std::optional<DiscoverySession>& session, const std::string& path);

// USB storage interfaces the machine has beyond the slots of a refresh: the
// utility never looks at them.
int32_t InterfacesBeyondSlots();
// True when `device` is one of them.
bool IsBeyondSlots(const std::string& device);

}  // namespace vxe::cli
