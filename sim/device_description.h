// What a simulated device answers and what flash it carries. Profiles
// (sim/profiles.h) fill these for every chip family; tests and device files
// may set any field by hand.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class FlashKind : uint8_t { Serial, Parallel };

// Durations of the flash operations. Erases and programs leave the flash busy
// for their time; a command that reaches the bridge while the flash is busy
// is held by the bridge until the flash is ready (on the simulated clock).
struct Timing {
    uint32_t smallEraseMs = 0;     // erase of a small unit (SpiFlashWrite modes 1, 4)
    uint32_t largeEraseMs = 0;     // erase of a large unit (modes 2, 5)
    uint32_t blockEraseMs = 0;     // FF 04 14 block erase
    uint32_t chipEraseMs = 0;      // whole-chip erase (modes 3, 6, 7; FF 04 13)
    uint32_t programMsPer4K = 0;   // programming time per 4096 bytes (rounded up)
    uint32_t parallelEraseMs = 0;  // parallel flash chip erase
    uint32_t parallelProgramMsPer4K = 0;
    // Time every command spends on the wire. It lets a host that polls a
    // status without pausing (the parallel flash busy poll) see time pass.
    uint32_t commandMs = 0;

    static Timing Instant();        // everything takes no time
    static Timing SmallSpiNor();    // a real small SPI NOR (about 25x20 series)
};

struct DeviceDescription {
    std::string profileName;

    // Standard INQUIRY data; bytes 36..39 carry the chip tag of a bridge.
    std::vector<uint8_t> inquiry;

    // false: a plain USB disk, vendor commands end in CHECK CONDITION.
    bool answersVendorCommands = true;

    std::vector<uint8_t> chipInformation;   // reply of 0xE0: 12 or 16 bytes as it delivers them
    std::array<uint8_t, 2> idWord{};        // reply of the 0xDF identification word
    std::vector<uint8_t> idString;          // reply of FF 04 30 (40 bytes)
    std::vector<uint8_t> controllerMemory;  // 64 KB of controller memory (0x505E, 0x7058, 0xFDB0, ...)
    uint8_t flashVendorCode = 0;            // reply byte 0 of FF 04 23
    std::array<uint8_t, 4> jedecId{};       // what the serial flash answers to 0x9F

    FlashKind flashKind = FlashKind::Serial;
    uint32_t flashSize = 0x10000;
    // Serial flash erase units (SpiFlashWrite erase modes) and the unit of the
    // FF 04 14 block erase; a sector map replaces the uniform block unit when
    // it is not empty (start addresses, ascending; the last sector runs to the
    // end of the flash).
    uint32_t smallEraseUnit = 4096;
    uint32_t largeEraseUnit = 32768;
    uint32_t blockEraseUnit = 32768;
    std::vector<uint32_t> blockEraseSectors;
    int parallelFlashType = 0;              // 0, 2: unlock 0x5555/0x2AAA; 1: 0x0555/0x02AA
    bool switchToInternalRomFails = false;

    Timing timing = Timing::Instant();

    // Writes controller memory (growing it to 64 KB); bytes past 0xFFFF are
    // a mistake of the caller and throw std::out_of_range.
    void setMemory(uint16_t address, std::vector<uint8_t> bytes);
};

}  // namespace sim
