// The USB mass-storage Bulk-Only Transport face of a simulated bridge: the
// wire format of the command and status wrappers, and a target that carries
// one wrapped command to sim::Bridge the way an enclosure does.
//
// The bridge answers INQUIRY and the vendor command set; the few block
// commands the kernel's disk driver sends on its own (TEST UNIT READY, READ
// CAPACITY, MODE SENSE, READ) are answered by a blank disk behind the bridge,
// as the SATA disk in a real enclosure would. REQUEST SENSE returns the sense
// data of the last command.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "sim/bridge.h"

namespace hil {

inline constexpr size_t kCbwSize = 31;
inline constexpr size_t kCswSize = 13;

struct Cbw {
    uint32_t tag = 0;
    uint32_t dataLength = 0;
    bool dataIn = false;
    uint8_t lun = 0;
    std::array<uint8_t, 16> cdb{};
    uint8_t cdbLength = 0;
};

// A well-formed command wrapper, or nullopt (wrong size, signature or
// command length).
std::optional<Cbw> ParseCbw(std::span<const uint8_t> bytes);

enum class CswStatus : uint8_t { Passed = 0, Failed = 1, PhaseError = 2 };

std::array<uint8_t, kCswSize> BuildCsw(uint32_t tag, uint32_t residue, CswStatus status);

struct BotResult {
    CswStatus status = CswStatus::Passed;
    uint32_t residue = 0;
};

class BotTarget {
public:
    // `diskBlocks` 512-byte blocks of zeros stand behind the bridge.
    BotTarget(sim::Bridge& bridge, uint32_t diskBlocks);

    // Carries out one command. `data` is the data phase (cbw.dataLength
    // bytes): the host's bytes for data-out, for data-in the reply, filled
    // completely (zero padding after what the device delivered, which the
    // residue accounts for). The host's own timeout is not on the wire; the
    // bridge is given the longest the product ever allows, so that it never
    // gives up on a busy flash before the host does.
    BotResult execute(const Cbw& cbw, std::span<uint8_t> data, uint32_t timeoutSeconds = 100);

    const std::array<uint8_t, 18>& lastSense() const { return sense_; }

private:
    std::optional<BotResult> executeDiskCommand(const Cbw& cbw, std::span<uint8_t> data);
    BotResult fail(uint8_t senseKey, uint8_t asc, uint32_t dataLength);
    BotResult pass(uint32_t delivered, uint32_t dataLength);

    sim::Bridge& bridge_;
    uint32_t diskBlocks_;
    std::array<uint8_t, 18> sense_{};
};

}  // namespace hil
