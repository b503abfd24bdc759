// The demo's simulated enclosures: VXE720 bridges at the speed of a real
// small SPI NOR, whose flash lives in files under the user's state
// directory, so that an update survives the program.
#pragma once

#include <string>
#include <vector>

#include "sim/bus.h"

namespace vxe::demo {

// $XDG_STATE_HOME/vxe-fwupdate, else ~/.local/state/vxe-fwupdate (created).
std::string StateDirectory();

// The flash of an enclosure that still carries an older firmware: a header
// of its own and an older build of the program.
std::vector<uint8_t> OlderFirmwareFlash(int enclosure);

// Adds enclosure `n` (1, 2, ...) to the bus; its flash file starts with the
// older firmware the first time.
sim::Bridge& AddEnclosure(sim::Bus& bus, int enclosure);
std::string EnclosurePath(int enclosure);

// Puts the older firmware back into an enclosure's flash.
void RestoreOlderFirmware(sim::Bridge& bridge, int enclosure);

}  // namespace vxe::demo
