// The device pass of a refresh: which USB storage devices are VXE720-family
// bridges that need the update. It fills the device table and sends the
// attach commands; the window then shows what it found.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/device_entry.h"

namespace vxe {

// The family of the VXE720 enclosures the one-click update is for.
inline constexpr uint8_t kTargetFamily = 10;

// True when identification names the VXE731/720 family.
bool IsTargetChip(const char* path);

// A target device the pass found, with its list item.
struct ListedDevice {
    std::string path;
    std::string item;
};

// A candidate the pass passed over because another procedure holds its lock:
// it was sent nothing, so what it is stays unknown.
struct BusyDevice {
    std::string path;
    int32_t slot = 0;     // its place among the candidates
    std::string reason;   // LockRefusal's text
};

struct DiscoveryResult {
    int32_t deviceCount = 0;          // candidate paths, disk and CD-ROM class
    std::vector<std::string> items;   // "<<USB>> " and the name, one per listed row
    // What each listed row's device was when the pass first spoke to it
    // (Platform::deviceIdentity), one per listed row.
    std::vector<std::string> identities;
    bool alreadyUpdated = false;      // a target device already holds the firmware
    // The target devices left out because their flash holds the firmware,
    // in the order found (the window shows none of them).
    std::vector<ListedDevice> current;
    // The candidate slot each listed row came from.
    std::vector<int32_t> listedSlots;
    std::vector<BusyDevice> busy;
};

// Each candidate is talked to only under its device lock, held from its first
// command to the end of the pass; a candidate whose lock another procedure
// holds is passed over (in `busy`) without a command.
// With `jobs` above 1, up to that many candidates are examined at once, each
// one's commands in their own order (a fleet's; the window keeps one at a
// time).
DiscoveryResult RunDiscoveryPass(DeviceTableRows& table, unsigned jobs = 1);

}  // namespace vxe
