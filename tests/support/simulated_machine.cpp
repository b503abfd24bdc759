#include "tests/support/simulated_machine.h"

namespace vxe::test {

SimulatedMachine::SimulatedMachine(bool builtInResources)
    : platform(bus, builtInResources), previous_(InstallPlatform(&platform)) {}

SimulatedMachine::~SimulatedMachine() { InstallPlatform(previous_); }

sim::Bridge& SimulatedMachine::addDisk(const std::string& path, sim::DeviceDescription description) {
    return bus.add(path, sim::InterfaceClass::Disk, std::move(description));
}

sim::Bridge& SimulatedMachine::addCdRom(const std::string& path, sim::DeviceDescription description) {
    return bus.add(path, sim::InterfaceClass::CdRom, std::move(description));
}

std::string UsbDiskPath(int n) {
    return "\\\\?\\usbstor#disk&ven_corvane&prod_vxe720&rev_0001#00000000000" + std::to_string(n) +
           "&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
}

}  // namespace vxe::test
