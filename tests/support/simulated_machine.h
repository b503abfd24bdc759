// A whole simulated machine for a test: a fake clock, a bus of simulated
// devices and the simulated platform installed as the process-wide one.
#pragma once

#include <string>

#include "sim/simulated_platform.h"
#include "sim/bus.h"
#include "sim/clock.h"
#include "sim/profiles.h"

namespace vxe::test {

class SimulatedMachine {
public:
    explicit SimulatedMachine(bool builtInResources = true);
    ~SimulatedMachine();
    SimulatedMachine(const SimulatedMachine&) = delete;
    SimulatedMachine& operator=(const SimulatedMachine&) = delete;

    sim::FakeClock clock;
    sim::Bus bus{clock};
    SimulatedPlatform platform{bus, true};

    // Adds a USB disk-class device and returns its bridge.
    sim::Bridge& addDisk(const std::string& path, sim::DeviceDescription description);
    sim::Bridge& addCdRom(const std::string& path, sim::DeviceDescription description);

private:
    Platform* previous_;
};

// A path shaped like the ones the USB storage driver's interfaces carry.
std::string UsbDiskPath(int n);

}  // namespace vxe::test
