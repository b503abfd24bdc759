#include "tests/support/wire_log.h"

namespace vxe::test {

WireCommand Decode(const sim::LogEntry& entry) {
    const auto& c = entry.command.cdb;
    WireCommand w{};
    w.index = entry.index;
    w.opcode = c[0];
    w.modeByte = c[1];
    w.length = entry.command.length;
    w.outcome = entry.reply.outcome;
    if (c[0] == 0xDF) {
        w.sub = c[11];
        w.address = (uint32_t{c[8]} << 16) | (uint32_t{c[9]} << 8) | c[10];
    } else if (c[0] == 0xFF) {
        w.sub = c[2];
        w.address = (uint32_t{c[3]} << 16) | (uint32_t{c[4]} << 8) | c[5];
    }
    return w;
}

std::vector<WireCommand> CommandsOf(const sim::Bridge& bridge, uint8_t opcode, uint8_t sub) {
    std::vector<WireCommand> out;
    for (const sim::LogEntry& e : bridge.log()) {
        const WireCommand w = Decode(e);
        if (w.opcode == opcode && w.sub == sub && (opcode == 0xDF || e.command.cdb[1] == 0x04)) out.push_back(w);
    }
    return out;
}

std::vector<uint32_t> Addresses(const std::vector<WireCommand>& commands) {
    std::vector<uint32_t> out;
    for (const WireCommand& w : commands) out.push_back(w.address);
    return out;
}

bool NothingWritten(const sim::Bridge& bridge) {
    for (const sim::LogEntry& e : bridge.log()) {
        const WireCommand w = Decode(e);
        if (w.opcode == 0xDF && w.sub == 0xFB) return false;
        if (w.opcode == 0xFF && e.command.cdb[1] == 0x04 &&
            (w.sub == 0x01 || w.sub == 0x02 || w.sub == 0x11 || w.sub == 0x13 || w.sub == 0x14)) {
            return false;
        }
    }
    return true;
}

}  // namespace vxe::test
