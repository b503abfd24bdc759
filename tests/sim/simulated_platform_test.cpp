// The simulated platform carries requests to the bus the way the real
// storage stack does: open rules, outcome mapping, clock, resources.
#include <gtest/gtest.h>

#include <array>

#include "sim/simulated_platform.h"
#include "sim/profiles.h"

namespace {

class SimulatedPlatformTest : public ::testing::Test {
protected:
    vxe::PassThroughResult send(const std::string& path, std::array<uint8_t, 12> cdb, vxe::DataDirection direction,
                                std::span<uint8_t> data, vxe::OpenMode mode = vxe::OpenMode::Shared) {
        vxe::PassThroughRequest request;
        request.path = path.c_str();
        request.openMode = mode;
        request.direction = direction;
        request.cdb = cdb.data();
        request.cdbLength = 12;
        request.dataBuffer = data.empty() ? nullptr : data.data();
        request.dataTransferLength = static_cast<uint32_t>(data.size());
        request.timeoutSeconds = 20;
        return platform.passThrough(request);
    }
    vxe::PassThroughResult inquiry(const std::string& path, std::span<uint8_t> data) {
        return send(path, {0x12, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0}, vxe::DataDirection::In, data);
    }

    sim::FakeClock clock;
    sim::Bus bus{clock};
    vxe::SimulatedPlatform platform{bus};
    sim::Bridge& bridge = bus.add("\\\\?\\usbstor#disk&ven_corvane#1", sim::InterfaceClass::Disk, sim::Vxe720Enclosure());
    const std::string path = "\\\\?\\USBSTOR#Disk&Ven_Corvane#1";  // the same device in other case
};

TEST_F(SimulatedPlatformTest, OutcomesAsTheStorageStackReportsThem) {
    std::array<uint8_t, 40> buffer{};
    vxe::PassThroughResult r = inquiry(path, buffer);
    EXPECT_TRUE(r.opened && r.callSucceeded);
    EXPECT_EQ(r.errorCode, 0u);
    EXPECT_EQ(r.dataTransferLength, 40u);
    EXPECT_EQ(buffer[36], 'c');
    const sim::Command& sent = bridge.log().back().command;
    EXPECT_TRUE(sent.dataIn);
    EXPECT_FALSE(sent.exclusiveOpen);
    EXPECT_EQ(sent.timeoutSeconds, 20u);

    r = send(path, {0xFF, 0x04, 0x99}, vxe::DataDirection::In, buffer);  // rejected, still carried
    EXPECT_TRUE(r.callSucceeded);
    EXPECT_EQ(r.errorCode, 0u);
    EXPECT_EQ(r.dataTransferLength, 0u);

    bridge.faults().failCommandAt = bridge.commandCount();
    r = inquiry(path, buffer);
    EXPECT_TRUE(r.opened);
    EXPECT_FALSE(r.callSucceeded);
    EXPECT_EQ(r.errorCode, 1117u);

    r = send(path, {0xFF, 0x04, 0x25}, vxe::DataDirection::Out, {}, vxe::OpenMode::Exclusive);  // no data, no buffer
    EXPECT_TRUE(r.callSucceeded);
    EXPECT_EQ(bridge.counters().prepareForUpdate, 1u);
}

TEST_F(SimulatedPlatformTest, DevicesThatCannotBeOpenedGetNothing) {
    std::array<uint8_t, 40> buffer{};
    EXPECT_FALSE(inquiry("\\\\?\\usbstor#other", buffer).opened);
    bus.unplug(path);
    EXPECT_FALSE(inquiry(path, buffer).opened);
    bus.plug(path);
    platform.setHeldElsewhere(path, true);
    EXPECT_TRUE(inquiry(path, buffer).opened);
    EXPECT_FALSE(send(path, {0xFF, 0x04, 0x25}, vxe::DataDirection::Out, {}, vxe::OpenMode::Exclusive).opened);
    platform.setHeldElsewhere(path, false);
    EXPECT_TRUE(send(path, {0xFF, 0x04, 0x25}, vxe::DataDirection::Out, {}, vxe::OpenMode::Exclusive).opened);
    bridge.faults().vanishFrom = bridge.commandCount();
    EXPECT_FALSE(inquiry(path, buffer).opened);
    EXPECT_EQ(bridge.log().size(), 2u);
}

TEST_F(SimulatedPlatformTest, EnumerationAndSleep) {
    bus.add("usbstor#cdrom", sim::InterfaceClass::CdRom, sim::PlainUsbDisk());
    EXPECT_EQ(platform.enumerateInterfaces(vxe::InterfaceClass::CdRom), std::vector<std::string>{"usbstor#cdrom"});
    EXPECT_EQ(platform.enumerateInterfaces(vxe::InterfaceClass::Disk).size(), 1u);

    platform.sleepMs(500);
    platform.sleepMs(10);
    EXPECT_EQ(clock.nowMs(), 510u);
    EXPECT_EQ(platform.sleptMs(), 510u);
}

TEST_F(SimulatedPlatformTest, ResourcesFromTheTestThenTheProgram) {
    EXPECT_FALSE(platform.findResource("VXE720FW", "FW").empty());
    EXPECT_TRUE(platform.findResource("FW849", "FW").empty());
    platform.setResource("FW849", "FW", {1, 2, 3});
    EXPECT_EQ(platform.findResource("FW849", "FW").size(), 3u);
    platform.hideResource("VXE720FW", "FW");
    EXPECT_TRUE(platform.findResource("VXE720FW", "FW").empty());
    platform.setResource("VXE720FW", "FW", {9});
    EXPECT_EQ(platform.findResource("VXE720FW", "FW").size(), 1u);

    vxe::SimulatedPlatform bare(bus, false);
    EXPECT_TRUE(bare.findResource("VXE720FW", "FW").empty());
}

}  // namespace
