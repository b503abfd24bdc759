// The command decoder of the simulated bridge: what a Corvane controller
// makes of each command block it receives.
#include <algorithm>
#include <array>
#include <vector>

#include "sim/bridge_impl.h"

namespace sim {
namespace {

uint32_t Be16(uint8_t hi, uint8_t lo) { return uint32_t{hi} << 8 | lo; }
uint32_t Be24(uint8_t a2, uint8_t a1, uint8_t a0) { return uint32_t{a2} << 16 | uint32_t{a1} << 8 | a0; }

uint64_t ProgramMs(size_t bytes, uint32_t msPer4K) { return (bytes + 4095) / 4096 * uint64_t{msPer4K}; }

// The JEDEC unlock addresses of the parallel flash types.
struct Unlock {
    uint16_t first;
    uint16_t second;
};
Unlock UnlockFor(int type) { return type == 1 ? Unlock{0x0555, 0x02AA} : Unlock{0x5555, 0x2AAA}; }

// Cycles as the bridge receives them: the 16-bit addresses low byte first,
// then the data bytes.
bool CyclesMatch(std::span<const uint8_t> cycles, std::span<const uint16_t> addresses,
                 std::span<const uint8_t> values) {
    const size_t n = addresses.size();
    if (cycles.size() < n * 3) return false;
    for (size_t i = 0; i < n; ++i) {
        if (cycles[2 * i] != (addresses[i] & 0xFF) || cycles[2 * i + 1] != addresses[i] >> 8) return false;
        if (cycles[2 * n + i] != values[i]) return false;
    }
    return true;
}

}  // namespace

Bridge::Impl::Decoded Bridge::Impl::decode() const {
    const auto& c = cmd.cdb;
    const auto make = [](Handler h, DataPhase phase, bool flash = false) {
        return Decoded{.handler = h, .asc = 0, .phase = phase, .flashCommand = flash};
    };
    const Decoded invalidField{.asc = kAscInvalidField};
    switch (c[0]) {
        case 0x12:
            if (c[1] & 0x01) return invalidField;  // vital product data pages are not kept
            return make(&Bridge::Impl::inquiry, DataPhase::In);
        case 0xE0:
            if (c[1] != 0xF4 || c[2] != 0xE7) return invalidField;
            return make(&Bridge::Impl::chipInformation, DataPhase::In);
        case 0xDF:
            switch (c[11]) {
                case 0xFF: return make(&Bridge::Impl::idWord, DataPhase::In);
                case 0xFD: return make(&Bridge::Impl::memoryRead, DataPhase::In);
                case 0xFA: return make(&Bridge::Impl::spiRead, DataPhase::In, true);
                case 0xFB: return make(&Bridge::Impl::spiWrite, DataPhase::Out, true);
                default: return invalidField;
            }
        case 0xFF:
            if (c[1] != 0x04) return invalidField;
            switch (c[2]) {
                case 0x00: return make(&Bridge::Impl::parallelBusy, DataPhase::In);
                case 0x01: return make(&Bridge::Impl::parallelErase, DataPhase::None, true);
                case 0x02: return make(&Bridge::Impl::parallelProgram, DataPhase::Out, true);
                case 0x03: return make(&Bridge::Impl::parallelRead, DataPhase::In, true);
                case 0x04: return make(&Bridge::Impl::parallelPreErase, DataPhase::Out);
                case 0x05: return make(&Bridge::Impl::switchToInternalRom, DataPhase::None);
                case 0x10: return make(&Bridge::Impl::flashRead, DataPhase::In, true);
                case 0x11: return make(&Bridge::Impl::flashProgram, DataPhase::Out, true);
                case 0x12: return make(&Bridge::Impl::flashStatus, DataPhase::In);
                case 0x13: return make(&Bridge::Impl::chipErase, DataPhase::None, true);
                case 0x14: return make(&Bridge::Impl::blockErase, DataPhase::None, true);
                case 0x20: return make(&Bridge::Impl::jedecCommand, DataPhase::None);
                case 0x21: return make(&Bridge::Impl::jedecRead, DataPhase::In);
                case 0x23: return make(&Bridge::Impl::flashVendor, DataPhase::In);
                case 0x25: return make(&Bridge::Impl::prepareForUpdate, DataPhase::None);
                case 0x30: return make(&Bridge::Impl::idString, DataPhase::In);
                case 0x43:
                    if (c[3] != 0x56 || (c[4] != 0x55 && c[4] != 0xAA)) return invalidField;
                    return make(&Bridge::Impl::hostAttachDetach, DataPhase::None);
                default: return invalidField;
            }
        default:
            return Decoded{.asc = kAscInvalidOpcode};
    }
}

// --- identification -------------------------------------------------------

Reply Bridge::Impl::inquiry() {
    const std::vector<uint8_t>& bytes = b.description_.inquiry;
    const size_t allocation = Be16(cmd.cdb[3], cmd.cdb[4]);
    return deliver(std::span(bytes).first(std::min(bytes.size(), allocation)));
}

Reply Bridge::Impl::chipInformation() {
    const std::vector<uint8_t>& block = b.description_.chipInformation;
    if (block.empty()) return CheckCondition(kAscInvalidOpcode);  // an older controller
    return deliver(block);
}

Reply Bridge::Impl::idWord() { return deliver(b.description_.idWord); }

Reply Bridge::Impl::idString() {
    const std::vector<uint8_t>& text = b.description_.idString;
    if (text.empty()) return CheckCondition(kAscInvalidField);
    return deliver(text);
}

Reply Bridge::Impl::memoryRead() {
    const auto& c = cmd.cdb;
    const uint32_t address = Be16(c[6], c[7]);
    const uint32_t length = std::min<uint32_t>(Be16(c[3], c[4]), static_cast<uint32_t>(data.size()));
    const std::vector<uint8_t>& memory = b.description_.controllerMemory;
    std::vector<uint8_t> bytes(length, 0);
    for (uint32_t i = 0; i < length; ++i) {
        const uint32_t at = (address + i) & 0xFFFF;
        if (at < memory.size()) bytes[i] = memory[at];
    }
    return deliver(bytes);
}

Reply Bridge::Impl::flashVendor() {
    const std::array<uint8_t, 4> reply{b.description_.flashVendorCode, 0, 0, 0};
    return deliver(reply);
}

// 01 01 9F: one command byte out, the 0x9F read-identification command; the
// answer waits in the bridge for FF 04 21. Other serial commands read back the
// idle bus (all ones).
Reply Bridge::Impl::jedecCommand() {
    const auto& c = cmd.cdb;
    const bool readId = c[3] == 0x01 && c[4] == 0x01 && c[5] == 0x9F && b.description_.flashKind == FlashKind::Serial;
    b.jedecLatch_ = readId ? b.description_.jedecId : std::array<uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF};
    return Good();
}

Reply Bridge::Impl::jedecRead() { return deliver(b.jedecLatch_); }

// --- control ----------------------------------------------------------------

Reply Bridge::Impl::prepareForUpdate() {
    ++b.counters_.prepareForUpdate;
    return Good();
}

Reply Bridge::Impl::switchToInternalRom() {
    if (b.description_.switchToInternalRomFails) return TransportError();
    ++b.counters_.switchToInternalRom;
    return Good();
}

Reply Bridge::Impl::hostAttachDetach() {
    if (cmd.cdb[4] == 0x55) {
        ++b.counters_.hostAttach;
    } else {
        ++b.counters_.hostDetach;
    }
    return Good();
}

// --- serial flash -----------------------------------------------------------

Reply Bridge::Impl::flashStatus() {
    const std::array<uint8_t, 1> status{static_cast<uint8_t>(busyNow() ? 0x01 : 0x00)};
    return deliver(status);
}

Reply Bridge::Impl::flashRead() {
    const auto& c = cmd.cdb;
    const uint32_t address = Be24(c[3], c[4], c[5]);
    const std::vector<uint8_t>& flash = b.flash_;
    std::vector<uint8_t> bytes(data.size(), 0xFF);
    if (!flash.empty()) {
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = flash[(address + i) % flash.size()];
    }
    return deliver(bytes);
}

Reply Bridge::Impl::spiRead() {
    const auto& c = cmd.cdb;
    const uint32_t length = std::min<uint32_t>(Be16(c[3], c[4]), static_cast<uint32_t>(data.size()));
    const uint32_t address = Be24(c[8], c[9], c[10]);
    const std::vector<uint8_t>& flash = b.flash_;
    std::vector<uint8_t> bytes(length, 0xFF);
    if (!flash.empty()) {
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = flash[(address + i) % flash.size()];
    }
    return deliver(bytes);
}

Reply Bridge::Impl::flashProgram() {
    const auto& c = cmd.cdb;
    if (writeIgnored()) return Good(accepted());
    program(Be24(c[3], c[4], c[5]), outData());
    busyFor(ProgramMs(outData().size(), b.description_.timing.programMsPer4K));
    return Good(accepted());
}

// Erase mode in byte 1: bits 0-2 the erase before writing, bit 7 a flag the
// controller takes for some makers' parts.
Reply Bridge::Impl::spiWrite() {
    const auto& c = cmd.cdb;
    const DeviceDescription& d = b.description_;
    const uint8_t mode = c[1] & 0x07;
    if (c[1] & 0x80) ++b.counters_.flaggedSerialWrites;
    if (writeIgnored()) return Good(accepted());

    const uint32_t address = Be24(c[8], c[9], c[10]);
    const auto flashSize = static_cast<uint32_t>(b.flash_.size());
    uint64_t busyMs = 0;
    const auto eraseUnit = [&](uint32_t unit, uint32_t ms) {
        if (unit == 0 || unit >= flashSize) {
            erase(0, flashSize);
        } else {
            const uint32_t at = address % flashSize;
            erase(at - at % unit, unit);
        }
        ++b.counters_.serialErases;
        busyMs += ms;
    };
    switch (mode) {
        case 1: case 4: eraseUnit(d.smallEraseUnit, d.timing.smallEraseMs); break;
        case 2: case 5: eraseUnit(d.largeEraseUnit, d.timing.largeEraseMs); break;
        case 3: case 6: case 7: eraseUnit(0, d.timing.chipEraseMs); break;
        default: break;
    }
    const std::span<const uint8_t> bytes = outData().first(std::min<size_t>(Be16(c[3], c[4]), outData().size()));
    program(address, bytes);
    busyFor(busyMs + ProgramMs(bytes.size(), d.timing.programMsPer4K));
    return Good(accepted());
}

Reply Bridge::Impl::chipErase() {
    if (writeIgnored()) return Good();
    erase(0, static_cast<uint32_t>(b.flash_.size()));
    ++b.counters_.serialErases;
    busyFor(b.description_.timing.chipEraseMs);
    return Good();
}

// The block holding the address: a uniform block, or the sector of a boot
// sector map.
Reply Bridge::Impl::blockErase() {
    if (writeIgnored()) return Good();
    const auto& c = cmd.cdb;
    const DeviceDescription& d = b.description_;
    const auto flashSize = static_cast<uint32_t>(b.flash_.size());
    const uint32_t address = flashSize == 0 ? 0 : Be24(c[3], c[4], c[5]) % flashSize;
    uint32_t start = 0;
    uint32_t end = flashSize;
    if (!d.blockEraseSectors.empty()) {
        for (const uint32_t sector : d.blockEraseSectors) {
            if (sector <= address) start = sector;
            if (sector > address) {
                end = sector;
                break;
            }
        }
    } else if (d.blockEraseUnit != 0) {
        start = address - address % d.blockEraseUnit;
        end = start + d.blockEraseUnit;
    }
    erase(start, end - std::min(start, end));
    ++b.counters_.serialErases;
    busyFor(d.timing.blockEraseMs);
    return Good();
}

// --- parallel flash ---------------------------------------------------------

Reply Bridge::Impl::parallelBusy() {
    const std::array<uint8_t, 1> status{static_cast<uint8_t>(busyNow() ? 0x01 : 0x00)};
    return deliver(status);
}

Reply Bridge::Impl::parallelPreErase() {
    b.parallelEraseCycles_ = {};
    const std::span<const uint8_t> bytes = outData();
    std::copy_n(bytes.begin(), std::min(bytes.size(), b.parallelEraseCycles_.size()), b.parallelEraseCycles_.begin());
    b.parallelEraseArmed_ = true;
    return Good(accepted());
}

// The flash erases itself only when it sees its own chip-erase sequence;
// anything else is ignored by the part, as on the real bus.
Reply Bridge::Impl::parallelErase() {
    if (writeIgnored() || !b.parallelEraseArmed_) return Good();
    const Unlock u = UnlockFor(b.description_.parallelFlashType);
    const std::array<uint16_t, 6> addresses{u.first, u.second, u.first, u.first, u.second, u.first};
    const std::array<uint8_t, 6> values{0xAA, 0x55, 0x80, 0xAA, 0x55, 0x10};
    if (!CyclesMatch(b.parallelEraseCycles_, addresses, values)) return Good();
    erase(0, static_cast<uint32_t>(b.flash_.size()));
    ++b.counters_.parallelErases;
    busyFor(b.description_.timing.parallelEraseMs);
    return Good();
}

Reply Bridge::Impl::parallelProgram() {
    if (writeIgnored()) return Good(accepted());
    const Unlock u = UnlockFor(b.description_.parallelFlashType);
    const std::array<uint16_t, 3> addresses{u.first, u.second, u.first};
    const std::array<uint8_t, 3> values{0xAA, 0x55, 0xA0};
    if (!CyclesMatch(std::span(cmd.cdb).subspan(3, 9), addresses, values)) return Good(accepted());
    program(0, outData());
    busyFor(ProgramMs(outData().size(), b.description_.timing.parallelProgramMsPer4K));
    return Good(accepted());
}

Reply Bridge::Impl::parallelRead() {
    const auto& c = cmd.cdb;
    const uint32_t address = uint32_t{c[3]} | uint32_t{c[4]} << 8 | uint32_t{c[5]} << 16 | uint32_t{c[6]} << 24;
    const std::vector<uint8_t>& flash = b.flash_;
    std::vector<uint8_t> bytes(data.size(), 0xFF);
    if (!flash.empty()) {
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = flash[(size_t{address} + i) % flash.size()];
    }
    return deliver(bytes);
}

}  // namespace sim
