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
};

DiscoveryResult RunDiscoveryPass(DeviceTableRows& table);

}  // namespace vxe
