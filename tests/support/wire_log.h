// Reading the simulated bridge's command log the way a bus analyser would.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/bridge.h"

namespace vxe::test {

struct WireCommand {
    uint64_t index;
    uint8_t opcode;
    uint8_t sub;        // byte 2 of the FF 04 group, byte 11 of the DF group
    uint32_t address;   // 24-bit address where the command carries one
    uint32_t length;    // bytes on the wire
    uint8_t modeByte;   // byte 1 (the erase mode of a serial flash write)
    sim::Outcome outcome;
};

WireCommand Decode(const sim::LogEntry& entry);

// Commands of the FF 04 group with sub-command `sub`, or of the DF group with
// byte 11 `sub` when opcode is 0xDF.
std::vector<WireCommand> CommandsOf(const sim::Bridge& bridge, uint8_t opcode, uint8_t sub);

// Serial flash writes and reads of the DF group.
inline std::vector<WireCommand> SpiWrites(const sim::Bridge& b) { return CommandsOf(b, 0xDF, 0xFB); }
inline std::vector<WireCommand> SpiReads(const sim::Bridge& b) { return CommandsOf(b, 0xDF, 0xFA); }
inline std::vector<WireCommand> FlashReads(const sim::Bridge& b) { return CommandsOf(b, 0xFF, 0x10); }
inline std::vector<WireCommand> FlashPrograms(const sim::Bridge& b) { return CommandsOf(b, 0xFF, 0x11); }
inline std::vector<WireCommand> ChipErases(const sim::Bridge& b) { return CommandsOf(b, 0xFF, 0x13); }
inline std::vector<WireCommand> BlockErases(const sim::Bridge& b) { return CommandsOf(b, 0xFF, 0x14); }

std::vector<uint32_t> Addresses(const std::vector<WireCommand>& commands);

// True when no command that changes the flash reached the bridge.
bool NothingWritten(const sim::Bridge& bridge);

}  // namespace vxe::test
