#include "app/discovery_pass.h"

#include <cstring>

#include "app/identity_watch.h"
#include "app/write_guard.h"
#include "chip/chip_identification.h"
#include "device/device_enumeration.h"
#include "device/vendor_commands.h"
#include "flash/firmware_current.h"

namespace vxe {
namespace {

constexpr int32_t kInquiryLength = 40;
constexpr size_t kNameLength = 24;  // vendor and product identification
constexpr const char* kItemPrefix = "<<USB>> ";

void ToLowerAscii(char* text) {
    for (; *text != '\0'; ++text) {
        if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text - 'A' + 'a');
    }
}

}  // namespace

bool IsTargetChip(const char* path) { return ChipFamilyOf(IdentifyChip(path)) == kTargetFamily; }

DiscoveryResult RunDiscoveryPass(DeviceTableRows& table) {
    DiscoveryResult result;
    PathSlots slots{};
    const int32_t diskCount = EnumerateInterfaces(InterfaceClass::Disk, slots, 0);
    const int32_t cdromCount = EnumerateInterfaces(InterfaceClass::CdRom, slots, diskCount);
    result.deviceCount = diskCount + cdromCount;
    if (result.deviceCount == 0) return result;

    // The name of the last device that answered INQUIRY stays for the next
    // one that does not.
    char name[kNameLength] = {};
    // The listed devices' locks last to their second attach below.
    std::vector<DeviceLock> listedLocks;
    for (int32_t slot = 0; slot < result.deviceCount; ++slot) {
        char* path = slots[slot].data();
        DeviceLock lock = LockDevice(path);
        if (!lock.held()) {
            result.busy.push_back({path, slot, LockRefusal(lock, path)});
            continue;
        }
        // What the device is before the pass first speaks to it: a procedure
        // on its row later writes only to that device.
        const DevicePin pin(path);
        if (!IsTargetChip(path)) continue;
        ToLowerAscii(path);
        uint8_t inquiry[kInquiryLength] = {};
        if (Inquiry(path, inquiry, kInquiryLength)) std::memcpy(name, inquiry + 8, kNameLength);

        const size_t row = result.items.size();
        if (row >= table.size()) break;
        DeviceEntry& entry = table[row];
        std::memcpy(entry.DevicePath, path, sizeof entry.DevicePath);
        entry.DetachAtExit = 0;
        HostAttach(path);

        if (IsFirmwareCurrent(path)) {
            result.alreadyUpdated = true;  // not listed: the next device takes this row
            result.current.push_back({path, kItemPrefix + std::string(name, strnlen(name, kNameLength))});
            continue;
        }
        result.items.push_back(kItemPrefix + std::string(name, strnlen(name, kNameLength)));
        result.identities.push_back(pin.identity());
        result.listedSlots.push_back(slot);
        listedLocks.push_back(std::move(lock));
    }

    for (size_t row = 0; row < result.listedSlots.size(); ++row) {
        if (result.listedSlots[row] < diskCount) continue;
        table[row].DetachAtExit = 1;
        const DevicePin pin(table[row].DevicePath, result.identities[row]);
        HostAttach(table[row].DevicePath);
    }
    return result;
}

}  // namespace vxe
