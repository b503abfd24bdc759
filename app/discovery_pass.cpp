#include "app/discovery_pass.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "app/identity_watch.h"
#include "app/unfinished_updates.h"
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

namespace {

// What the pass learns of one candidate, under that candidate's lock.
struct Candidate {
    char* path = nullptr;
    DeviceLock lock;
    std::string busyReason;  // the lock was another procedure's: nothing was sent
    std::string identity;
    bool target = false;
    bool inquired = false;
    char name[kNameLength] = {};
    bool current = false;
};

// The candidate's own commands, in the order the window sends them.
void Examine(Candidate& candidate) {
    candidate.lock = LockDevice(candidate.path);
    if (!candidate.lock.held()) {
        candidate.busyReason = LockRefusal(candidate.lock, candidate.path);
        return;
    }
    // What the device is before the pass first speaks to it: a procedure on
    // its row later writes only to that device.
    const DevicePin pin(candidate.path);
    candidate.identity = pin.identity();
    if (!IsTargetChip(candidate.path)) return;
    candidate.target = true;
    ToLowerAscii(candidate.path);
    uint8_t inquiry[kInquiryLength] = {};
    candidate.inquired = Inquiry(candidate.path, inquiry, kInquiryLength) != 0;
    if (candidate.inquired) std::memcpy(candidate.name, inquiry + 8, kNameLength);
    HostAttach(candidate.path);
    // One whose last update was cut off is listed whatever its image looks
    // like: YES writes it again from what that update kept.
    candidate.current = IsFirmwareCurrent(candidate.path) && !HasUnfinishedUpdate(candidate.identity);
}

// Each candidate on a thread of its own, at most `jobs` at once.
void ExamineAll(std::vector<Candidate>& candidates, unsigned jobs) {
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < candidates.size(); i = next++) Examine(candidates[i]);
    };
    const size_t threads = std::min<size_t>(std::max(jobs, 1u), candidates.size());
    if (threads <= 1) {
        work();
        return;
    }
    std::vector<std::thread> workers;
    for (size_t t = 0; t < threads; ++t) workers.emplace_back(work);
    for (std::thread& worker : workers) worker.join();
}

}  // namespace

DiscoveryResult RunDiscoveryPass(DeviceTableRows& table, unsigned jobs) {
    DiscoveryResult result;
    PathSlots slots{};
    const int32_t diskCount = EnumerateInterfaces(InterfaceClass::Disk, slots, 0);
    const int32_t cdromCount = EnumerateInterfaces(InterfaceClass::CdRom, slots, diskCount);
    result.deviceCount = diskCount + cdromCount;
    if (result.deviceCount == 0) return result;

    // There are never more candidates than rows, so every candidate is
    // examined, whatever the others turn out to be.
    static_assert(kPathSlotCount <= static_cast<int32_t>(kDeviceTableRows));
    std::vector<Candidate> candidates(static_cast<size_t>(result.deviceCount));
    for (size_t slot = 0; slot < candidates.size(); ++slot) candidates[slot].path = slots[slot].data();
    ExamineAll(candidates, jobs);

    // The name of the last device that answered INQUIRY stays for the next
    // one that does not.
    char name[kNameLength] = {};
    // The listed devices' locks last to their second attach below.
    std::vector<DeviceLock> listedLocks;
    for (size_t slot = 0; slot < candidates.size(); ++slot) {
        Candidate& candidate = candidates[slot];
        if (!candidate.busyReason.empty()) {
            result.busy.push_back({candidate.path, static_cast<int32_t>(slot), candidate.busyReason});
            continue;
        }
        if (!candidate.target) continue;
        if (candidate.inquired) std::memcpy(name, candidate.name, kNameLength);
        const size_t row = result.items.size();
        DeviceEntry& entry = table[row];
        std::memcpy(entry.DevicePath, candidate.path, sizeof entry.DevicePath);
        entry.DetachAtExit = 0;
        const std::string item = kItemPrefix + std::string(name, strnlen(name, kNameLength));
        if (candidate.current) {
            result.alreadyUpdated = true;  // not listed: the next device takes this row
            result.current.push_back({candidate.path, item});
            continue;
        }
        result.items.push_back(item);
        result.identities.push_back(candidate.identity);
        result.listedSlots.push_back(static_cast<int32_t>(slot));
        listedLocks.push_back(std::move(candidate.lock));
    }
    candidates.clear();  // the other candidates' locks go

    for (size_t row = 0; row < result.listedSlots.size(); ++row) {
        if (result.listedSlots[row] < diskCount) continue;
        table[row].DetachAtExit = 1;
        const DevicePin pin(table[row].DevicePath, result.identities[row]);
        HostAttach(table[row].DevicePath);
    }
    return result;
}

}  // namespace vxe
