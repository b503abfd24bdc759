// run with images for the update engines, built in (the engine-images
// preset) or beside the simulated devices: every engine programs and
// verifies the flash end to end, and says so when it cannot.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/cli/cli_fixture.h"

namespace vxe::test {
namespace {

using ::testing::HasSubstr;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 29 + seed);
    return bytes;
}

std::vector<uint8_t> Head(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    return {bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(to)};
}

// The addresses of the flash-group erases in a device's log: block erases
// by address, a chip erase as "chip".
std::vector<std::string> Erases(const std::vector<sim::LogEntry>& log) {
    std::vector<std::string> erases;
    for (const sim::LogEntry& e : log) {
        const auto& c = e.command.cdb;
        if (c[0] != 0xFF || c[1] != 0x04) continue;
        if (c[2] == 0x13) erases.push_back("chip");
        if (c[2] == 0x14) {
            const uint32_t address = (uint32_t{c[3]} << 16) | (uint32_t{c[4]} << 8) | c[5];
            char text[16];
            std::snprintf(text, sizeof text, "0x%04X", address);
            erases.emplace_back(text);
        }
    }
    return erases;
}

using EngineImages = CliTest;

TEST_F(EngineImages, EveryEngineFamilyProgramsAndVerifiesItsFlash) {
    useEngineImages();
    const std::vector<uint8_t> fw849 = EngineImage("FW849.bin");
    const struct {
        int family;
        const char* extra;
        const char* file;
        const char* image;
        const char* verdict;
    } cases[] = {
        {1, "", "fits-family-1.bin", "FW849.bin", "...Programming Success!!"},
        {4, "", "fits-family-4.bin", "FW849.bin", "...Programming Success!!"},
        {7, "", "fits-family-7.bin", "FW849.bin", "...Programming Success!!"},
        {2, "", "fits-family-2.bin", "FW849.bin", "Programming & Compare Success!!"},
        {18, "", "fits-family-18.bin", "FW849.bin", "Programming & Compare Success!!"},
        {6, "", "FW652A.bin", "FW652A.bin", ""},
        {6, "route = id-string\nrevision-char = 1\n", "FW652B.bin", "FW652B.bin", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image + std::string(" on family ") + std::to_string(c.family));
        const std::vector<uint8_t> old = Pattern(0x10000, static_cast<uint8_t>(c.family));
        device("bridge.device", "profile = family\nfamily = " + std::to_string(c.family) +
                                    "\nflash-file = bridge.bin\ntiming = small-spi-nor\n" + c.extra);
        writeFlash("bridge.bin", old);
        const CliResult r = runOnBus({"run", "bridge", "--firmware", EngineImagePath(c.file), "--json"});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_THAT(r.out, HasSubstr("\"status\":\"" + std::string(c.verdict) + "\",\"success\":true"));

        const std::vector<uint8_t> image = EngineImage(c.image);
        const std::vector<uint8_t> flash = readFlash("bridge.bin");
        if (c.family == 6) {
            // The controller's NVRAM (the first 4 KB) stays; the rest is the image.
            EXPECT_EQ(Head(flash, 0, 0x1000), Head(old, 0, 0x1000));
            EXPECT_EQ(Head(flash, 0x1000, image.size()), Head(image, 0x1000, image.size()));
        } else {
            EXPECT_EQ(Head(flash, 0, image.size()), image);
        }
    }
}

TEST_F(EngineImages, TheFlashUpdateErasesByPlan) {
    useEngineImages();
    const struct {
        const char* extra;
        std::vector<std::string> args;
        std::vector<std::string> erases;
    } plans[] = {
        // 40,000 bytes in 16 KB pages: 48 KB to erase, in two 32 KB blocks.
        {"", {}, {"0x0000", "0x8000"}},
        // An AMIC part with boot sectors: the four small ones, then 0xF000.
        {"amic-capacity = 0x11\n", {}, {"0x0000", "0x1000", "0x3000", "0x7000", "0xF000"}},
        // 32 KB pages: 64 KB, still block erases.
        {"", {"--page-size", "32768"}, {"0x0000", "0x8000"}},
    };
    for (const auto& plan : plans) {
        SCOPED_TRACE(plan.extra + (plan.args.empty() ? std::string() : plan.args[1]));
        device("rt71849.device", std::string("profile = family\nfamily = 4\nflash-file = rt71849.bin\n") + plan.extra);
        writeFlash("rt71849.bin", Pattern(0x10000, 4));
        std::vector<std::string> args = {"run", "rt71849", "--firmware", EngineImagePath("fits-family-4.bin")};
        args.insert(args.end(), plan.args.begin(), plan.args.end());
        const CliResult r = runOnBus(args);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(Erases(r.logs.at("rt71849")), plan.erases);
        EXPECT_EQ(Head(readFlash("rt71849.bin"), 0, 40000), EngineImage("FW849.bin"));
    }

    // An image past 64 KB (beside the devices: it overrides a built-in one)
    // takes the chip erase.
    std::vector<uint8_t> large = Pattern(70000, 0x49);
    std::copy_n("8490", 4, large.begin() + 4);
    busImage("FW849", large);
    device("rt71849.device", "profile = family\nfamily = 4\nflash-size = 0x20000\nflash-file = rt71849.bin\n");
    writeFlash("rt71849.bin", Pattern(0x20000, 4));
    const CliResult chip = runOnBus({"run", "rt71849", "--firmware", EngineImagePath("fits-family-4.bin")});
    EXPECT_EQ(chip.status, 0) << chip.out << chip.err;
    EXPECT_EQ(Erases(chip.logs.at("rt71849")), std::vector<std::string>{"chip"});
    EXPECT_EQ(Head(readFlash("rt71849.bin"), 0, large.size()), large);
}

TEST_F(EngineImages, FailuresOfTheEnginesAreReportedAsTheirTexts) {
    useEngineImages();
    const struct {
        const char* device;
        const char* file;
        const char* status;
    } cases[] = {
        // NVRAM-keeping: the backup read, a write, and a compare that finds a
        // bit that would not program (silent: only the result says it).
        {"family = 6\nfail-matching = FF 10\n", "FW652A.bin", "Backup NVRAM command fail!"},
        {"family = 6\nfail-matching = FF 11\n", "FW652A.bin", "Write command fail!"},
        {"family = 6\nstuck-bit = 0x2000 0xFF\n", "FW652A.bin", ""},
        {"family = 4\nstuck-bit = 0x2000 0xFF\n", "fits-family-4.bin", "...Compare Fail!!\\r\\n\\r\\n"},
        {"family = 2\nstuck-bit = 0x2000 0xFF\n", "fits-family-2.bin", "Compare Fail!!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        device("bridge.device", std::string("profile = family\n") + c.device);
        const CliResult r = runOnBus({"run", "bridge", "--firmware", EngineImagePath(c.file), "--json"});
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_THAT(r.out, HasSubstr("\"success\":false"));
        EXPECT_THAT(r.out, HasSubstr("\"error\":{\"message\":"));
        EXPECT_THAT(r.out, HasSubstr("\"status\":\"" + std::string(c.status) + "\""));
    }
}

TEST_F(EngineImages, ImagesBesideTheDevicesMustFitAChipThatUsesThem) {
    device("bridge.device", "profile = family\nfamily = 4\n");
    busImage("FW652A", Pattern(20000, 1));  // no KSV652 tag block
    const CliResult r = runOnBus({"info", "bridge", "--json"});
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.out, HasSubstr("fits none of the chips that use it: KSV652 Series rev 1\",\"status\":2}}"));
    EXPECT_TRUE(r.logs.empty()) << "nothing is sent";
}

}  // namespace
}  // namespace vxe::test
