// The rig's reference run over the simulated bus: it must end the way the
// one-click update owes for the enclosure's starting flash, so that a guest
// run that matches it is right, not merely consistent.
#include "product_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "chip/firmware_image.h"
#include "flash/one_click_update.h"
#include "gadget_profile.h"
#include "tests/support/simulated_machine.h"
#include "tests/support/wire_log.h"

namespace hil {
namespace {

std::vector<uint8_t> EmbeddedImage() {
    std::vector<uint8_t> image(65536, 0x00);
    image.resize(vxe::LoadEmbeddedImage(image, 0, 0));
    return image;
}

// Merged header and image body; beyond the image the old bytes (serial
// flash writes keep them) or zeros (the paged path writes them).
std::vector<uint8_t> Updated(const std::vector<uint8_t>& start, bool keepTail) {
    const auto image = EmbeddedImage();
    std::array<uint8_t, 128> current{}, fresh{};
    std::copy_n(start.begin(), 128, current.begin());
    std::copy_n(image.begin(), 128, fresh.begin());
    const auto header = vxe::BuildUpdateHeader(current, fresh, false);
    std::vector<uint8_t> flash = keepTail ? start : std::vector<uint8_t>(start.size(), 0x00);
    std::copy(image.begin(), image.end(), flash.begin());
    std::copy(header.begin(), header.end(), flash.begin());
    return flash;
}

size_t VendorWrites(const sim::Bridge& bridge) {
    return std::count_if(bridge.log().begin(), bridge.log().end(), [](const sim::LogEntry& e) {
        return IsVendorWrite(std::span(e.command.cdb.data(), e.command.cdbLength));
    });
}

TEST(ProductSequence, BothProgrammingPathsEndWithTheUpdatedFlash) {
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "serial flash writes" : "paged programs");
        vxe::test::SimulatedMachine machine;
        sim::Bridge& bridge = machine.addDisk("/dev/sg0", *ProfileByName(direct ? "vxe720-direct" : "vxe720"));
        const std::vector<uint8_t> start = StartingFlash();
        bridge.setFlash(0, start);

        const ProductRun run = RunProductSequence();
        EXPECT_EQ(Summary(run), "chip=000a current-before=0 update=1 current-after=1");
        EXPECT_TRUE(std::equal(bridge.flash().begin(), bridge.flash().end(), Updated(start, direct).begin()));
        EXPECT_EQ(vxe::test::SpiWrites(bridge).empty(), !direct);
        EXPECT_EQ(vxe::test::FlashPrograms(bridge).empty(), direct);
        EXPECT_EQ(bridge.counters().hostAttach, 1u);
    }
}

TEST(ProductSequence, APlainDiskIsNeverWrittenTo) {
    vxe::test::SimulatedMachine machine;
    sim::Bridge& disk = machine.addDisk("/dev/sg0", *ProfileByName("plain"));
    const ProductRun run = RunProductSequence();
    // CHECK CONDITION is carried, so the zero-filled replies read as an
    // unmarked block with identification word 0.
    EXPECT_EQ(Summary(run), "chip=000e current-before=0 update=0 current-after=0");
    EXPECT_FALSE(disk.log().empty());
    EXPECT_EQ(VendorWrites(disk), 0u);
}

TEST(ProductSequence, NothingHappensWithoutADisk) {
    vxe::test::SimulatedMachine machine;
    const ProductRun run = RunProductSequence();
    EXPECT_TRUE(run.disks.empty());
    EXPECT_EQ(run.update, 0);
}

}  // namespace
}  // namespace hil
