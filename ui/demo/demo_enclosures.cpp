#include "ui/demo/demo_enclosures.h"

#include <cstdlib>
#include <filesystem>

#include "chip/firmware_image.h"
#include "sim/profiles.h"

namespace vxe::demo {

namespace fs = std::filesystem;

std::string StateDirectory() {
    fs::path base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state != '\0') {
        base = state;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = fs::path(home) / ".local" / "state";
    } else {
        base = fs::temp_directory_path();
    }
    const fs::path dir = base / "vxe-fwupdate";
    std::error_code ec;
    fs::create_directories(dir, ec);
    return dir.string();
}

std::vector<uint8_t> OlderFirmwareFlash(int enclosure) {
    std::vector<uint8_t> flash(65536, 0xFF);
    LoadEmbeddedImage(flash, 0, 0);
    // The enclosure's own configuration: its USB product ID and a serial of
    // its own in the device-specific bytes.
    flash[2] = static_cast<uint8_t>(0x20 + enclosure);
    for (int i = 0; i < 8; ++i) flash[0x10 + i] = static_cast<uint8_t>('0' + (enclosure * 7 + i) % 10);
    // An older build of the program behind the header.
    for (size_t i = 0x2000; i < 0x2400; ++i) flash[i] = static_cast<uint8_t>(flash[i] ^ 0x5A);
    return flash;
}

std::string EnclosurePath(int enclosure) { return "/sim/usb-enclosure-" + std::to_string(enclosure); }

sim::Bridge& AddEnclosure(sim::Bus& bus, int enclosure) {
    sim::ProfileOptions options;
    options.timing = sim::Timing::SmallSpiNor();
    // The first enclosure takes the paged path, whose progress shows; the
    // second the direct one, so both paths appear in the demo.
    options.memory505eDirect = enclosure % 2 == 0;
    const std::string file = (fs::path(StateDirectory()) / ("enclosure-" + std::to_string(enclosure) + ".flash")).string();
    const bool fresh = !fs::exists(file);
    sim::Bridge& bridge = bus.add(EnclosurePath(enclosure), sim::InterfaceClass::Disk, sim::Vxe720Enclosure(options));
    bridge.attachFlashFile(file);
    if (fresh) RestoreOlderFirmware(bridge, enclosure);
    return bridge;
}

void RestoreOlderFirmware(sim::Bridge& bridge, int enclosure) { bridge.setFlash(0, OlderFirmwareFlash(enclosure)); }

}  // namespace vxe::demo
