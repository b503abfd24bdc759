// A simulated Corvane USB-to-SATA bridge: the team's hardware.
//
// It answers every command block of the vendor command set the way a
// controller does, for any chip family profile, and keeps a NOR flash behind
// it: programming only clears bits, only an erase sets bytes back to 0xFF,
// and a busy flag stays set for the erase or program time of the timing
// model, measured on the simulated clock. Every command is logged, and
// faults can be injected so that tests can watch the product under failure.
//
// The simulator is a peer, not a fake: it decodes command blocks itself and
// shares no code with the product.
//
// Held while the flash is busy (and failed in transport after the command's
// timeout, or at once under the stuck-busy fault): the flash reads, programs
// and erases (DF FA/FB, FF 04 01/02/03/10/11/13/14). Everything else, the
// status reads FF 04 00 and FF 04 12 among them, is answered at once.
// Unknown opcodes and, on a plain disk, every 0xE0/0xDF/0xFF command end in
// CHECK CONDITION, ILLEGAL REQUEST, ASC 0x20; a known group with an unknown
// sub-command or field gets ASC 0x24; a command the controller lacks (an
// empty chip information block or identification string) gets CHECK
// CONDITION too. A data phase against the command's direction fails in
// transport (phase error).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/clock.h"
#include "sim/device_description.h"

namespace sim {

// One command as it reaches the device.
struct Command {
    std::array<uint8_t, 16> cdb{};
    uint8_t cdbLength = 0;
    bool dataIn = true;          // data phase device -> host
    uint32_t length = 0;         // bytes the host moves
    uint32_t timeoutSeconds = 0;
    bool exclusiveOpen = false;
};

enum class Outcome : uint8_t {
    Good,            // status GOOD
    CheckCondition,  // status CHECK CONDITION, sense data set
    TransportError,  // the request did not go through (injected failure, timeout)
    NotPresent,      // the device is not on the bus: the open fails
};

struct Reply {
    Outcome outcome = Outcome::Good;
    uint32_t transferred = 0;       // bytes really moved
    // Fixed-format sense data for CHECK CONDITION: byte 0 0x70, byte 2 the
    // sense key (0x05 ILLEGAL REQUEST), byte 7 0x0A, byte 12 the ASC (0x20
    // invalid command operation code, 0x24 invalid field in CDB), byte 13 0.
    std::array<uint8_t, 18> sense{};
};

inline constexpr uint8_t kSenseIllegalRequest = 0x05;
inline constexpr uint8_t kAscInvalidOpcode = 0x20;
inline constexpr uint8_t kAscInvalidField = 0x24;

struct LogEntry {
    uint64_t index = 0;  // 0-based command number on this device
    uint64_t timeMs = 0; // clock when the command arrived
    Command command;
    Reply reply;
};

// Matches commands by opcode and, for the 0xFF 0x04 group, sub-command
// (byte 2); for the 0xDF group the sub-command is byte 11.
struct CommandMatch {
    uint8_t opcode = 0;
    std::optional<uint8_t> subCommand;
    bool matches(const Command& command) const;
};

struct StuckBit {
    uint32_t address = 0;
    uint8_t mask = 0x01;  // bits that stay 1 whatever is programmed
};

// Faults, each keyed on the 0-based command index of this device.
struct Faults {
    std::optional<uint64_t> failCommandAt;      // that command fails in transport
    std::vector<CommandMatch> failMatching;     // every matching command fails in transport
    bool checkConditionOnVendorCommands = false;// answer 0xE0/0xDF/0xFF like a plain disk
    std::optional<uint64_t> vanishFrom;         // from this command on the device is gone
    std::optional<uint64_t> stuckBusyFrom;      // from this command on the flash never gets ready
    std::optional<uint64_t> ignoreWriteAt;      // that write or erase is acknowledged, not done
    std::optional<StuckBit> stuckBit;           // a bit that never programs to 0
    std::optional<uint64_t> shortReadAt;        // that data-in command delivers fewer bytes
    uint32_t shortReadMissing = 1;              // how many bytes fewer (at least 1)
};

struct Counters {
    uint32_t hostAttach = 0;
    uint32_t hostDetach = 0;
    uint32_t prepareForUpdate = 0;
    uint32_t switchToInternalRom = 0;
    uint32_t serialErases = 0;     // erase operations carried out on the serial flash
    uint32_t parallelErases = 0;   // chip erases carried out on the parallel flash
    uint32_t flaggedSerialWrites = 0;  // 0xDF 0xFB writes with bit 7 of the mode byte set
};

class Bridge {
public:
    Bridge(DeviceDescription description, Clock& clock);

    // Carries out one command. `data` holds command.length bytes: the bytes to
    // send for a data-out command, room for the reply for a data-in command
    // (never more than min(command.length, data.size()) bytes are touched).
    // A device that is not present answers NotPresent and counts nothing.
    // The command takes its timing's command time on the clock.
    Reply execute(const Command& command, std::span<uint8_t> data);
    // The same, leaving the command time to the caller (the simulated
    // platform waits it out without holding up the other devices).
    Reply executeWithoutItsTime(const Command& command, std::span<uint8_t> data);

    const DeviceDescription& description() const { return description_; }
    DeviceDescription& description() { return description_; }

    // The flash memory behind the bridge (serial or parallel, by profile).
    std::span<const uint8_t> flash() const { return flash_; }
    void setFlash(uint32_t offset, std::span<const uint8_t> bytes);
    void fillFlash(uint8_t value);

    // Persist the flash in a file: read it now (a missing file leaves the flash
    // erased) and write it back after every command that changed it, so a
    // device that is only read leaves its file alone. False, with the flash
    // erased and nothing attached, when the file cannot be read or does not
    // hold exactly the flash's size.
    bool attachFlashFile(const std::string& path);
    // Reads the attached file again, as another process may have changed it
    // (a file that went is an erased flash). Empty, or why it cannot be
    // used; the flash is then left as it was. Nothing attached: nothing to do.
    std::string reloadFlashFile();
    // Why the flash could not be written back to its file the first time
    // that failed; empty while every save succeeded.
    const std::string& flashFileProblem() const { return flashFileProblem_; }

    Faults& faults() { return faults_; }
    const std::vector<LogEntry>& log() const { return log_; }
    void clearLog() { log_.clear(); }
    uint64_t commandCount() const { return commandCount_; }
    const Counters& counters() const { return counters_; }

    bool present() const;          // false from the command index faults().vanishFrom on
    bool flashBusy() const;        // as the status command would report it now
    // When the flash is ready again, on the simulated clock (the past when it is).
    uint64_t busyUntilMs() const { return busyUntilMs_; }
    // Power off and on: the busy state ends, latched replies reset; the flash
    // keeps its contents, the log and faults stay.
    void powerCycle();

private:
    struct Impl;
    DeviceDescription description_;
    Clock& clock_;
    std::vector<uint8_t> flash_;
    Faults faults_;
    std::vector<LogEntry> log_;
    Counters counters_;
    uint64_t commandCount_ = 0;
    uint64_t busyUntilMs_ = 0;
    std::array<uint8_t, 4> jedecLatch_{};
    std::array<uint8_t, 18> parallelEraseCycles_{};
    bool parallelEraseArmed_ = false;
    std::string flashFile_;
    std::string flashFileProblem_;

    bool saveFlashFile();
    std::string readFlashFile(const std::string& path);

    friend struct Impl;
};

}  // namespace sim
