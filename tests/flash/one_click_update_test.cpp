// YES below the window: header merge, configuration bits, both programming
// paths of the VXE720 family, and the dispatch by family.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "chip/firmware_image.h"
#include "flash/engine_options.h"
#include "flash/one_click_update.h"
#include "tests/support/simulated_machine.h"
#include "tests/support/wire_log.h"

namespace vxe {
namespace {

std::vector<uint8_t> EmbeddedImage() {
    std::vector<uint8_t> image(65536, 0x00);
    image.resize(LoadEmbeddedImage(image, 0, 0));
    return image;
}

// A valid device header: every byte its own, with "CV" at the end.
std::array<uint8_t, 128> DeviceHeader(uint8_t flags) {
    std::array<uint8_t, 128> h{};
    for (size_t i = 0; i < h.size(); ++i) h[i] = static_cast<uint8_t>(0xA0 ^ i);
    h[0x2F] = flags;
    h[126] = 'C';
    h[127] = 'V';
    return h;
}

TEST(HeaderMerge, FirmwareBytesComeFromTheImageTheRestStays) {
    const auto current = DeviceHeader(0x00);
    std::array<uint8_t, 128> fresh{};
    fresh.fill(0x11);
    fresh[0x2F] = 0x30;
    const auto merged = BuildUpdateHeader(current, fresh, true);
    const std::vector<int> fromImage = {4, 5, 9, 11, 13, 46, 49, 81, 82, 83, 85, 117, 118, 119, 120, 121,
                                        122, 123, 124, 125, 126, 127};
    for (int i = 0; i < 128; ++i) {
        if (i == 0x2F) continue;
        const bool isNew = std::find(fromImage.begin(), fromImage.end(), i) != fromImage.end();
        EXPECT_EQ(merged[i], isNew ? fresh[i] : current[i]) << i;
    }
    EXPECT_EQ(std::count(HeaderMergeTable.begin(), HeaderMergeTable.end(), true), 23);
}

TEST(HeaderMerge, FlagBitsFollowTheRegisterAndTheOldHeader) {
    std::array<uint8_t, 128> fresh{};
    fresh[0x2F] = 0x32;  // the new header has bit 1 set here
    struct Case {
        uint8_t oldFlags;
        bool registerFlag;
        uint8_t written;
    };
    const Case cases[] = {
        {0x00, false, 0x36},  // register 0: bit 1 set
        {0x00, true, 0x34},   // register 1, old bit 0: cleared
        {0x02, true, 0x36},   // register 1, old bit 1: as the new header has it
    };
    for (const Case& c : cases) {
        const auto merged = BuildUpdateHeader(DeviceHeader(c.oldFlags), fresh, c.registerFlag);
        EXPECT_EQ(merged[0x2F], c.written) << int(c.oldFlags) << " " << c.registerFlag;
    }
}

TEST(HeaderMerge, BlankFlashTakesTheImageHeaderWhole) {
    test::SimulatedMachine machine;
    const auto image = EmbeddedImage();
    std::array<uint8_t, 128> fresh{};
    std::copy(image.begin(), image.begin() + 128, fresh.begin());
    std::array<uint8_t, 128> blank{};
    blank.fill(0xFF);
    auto merged = BuildUpdateHeader(blank, fresh, false);
    EXPECT_EQ(merged[0x2F], 0x36);
    merged[0x2F] = fresh[0x2F];
    EXPECT_EQ(merged, fresh);
    EXPECT_EQ(BuildUpdateHeader(blank, fresh, true)[0x2F], 0x34);
}

class OneClickTest : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    std::string path = test::UsbDiskPath(0);
    RecordingStatusSink sink;
    EngineOptions options;
    std::vector<uint8_t> old = std::vector<uint8_t>(65536);

    OneClickTest() {
        for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<uint8_t>(i * 3 + 1);
        const auto h = DeviceHeader(0x00);
        std::copy(h.begin(), h.end(), old.begin());
        options.amicFlashCode = -1;
    }
    sim::Bridge& addVxe(bool direct, bool fdb0 = false, bool reg = false) {
        sim::ProfileOptions o;
        o.memory505eDirect = direct;
        o.fdb0AtLeastB4 = fdb0;
        o.register7058Bit0 = reg;
        sim::Bridge& b = machine.addDisk(path, sim::Vxe720Enclosure(o));
        b.setFlash(0, old);
        return b;
    }
    // What the flash must hold afterwards: merged header, image body, and
    // beyond the image either the old bytes or zeros.
    std::vector<uint8_t> expected(bool keepOldTail) const {
        const auto image = EmbeddedImage();
        std::array<uint8_t, 128> current{}, fresh{};
        std::copy(old.begin(), old.begin() + 128, current.begin());
        std::copy(image.begin(), image.begin() + 128, fresh.begin());
        const auto header = BuildUpdateHeader(current, fresh, false);
        std::vector<uint8_t> flash = keepOldTail ? old : std::vector<uint8_t>(65536, 0);
        std::copy(image.begin(), image.end(), flash.begin());
        std::copy(header.begin(), header.end(), flash.begin());
        return flash;
    }
    std::vector<uint8_t> flashOf(const sim::Bridge& b) const { return {b.flash().begin(), b.flash().end()}; }
};

TEST_F(OneClickTest, DirectPathKeepsTheOldBytesBeyondTheImage) {
    sim::Bridge& b = addVxe(true);
    ASSERT_EQ(RunOneClickUpdate(path.c_str(), 0x000A, options, sink), 1);
    EXPECT_EQ(flashOf(b), expected(true));
    EXPECT_FALSE(test::SpiWrites(b).empty());
    EXPECT_TRUE(test::FlashPrograms(b).empty());
    EXPECT_EQ(b.counters().prepareForUpdate, 1u);
    EXPECT_EQ(sink.stepsTaken, 0);
}

TEST_F(OneClickTest, RevisionNineAlsoTakesTheDirectPath) {
    sim::Bridge& b = addVxe(false, true);
    ASSERT_EQ(RunOneClickUpdate(path.c_str(), 0x090A, options, sink), 1);
    EXPECT_EQ(flashOf(b), expected(true));
}

TEST_F(OneClickTest, HeaderedPathWritesZerosBeyondTheImageAndAdvancesFifty) {
    sim::Bridge& b = addVxe(false);
    ASSERT_EQ(RunOneClickUpdate(path.c_str(), 0x000A, options, sink), 1);
    EXPECT_EQ(flashOf(b), expected(false));
    EXPECT_TRUE(test::SpiWrites(b).empty());
    EXPECT_EQ(test::FlashPrograms(b).size(), 8u);
    EXPECT_EQ(sink.stepsTaken, 50);
}

TEST_F(OneClickTest, AnUnreadableHeaderStopsBeforeAnyWrite) {
    sim::Bridge& b = addVxe(true);
    b.faults().failMatching.push_back({0xDF, 0xFA});
    EXPECT_EQ(RunOneClickUpdate(path.c_str(), 0x000A, options, sink), 0);
    EXPECT_TRUE(test::NothingWritten(b));
    EXPECT_EQ(flashOf(b), old);
}

TEST_F(OneClickTest, EngineFamiliesUseTheEngineAndOthersFailWithoutACommand) {
    sim::Bridge& engine = machine.addDisk(path, sim::ProfileForFamily(13));
    engine.fillFlash(0x00);
    EXPECT_EQ(RunOneClickUpdate(path.c_str(), 13, options, sink), 0);
    EXPECT_EQ(sink.statusText(), "Load defaut Fw file Error!!");

    std::vector<uint8_t> image(40000, 0x3C);
    machine.platform.setResource("FW849", "FW", image);
    EXPECT_EQ(RunOneClickUpdate(path.c_str(), 13, options, sink), 1);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), engine.flash().begin()));

    for (uint16_t family : {0, 2, 3, 4, 5, 8, 9, 11, 12, 14, 18}) {
        engine.clearLog();
        EXPECT_EQ(RunOneClickUpdate(path.c_str(), family, options, sink), 0) << family;
        EXPECT_TRUE(engine.log().empty()) << family;
    }
}

}  // namespace
}  // namespace vxe
