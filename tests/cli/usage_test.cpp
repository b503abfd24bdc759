// What the command line refuses before it touches a device, the file check,
// and the manual pages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cli/output.h"
#include "tests/cli/cli_fixture.h"

namespace vxe::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

using Usage = CliTest;

TEST_F(Usage, BadOptionsAreRefusedInOneLineBeforeAnyDevice) {
    device("enclosure.device", "profile = vxe720-enclosure\nflash-file = enclosure.bin\n");
    const std::string missing = path("missing/x.bin");
    const std::string fifo = path("fifo.bin");  // opening it would wait for a writer
#ifdef _WIN32
    std::filesystem::create_directory(fifo);  // no FIFOs there: another file that is not a regular one
#else
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
#endif
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"flash"},
        {"list", "0"},
        {"list", "--yes"},
        {"list", "--json=yes"},
        {"info"},
        {"info", "0", "1"},
        {"update", "0", "--erase-only"},
        {"update", "0", "--yes", "--yes"},
        {"run", "0"},
        {"run", "0", "--erase-only", "--backup-only"},
        {"run", "0", "--firmware", missing},
        {"run", "0", "--firmware", dir.string()},
        {"run", "0", "--firmware", fifo},
        {"check-file", fifo, "--chip-id", "10"},
        {"run", "0", "--backup-only", missing},
        {"run", "0", "--backup-only=" + std::string(300, 'b')},
        {"run", "0", "--erase-only", "--page-size", "1000"},
        {"run", "0", "--erase-only", "--firmware-size", "64K"},
        {"run", "0", "--erase-only", "--flash-type", "3"},
        {"run", "0", "--erase-only", "--flash-type"},
        {"check-file", path("enclosure.device")},
        {"check-file", path("enclosure.device"), "--chip-id", "0x10000"},
        {"check-file", missing, "--chip-id", "10"},
        {"info", "0", "--trace", missing},
        {"info", "0", "--trace="},
    };
    for (const std::vector<std::string>& args : cases) {
        const CliResult r = runOnBus(args);
        const std::string shown = args.empty() ? "(nothing)" : args[0] + " ...";
        EXPECT_EQ(r.status, 2) << shown << r.err;
        EXPECT_THAT(r.err, StartsWith("fwupdate-cli: ")) << shown;
        EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
        EXPECT_TRUE(r.out.empty()) << shown;
        EXPECT_FALSE(r.commandRan) << shown;
    }
}

TEST_F(Usage, ABadDescriptionIsNamedAndNoCommandIsSent) {
    device("a.device", "profile = vxe720-enclosure\n");
    device("b.device", "profile = family\nfamily = 21\n");
    const CliResult r = runOnBus({"list"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "fwupdate-cli: list: " + path("b.device") +
                         ":2: family: expected a number from 1 to 18 (decimal, or hexadecimal with 0x), got \"21\"\n");
    EXPECT_FALSE(r.commandRan);

    const CliResult none = run({"list", "--bus", path("nowhere")});
    EXPECT_EQ(none.status, 2);
    EXPECT_THAT(none.err, HasSubstr("nowhere: not a directory of device files"));
}

TEST_F(Usage, ChecksAFirmwareFileAgainstAChipId) {
    std::vector<uint8_t> image(0x1010, 0);
    const uint8_t tagBlock[] = {0x55, 0xAA, 0xAA, 0x55, '7', '3', '1', '1'};
    std::copy(std::begin(tagBlock), std::end(tagBlock), image.begin() + 0x1000);
    writeFlash("vxe720.fw", image);

    const CliResult fits = run({"check-file", path("vxe720.fw"), "--chip-id", "0x090A"});
    EXPECT_EQ(fits.status, 0);
    EXPECT_EQ(fits.out, path("vxe720.fw") + " fits VXE731/720 Series (ChipId 0x090A)\n");
    const CliResult other = run({"check-file", path("vxe720.fw"), "--chip-id", "8", "--json"});
    EXPECT_EQ(other.status, 1);
    // The path as JSON writes it (a Windows path's backslashes doubled).
    EXPECT_EQ(other.out, "{\"schema\":1,\"command\":\"check-file\",\"file\":" + vxe::cli::JsonQuote(path("vxe720.fw")) +
                             ",\"chipId\":8,\"chipIdHex\":\"0x0008\",\"family\":8,\"familyName\":\"KSV655 Series\","
                             "\"fits\":false,\"error\":{\"message\":\"the file does not fit KSV655 Series (ChipId 0x0008)\","
                             "\"status\":1}}\n");
}

TEST_F(Usage, EveryCommandHasItsPage) {
    const CliResult general = run({"--help"});
    EXPECT_EQ(general.status, 0);
    for (const char* command : {"list", "info", "check-file", "update", "run"}) {
        EXPECT_THAT(general.out, HasSubstr(std::string("fwupdate-cli ") + command));
        const CliResult page = run({command, "0", "--bogus", "--help"});
        EXPECT_EQ(page.status, 0) << command;
        EXPECT_THAT(page.out, HasSubstr(std::string("fwupdate-cli ") + command + " - ")) << command;
        EXPECT_EQ(run({"help", command}).out, page.out);
    }
    EXPECT_EQ(run({"help", "flash"}).status, 2);
    EXPECT_THAT(run({"--version"}).out, StartsWith("fwupdate-cli "));
}

}  // namespace
}  // namespace vxe::test
