// The product's own road for an enclosure, below the window: enumeration,
// identification, the up-to-date check and YES, against whatever platform
// is installed. The rig runs it in the guest through the real kernel and on
// the host over the simulated bus, and the two records must agree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hil {

// The flash an enclosure starts with: a valid device header of its own and
// older contents everywhere else, so the firmware is not current.
std::vector<uint8_t> StartingFlash();

struct ProductRun {
    std::vector<std::string> disks;   // what the enumeration found
    std::vector<std::string> cdroms;
    uint16_t chipId = 0;              // IdentifyChip on the first disk
    bool currentBefore = false;       // IsFirmwareCurrent before YES
    int32_t update = 0;               // RunOneClickUpdate
    bool currentAfter = false;        // IsFirmwareCurrent after YES
    std::string status;               // what the update left in the status field
};

// Refresh and YES on the first disk found, as the window runs them: the
// target family is attached, then YES runs whatever the family is (a
// non-target must not get a single command from it). Nothing when no disk
// was found.
ProductRun RunProductSequence();

// "chip=000a current-before=0 update=1 current-after=1", the fields two runs
// must agree on.
std::string Summary(const ProductRun& run);

}  // namespace hil
