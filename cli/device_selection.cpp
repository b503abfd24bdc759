#include "cli/device_selection.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "cli/arguments.h"
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

DiscoverySession::DiscoverySession() : result_(RunDiscoveryPass(table_)) {}

DiscoverySession::~DiscoverySession() {
    const size_t rows = std::min<size_t>(static_cast<size_t>(std::max(result_.deviceCount, 0)), table_.size());
    for (size_t i = 0; i < rows; ++i) {
        if (table_[i].DetachAtExit != 0) HostDetach(table_[i].DevicePath);
    }
}

std::optional<std::string> SelectDevice(const std::string& device, std::optional<DiscoverySession>& session) {
    if (const std::optional<size_t> index = DeviceIndex(device)) {
        session.emplace();
        if (*index >= session->listed()) return std::nullopt;
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
