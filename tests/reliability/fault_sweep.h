// The fault sweep: a procedure that writes (or backs up) the flash is run once
// cleanly to count its commands, then again on a fresh simulated device for
// every command index and every fault the bridge can inject there. The
// simulated flash and the backup file are the judges: a run that claims
// success while they do not hold what the clean run produced is a false
// success.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/simulated_platform.h"
#include "sim/bridge.h"
#include "sim/device_description.h"

namespace vxe::reliability {

enum class FaultKind : uint8_t {
    CommandFails,    // command k fails in transport
    DeviceVanishes,  // the device is gone from command k on
    WriteIgnored,    // write or erase k is acknowledged but not done
    BitStuck,        // a bit inside what command k programs never goes to 0
    ShortRead,       // data-in command k delivers one byte fewer
    FlashStaysBusy,  // from command k on the flash never gets ready
    // Two faults at once: write or erase k is acknowledged but not done, and
    // a read of the same flash range delivers fewer bytes or fails, so that
    // a verify which trusts a short read would pass over the missing write.
    WriteIgnoredReadCut,
};
inline constexpr std::array<FaultKind, 7> kFaultKinds = {
    FaultKind::CommandFails, FaultKind::DeviceVanishes, FaultKind::WriteIgnored,       FaultKind::BitStuck,
    FaultKind::ShortRead,    FaultKind::FlashStaysBusy, FaultKind::WriteIgnoredReadCut,
};
const char* FaultKindName(FaultKind kind);

// What one run left behind, as the procedure reported it.
struct RunOutcome {
    bool claimsSuccess = false;
    std::string status;
};

// Everything a run may touch besides the device.
struct RunContext {
    const char* path;
    SimulatedPlatform& platform;
    std::string backupFile;  // where a backup procedure is told to write
};

struct Procedure {
    std::string name;
    sim::DeviceDescription device;
    std::vector<uint8_t> startFlash;                         // the flash before the run
    std::map<std::string, std::vector<uint8_t>> resources;  // type "FW"
    // Backups: the number of flash bytes the file must hold; 0 for writers.
    uint32_t backupLength = 0;
    std::function<RunOutcome(RunContext&)> run;
    // Command indices the test suite's share visits. Runs that poll a flash
    // which never gets ready cost tens of thousands of commands each, so
    // those procedures get fewer.
    uint64_t suiteIndexBudget = 120;
};

// A run that broke a promise, kept for the report and the regression tests.
struct Finding {
    FaultKind kind;
    uint64_t commandIndex;
    std::string what;  // the broken promise, and for a pair of faults the second one
    std::string status;
};

struct SweepFigures {
    std::string procedure;
    uint64_t cleanCommands = 0;  // N
    uint64_t firstWrite = 0;     // index of the first flash-changing command (N when none)
    std::array<uint64_t, kFaultKinds.size()> runs{};     // faults injected, per kind
    std::array<uint64_t, kFaultKinds.size()> skipped{};  // indices where the fault means nothing
    uint64_t claimedSuccess = 0;
    uint64_t reportedFailure = 0;
    uint64_t falseSuccesses = 0;
    uint64_t touchedBeforeFirstWrite = 0;  // failed early, yet the old flash changed
    uint64_t lostBackups = 0;              // a failed backup replaced the older file
    uint64_t crashes = 0;                  // an exception escaped the procedure
    std::vector<Finding> findings;
    bool cleanRunSucceeded = false;

    uint64_t totalRuns() const;
};

// `indexBudget` 0 sweeps every command index. Otherwise about that many are
// taken, evenly spread, plus every command that changes the flash, the few
// around the first of them and the last few, which keeps the suite's share
// deterministic and quick.
SweepFigures SweepProcedure(const Procedure& procedure, uint64_t indexBudget = 0);

// True for the commands that change the flash (serial writes, program and
// erase commands of either flash).
bool ChangesFlash(const sim::Command& command);

}  // namespace vxe::reliability
