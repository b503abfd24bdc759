// update: YES on one device, with the same result on the flash as the window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "chip/chip_identification.h"
#include "flash/engine_options.h"
#include "flash/one_click_update.h"
#include "sim/device_files.h"
#include "cli/terminal_sink.h"
#include "tests/cli/cli_fixture.h"
#include "tests/support/simulated_machine.h"

namespace vxe::test {
namespace {

using ::testing::HasSubstr;

// A flash as an enclosure leaves the factory: its own valid header, and
// something beyond the end of any image.
// YES on a twin of the device, straight through the product's own sequence.
std::vector<uint8_t> FlashAfterYes(const std::string& description, const std::vector<uint8_t>& flash) {
    SimulatedMachine machine;
    sim::Bridge& bridge =
        machine.addDisk("enclosure", sim::ParseDeviceFile(description, "enclosure.device", ".").description);
    bridge.setFlash(0, flash);
    RecordingStatusSink sink;
    EXPECT_EQ(RunOneClickUpdate("enclosure", IdentifyChip("enclosure"), EngineOptions{}, sink), 1);
    return {bridge.flash().begin(), bridge.flash().end()};
}

using UpdateCommand = CliTest;

TEST_F(UpdateCommand, LeavesTheSameFlashAsYesOnBothWritingPaths) {
    const char* const descriptions[] = {
        "profile = vxe720-enclosure\nflash-file = enclosure.bin\n",  // block erase and 8 KB programs
        "profile = vxe720-enclosure\nflash-file = enclosure.bin\nfdb0-at-least-b4 = yes\nregister-7058-bit0 = yes\n",
    };
    for (const std::string description : descriptions) {
        SCOPED_TRACE(description);
        device("enclosure.device", description);
        writeFlash("enclosure.bin", FactoryFlash());
        const CliResult r = runOnBus({"update", "enclosure", "--yes"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Lines(r.out).back(), "Please power cycle the device");
        const std::vector<uint8_t> written = readFlash("enclosure.bin");
        EXPECT_NE(written, FactoryFlash());
        EXPECT_EQ(written, FlashAfterYes(description, FactoryFlash()));
    }
}

TEST_F(UpdateCommand, AsksFirstAndWritesNothingUnlessTheAnswerIsYes) {
    device("enclosure.device", "profile = vxe720-enclosure\n");
    for (const std::string answer : {"", "n\n", "no\n", "yess\n"}) {
        const CliResult r = runOnBus({"update", "0"}, answer);
        EXPECT_EQ(r.status, 1) << answer;
        EXPECT_THAT(r.err, HasSubstr("[y/N]"));
        EXPECT_THAT(r.err, HasSubstr("fwupdate-cli: update: not confirmed; nothing was written\n"));
        EXPECT_EQ(WritesIn(r.logs.at("enclosure")), 0u);
    }
    const CliResult yes = runOnBus({"update", "0"}, "Y\n");
    EXPECT_EQ(yes.status, 0) << yes.err;
}

TEST_F(UpdateCommand, ReportsTheWindowsFailureLine) {
    // The serial flash writes never go through: all three attempts fail.
    device("enclosure.device", "profile = vxe720-enclosure\nfdb0-at-least-b4 = yes\nfail-matching = DF FB\n");
    const CliResult plain = runOnBus({"update", "enclosure", "--yes"});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(Lines(plain.out).back(), "Update    fail!!");

    const CliResult json = runOnBus({"update", "enclosure", "--yes", "--json"});
    EXPECT_EQ(json.status, 1);
    EXPECT_THAT(json.out, HasSubstr("\"outcome\":0,\"status\":\"\",\"result\":\"                     Update    fail!!\","
                                    "\"success\":false,\"messages\":[],\"error\":{\"message\":\"Update    fail!!\","
                                    "\"status\":1}}"));

    // A family YES does not serve fails without a write.
    device("enclosure.device", "profile = family\nfamily = 4\n");
    const CliResult other = runOnBus({"update", "enclosure", "--yes"});
    EXPECT_EQ(other.status, 1);
    EXPECT_EQ(WritesIn(other.logs.at("enclosure")), 0u);
}

TEST_F(UpdateCommand, DrawsTheProgressBarOnATerminalOnly) {
    device("enclosure.device", "profile = vxe720-enclosure\n");
    const CliResult drawn = runOnBus({"update", "enclosure", "--yes"}, "", true);
    // A console without escapes (Windows' when it cannot turn them on) gets the plain redraw.
    const std::string start = cli::ConsoleTakesEscapes() ? "\r\x1b[K" : "\r";
    EXPECT_THAT(drawn.out, HasSubstr(start + "[######........................]  20%"));
    EXPECT_THAT(drawn.out, HasSubstr(start + "[#####################.........]  70%  ReadFlash.......\n"));

    const CliResult json = runOnBus({"update", "enclosure", "--yes", "--json"}, "", true);
    EXPECT_EQ(json.out.find('\r'), std::string::npos);
    const CliResult piped = runOnBus({"update", "enclosure", "--yes"});
    EXPECT_EQ(piped.out.find('\r'), std::string::npos);
}

}  // namespace
}  // namespace vxe::test

namespace vxe::test {
namespace {

// The flash after YES, worked out from the image file and the header rule
// alone: firmware-specific header bytes and the body from the image, the
// device's own header bytes kept, and the flags byte 0x2F as the image has
// it with bit 2 set and bit 1 by register 0x7058.
std::vector<uint8_t> ExpectedAfterYes(const std::vector<uint8_t>& old, bool register7058Bit0) {
    const std::vector<uint8_t> image = ReadFile(std::string(VXE_SOURCE_DIR) + "/resources/vxe720fw.bin");
    std::vector<uint8_t> expected(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(image.size()));
    const int fromImage[] = {0x04, 0x05, 0x09, 0x0B, 0x0D, 0x2E, 0x2F, 0x31, 0x51, 0x52, 0x53, 0x55};
    for (const int i : fromImage) expected[i] = image[i];
    for (int i = 0x75; i <= 0x7F; ++i) expected[i] = image[i];
    std::copy(image.begin() + 128, image.end(), expected.begin() + 128);
    uint8_t flags = image[0x2F] | 0x04;
    const bool oldBit1 = (old[0x2F] & 0x02) != 0;
    if (!register7058Bit0) flags |= 0x02;
    else if (!oldBit1) flags &= ~0x02;
    else flags = static_cast<uint8_t>((flags & ~0x02) | (image[0x2F] & 0x02));
    expected[0x2F] = flags;
    return expected;
}

TEST_F(UpdateCommand, TheFlagsByteFollowsRegister7058OnBothWritingPaths) {
    for (const bool bit0 : {false, true}) {
        for (const uint8_t oldFlags : {0x00, 0xFF}) {
            for (const char* path : {"", "fdb0-at-least-b4 = yes\n"}) {
                SCOPED_TRACE(std::string(path) + " bit0=" + std::to_string(bit0) + " old=" + std::to_string(oldFlags));
                device("enclosure.device", std::string("profile = vxe720-enclosure\nflash-file = enclosure.bin\n") +
                                               path + (bit0 ? "register-7058-bit0 = yes\n" : ""));
                std::vector<uint8_t> old = FactoryFlash();
                old[0x2F] = oldFlags;
                writeFlash("enclosure.bin", old);
                const CliResult r = runOnBus({"update", "enclosure", "--yes"});
                ASSERT_EQ(r.status, 0) << r.err;
                const std::vector<uint8_t> expected = ExpectedAfterYes(old, bit0);
                const std::vector<uint8_t> flash = readFlash("enclosure.bin");
                EXPECT_EQ(std::vector<uint8_t>(flash.begin(), flash.begin() + static_cast<std::ptrdiff_t>(expected.size())),
                          expected);
                EXPECT_EQ(flash[0x2F], bit0 ? 0x34 : 0x36);
            }
        }
    }
}

}  // namespace
}  // namespace vxe::test
