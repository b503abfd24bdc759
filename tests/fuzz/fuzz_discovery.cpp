// The device pass of a refresh over a bus the input builds: up to 40
// interfaces of either class, paths of any length, case and content, plain
// disks, bridges of every family and route, VXE720 enclosures that need the
// update or already hold it, and devices that fail, vanish or answer short.
// Nothing may be written past the 16 device rows or their 256-byte paths.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "chip/firmware_image.h"
#include "sim/simulated_platform.h"
#include "sim/bus.h"
#include "sim/profiles.h"
#include "app/discovery_pass.h"

namespace {

constexpr int kMaxInterfaces = 40;
constexpr size_t kMaxPathLength = 400;
constexpr uint8_t kGuardByte = 0xA5;

struct GuardedRows {
    vxe::DeviceTableRows rows{};
    std::array<uint8_t, 512> guard;
    GuardedRows() { guard.fill(kGuardByte); }
};

std::vector<uint8_t> FlashHoldingTheEmbeddedImage() {
    std::vector<uint8_t> flash(0x10000, 0xFF);
    vxe::LoadEmbeddedImage(flash, 0, 0);
    return flash;
}

sim::DeviceDescription DeviceOf(FuzzedDataProvider& input, bool& holdsImage) {
    holdsImage = false;
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return sim::PlainUsbDisk();
        case 1: {
            sim::ProfileOptions o;
            o.fdb0AtLeastB4 = input.ConsumeBool();
            o.memory505eDirect = input.ConsumeBool();
            holdsImage = input.ConsumeBool();
            return sim::Vxe720Enclosure(o);
        }
        default: {
            const int family = input.ConsumeIntegralInRange<int>(1, 18);
            const auto route = static_cast<sim::Route>(input.ConsumeIntegralInRange<int>(0, 3));
            return sim::ProfileForFamily(family, route);
        }
    }
}

std::string PathOf(FuzzedDataProvider& input) {
    std::string path = input.ConsumeBool() ? "\\\\?\\usbstor#disk&" : "";
    path += input.ConsumeRandomLengthString(kMaxPathLength);
    return path;
}

void InjectFaults(FuzzedDataProvider& input, sim::Faults& faults) {
    switch (input.ConsumeIntegralInRange<int>(0, 5)) {
        case 1: faults.failCommandAt = input.ConsumeIntegralInRange<uint64_t>(0, 64); break;
        case 2: faults.vanishFrom = input.ConsumeIntegralInRange<uint64_t>(0, 64); break;
        case 3:
            faults.shortReadAt = input.ConsumeIntegralInRange<uint64_t>(0, 64);
            faults.shortReadMissing = input.ConsumeIntegralInRange<uint32_t>(1, 0x10000);
            break;
        case 4: faults.checkConditionOnVendorCommands = true; break;
        case 5: faults.stuckBusyFrom = input.ConsumeIntegralInRange<uint64_t>(0, 64); break;
        default: break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    sim::FakeClock clock;
    sim::Bus bus(clock);
    vxe::SimulatedPlatform platform(bus);
    const vxe::ScopedPlatform installed(platform);
    static const std::vector<uint8_t> current = FlashHoldingTheEmbeddedImage();

    const int interfaces = input.ConsumeIntegralInRange<int>(0, kMaxInterfaces);
    for (int i = 0; i < interfaces && input.remaining_bytes() > 0; ++i) {
        const auto cls = input.ConsumeBool() ? sim::InterfaceClass::CdRom : sim::InterfaceClass::Disk;
        const bool usbStorage = input.ConsumeIntegralInRange<int>(0, 9) != 0;
        bool holdsImage = false;
        sim::DeviceDescription description = DeviceOf(input, holdsImage);
        const std::string path = PathOf(input);
        try {
            sim::Bridge& bridge = bus.add(path, cls, std::move(description), usbStorage);
            if (holdsImage) bridge.setFlash(0, current);
            InjectFaults(input, bridge.faults());
        } catch (const std::invalid_argument&) {
            // The same path (in any case) twice: one device, as on a real bus.
        }
    }

    GuardedRows table;
    const vxe::DiscoveryResult result = vxe::RunDiscoveryPass(table.rows);
    if (result.deviceCount < 0 || result.deviceCount > 16) std::abort();
    if (result.items.size() > table.rows.size()) std::abort();
    if (!std::all_of(table.guard.begin(), table.guard.end(), [](uint8_t b) { return b == kGuardByte; })) std::abort();
    for (size_t row = 0; row < result.items.size(); ++row) {
        const vxe::DeviceEntry& entry = table.rows[row];
        if (strnlen(entry.DevicePath, sizeof entry.DevicePath) == sizeof entry.DevicePath) std::abort();
    }
    return 0;
}
