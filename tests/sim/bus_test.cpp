// The simulated bus: which paths a machine enumerates and which notices the
// plug events raise.
#include <gtest/gtest.h>

#include "sim/bus.h"
#include "sim/profiles.h"

namespace {

TEST(Bus, EnumeratesPluggedPresentUsbStorageInInsertionOrder) {
    sim::FakeClock clock;
    sim::Bus bus(clock);
    std::vector<std::string> events;
    bus.addListener([&](const sim::BusEvent& e) {
        events.push_back((e.kind == sim::BusEventKind::Arrival ? "+" : "-") + e.path);
    });
    bus.add("usbstor#b", sim::InterfaceClass::Disk, sim::PlainUsbDisk());
    bus.add("usbstor#cd", sim::InterfaceClass::CdRom, sim::Vxe720Enclosure());
    bus.add("usbstor#a", sim::InterfaceClass::Disk, sim::Vxe720Enclosure());
    bus.add("ide#sata", sim::InterfaceClass::Disk, sim::PlainUsbDisk(), false);
    EXPECT_EQ(bus.paths(sim::InterfaceClass::Disk), (std::vector<std::string>{"usbstor#b", "usbstor#a"}));
    EXPECT_EQ(bus.paths(sim::InterfaceClass::CdRom), std::vector<std::string>{"usbstor#cd"});
    EXPECT_THROW(bus.add("USBSTOR#A", sim::InterfaceClass::Disk, sim::PlainUsbDisk()), std::invalid_argument);

    bus.unplug("USBSTOR#B");
    bus.unplug("usbstor#b");  // already out: no second notice
    EXPECT_EQ(bus.paths(sim::InterfaceClass::Disk), std::vector<std::string>{"usbstor#a"});
    bus.plug("usbstor#b");
    EXPECT_EQ(bus.paths(sim::InterfaceClass::Disk), (std::vector<std::string>{"usbstor#b", "usbstor#a"}));

    bus.bridge("usbstor#a")->faults().vanishFrom = 0;
    EXPECT_EQ(bus.paths(sim::InterfaceClass::Disk), std::vector<std::string>{"usbstor#b"});
    bus.remove("usbstor#cd");
    EXPECT_TRUE(bus.paths(sim::InterfaceClass::CdRom).empty());
    EXPECT_EQ(bus.find("usbstor#cd"), nullptr);
    EXPECT_NE(bus.find("UsbStor#B"), nullptr);

    EXPECT_EQ(events, (std::vector<std::string>{"+usbstor#b", "+usbstor#cd", "+usbstor#a", "+ide#sata", "-usbstor#b",
                                                "+usbstor#b", "-usbstor#cd"}));
}

TEST(Bus, ReplugPowersTheBridgeUp) {
    sim::FakeClock clock;
    sim::Bus bus(clock);
    sim::DeviceDescription d = sim::Vxe720Enclosure();
    d.timing.chipEraseMs = 1000;
    sim::Bridge& bridge = bus.add("usbstor#a", sim::InterfaceClass::Disk, d);
    std::vector<uint8_t> none;
    sim::Command erase;
    erase.cdb = {0xFF, 0x04, 0x13};
    erase.cdbLength = 12;
    erase.dataIn = false;
    bridge.execute(erase, none);
    ASSERT_TRUE(bridge.flashBusy());
    bus.unplug("usbstor#a");
    bus.plug("usbstor#a");
    EXPECT_FALSE(bridge.flashBusy());
    EXPECT_EQ(bridge.log().size(), 1u);
}

}  // namespace
