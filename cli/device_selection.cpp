#include "cli/device_selection.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/write_guard.h"
#include "cli/arguments.h"
#include "cli/output.h"
#include "device/device_enumeration.h"
#include "device/vendor_commands.h"

namespace vxe::cli {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), LowerAscii);
    return text;
}

}  // namespace

DiscoverySession::DiscoverySession(unsigned jobs) : result_(RunDiscoveryPass(table_, jobs)) {}

DiscoverySession::~DiscoverySession() {
    const size_t rows = std::min<size_t>(static_cast<size_t>(std::max(result_.deviceCount, 0)), table_.size());
    for (size_t i = 0; i < rows; ++i) {
        if (table_[i].DetachAtExit == 0) continue;
        // A device another procedure took meanwhile keeps its attach.
        const DeviceLock lock = LockDevice(table_[i].DevicePath);
        if (lock.held()) HostDetach(table_[i].DevicePath);
    }
}

std::string DiscoverySession::uncertainIndex(size_t index) const {
    const std::vector<BusyDevice>& busy = result_.busy;
    if (busy.empty()) return {};
    // Only a device passed over before the row can have moved it.
    if (index < listed() && busy.front().slot > result_.listedSlots[index]) return {};
    const std::string named = Printable(busy.front().path) +
                              (busy.size() > 1 ? " and " + std::to_string(busy.size() - 1) + " more" : "");
    const auto others = static_cast<size_t>(std::max(result_.deviceCount, 0)) - busy.size();
    return named + (busy.size() > 1 ? " are" : " is") + " busy (another procedure is working on " +
           (busy.size() > 1 ? "them" : "it") + ") and passed over, so device " + std::to_string(index) +
           " may not be the one the list showed: name the device by its path (see fwupdate-cli list); " +
           (others == 0 ? std::string("nothing was sent")
                        : "only the device pass's reads and attach commands were sent, to the " +
                              std::to_string(others) + " other device" + (others == 1 ? "" : "s") +
                              ", nothing to " + named);
}

std::optional<std::string> SelectDevice(const std::string& device, std::optional<DiscoverySession>& session) {
    if (const std::optional<size_t> index = DeviceIndex(device)) {
        session.emplace();
        if (*index >= session->listed() || !session->uncertainIndex(*index).empty()) return std::nullopt;
        return std::string(session->row(*index).DevicePath);
    }
    // The same candidates a refresh sees, without sending anything.
    PathSlots slots{};
    const int32_t disks = EnumerateInterfaces(InterfaceClass::Disk, slots, 0);
    const int32_t count = disks + EnumerateInterfaces(InterfaceClass::CdRom, slots, disks);
    const std::string wanted = Lower(device);
    for (int32_t i = 0; i < count; ++i) {
        const std::string candidate = Lower(slots[i].data());
        if (candidate == wanted) return candidate;
    }
    return std::nullopt;
}

std::optional<std::string> PassIdentity(const std::optional<DiscoverySession>& session, const std::string& path) {
    if (!session) return std::nullopt;
    for (size_t i = 0; i < session->listed() && i < session->result().identities.size(); ++i) {
        if (path == session->row(i).DevicePath) return session->result().identities[i];
    }
    return std::nullopt;
}

namespace {

std::vector<std::string> AllInterfaces() {
    std::vector<std::string> all = CurrentPlatform().enumerateInterfaces(InterfaceClass::Disk);
    const std::vector<std::string> cdroms = CurrentPlatform().enumerateInterfaces(InterfaceClass::CdRom);
    all.insert(all.end(), cdroms.begin(), cdroms.end());
    return all;
}

}  // namespace

int32_t InterfacesBeyondSlots() {
    const auto all = static_cast<int32_t>(AllInterfaces().size());
    return all > kPathSlotCount ? all - kPathSlotCount : 0;
}

bool IsBeyondSlots(const std::string& device) {
    const std::vector<std::string> all = AllInterfaces();
    const std::string wanted = Lower(device);
    for (size_t i = kPathSlotCount; i < all.size(); ++i) {
        if (Lower(all[i]) == wanted) return true;
    }
    return false;
}

}  // namespace vxe::cli
