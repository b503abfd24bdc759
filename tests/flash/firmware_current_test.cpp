// The up-to-date check: the flash against the embedded image, header excepted.
#include <gtest/gtest.h>

#include <vector>

#include "chip/firmware_image.h"
#include "flash/firmware_current.h"
#include "tests/support/simulated_machine.h"
#include "tests/support/wire_log.h"

namespace vxe {
namespace {

class FirmwareCurrentTest : public ::testing::Test {
protected:
    FirmwareCurrentTest() {
        size = LoadEmbeddedImage(image, 0, 0);
        bridge.setFlash(0, image);
    }
    test::SimulatedMachine machine;
    std::string path = test::UsbDiskPath(0);
    sim::Bridge& bridge = machine.addDisk(path, sim::Vxe720Enclosure());
    std::vector<uint8_t> image = std::vector<uint8_t>(65536, 0xFF);
    uint32_t size = 0;
    bool current() { return IsFirmwareCurrent(path.c_str()); }
};

TEST_F(FirmwareCurrentTest, HeaderAndBytesBeyondTheImageDoNotCount) {
    std::vector<uint8_t> header(128, 0x5A);
    bridge.setFlash(0, header);
    std::vector<uint8_t> tail(65536 - size, 0x00);
    bridge.setFlash(size, tail);
    EXPECT_TRUE(current());
}

TEST_F(FirmwareCurrentTest, OneDifferentByteInTheBodyMeansOutdated) {
    for (uint32_t at : {128u, 0x1000u, size - 1}) {
        SCOPED_TRACE(at);
        const uint8_t changed[1] = {static_cast<uint8_t>(image[at] ^ 0x01)};
        bridge.setFlash(at, changed);
        EXPECT_FALSE(current());
        bridge.setFlash(at, std::span<const uint8_t>(&image[at], 1));
        EXPECT_TRUE(current());
    }
}

TEST_F(FirmwareCurrentTest, OtherFamiliesAreNeverCurrentAndTheirFlashIsNotRead) {
    const std::string other = test::UsbDiskPath(1);
    sim::Bridge& family13 = machine.addDisk(other, sim::ProfileForFamily(13));
    family13.setFlash(0, image);
    EXPECT_FALSE(IsFirmwareCurrent(other.c_str()));
    EXPECT_TRUE(test::SpiReads(family13).empty());
}

TEST_F(FirmwareCurrentTest, AnUnreadableFlashStaysOnOfferForUpdate) {
    bridge.faults().failMatching.push_back({0xDF, 0xFA});
    EXPECT_FALSE(current());
}

}  // namespace
}  // namespace vxe
