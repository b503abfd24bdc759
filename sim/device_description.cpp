#include "sim/device_description.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

Timing Timing::Instant() { return Timing{}; }

// Datasheet-typical figures of a 512 Kbit SPI NOR (25x05 class) and a 512 Kbit
// parallel NOR (39xx512 class); a page program is about 0.7 ms per 256 bytes.
Timing Timing::SmallSpiNor() {
    Timing t;
    t.smallEraseMs = 45;
    t.largeEraseMs = 150;
    t.blockEraseMs = 120;
    t.chipEraseMs = 1000;
    t.programMsPer4K = 12;
    t.parallelEraseMs = 100;
    t.parallelProgramMsPer4K = 82;
    t.commandMs = 1;
    return t;
}

void DeviceDescription::setMemory(uint16_t address, std::vector<uint8_t> bytes) {
    constexpr size_t kMemorySize = 0x10000;
    if (address + bytes.size() > kMemorySize) {
        throw std::out_of_range("controller memory ends at 0xFFFF");
    }
    if (controllerMemory.size() < kMemorySize) controllerMemory.resize(kMemorySize, 0);
    std::copy(bytes.begin(), bytes.end(), controllerMemory.begin() + address);
}

}  // namespace sim
