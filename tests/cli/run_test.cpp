// run: the engineering Run dispatch, its options, and the verdict read from
// each procedure's status text.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/cli/cli_fixture.h"

namespace vxe::test {
namespace {

using ::testing::HasSubstr;

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + 1);
    return bytes;
}

bool AllErased(const std::vector<uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xFF; });
}

using RunCommand = CliTest;

TEST_F(RunCommand, BacksUpAndErasesTheFlashOfAnEngineFamily) {
    device("rt71849.device", "profile = family\nfamily = 4\nflash-file = rt71849.bin\n");
    writeFlash("rt71849.bin", Pattern(0x10000));

    const CliResult whole = runOnBus({"run", "rt71849", "--backup-only", path("whole.bak"), "--json"});
    EXPECT_EQ(whole.status, 0) << whole.err;
    EXPECT_THAT(whole.out, HasSubstr("\"procedure\":\"flash-update\",\"action\":\"backup-only\","
                                     "\"status\":\"Read flash and backup success!\",\"success\":true,"));
    EXPECT_EQ(ReadFile(path("whole.bak")), Pattern(0x10000));

    const CliResult half = runOnBus({"run", "rt71849", "--backup-only=" + path("half.bak"), "--firmware-size", "32768"});
    EXPECT_EQ(half.status, 0) << half.err;
    EXPECT_EQ(ReadFile(path("half.bak")), Pattern(0x8000));

    const CliResult erased = runOnBus({"run", "rt71849", "--erase-only", "--page-size", "2048"});
    EXPECT_EQ(erased.status, 0) << erased.err;
    EXPECT_EQ(Lines(erased.out), (std::vector<std::string>{
                                     "device:           rt71849",
                                     "chip:             RT71849 Series (ChipId 0x0104)",
                                     "procedure:        flash-update, erase-only",
                                     "status:           Erase flash all success!",
                                     "result:           succeeded",
                                 }));
    EXPECT_EQ(erased.err, "Message: Please Turn-Off the Power and Turn-On Again!\n");
    EXPECT_TRUE(AllErased(readFlash("rt71849.bin")));
}

TEST_F(RunCommand, TheLastStatusTextDecides) {
    // Every block erase fails: erase-only ends in "Erase command fail!!".
    device("rt71849.device", "profile = family\nfamily = 4\nfail-matching = FF 14\n");
    const CliResult erase = runOnBus({"run", "rt71849", "--erase-only"});
    EXPECT_EQ(erase.status, 1);
    EXPECT_THAT(erase.out, HasSubstr("status:           Erase command fail!!\nresult:           failed\n"));

    // The program carries no image for this family's update (unless it was
    // built with the engine images).
    const bool noImage = !BuiltInImage("FW849");
    std::vector<uint8_t> file(16, 0);
    std::copy_n("8491", 4, file.begin() + 4);  // fits an RT71849 of revision 2
    writeFlash("rt71849.bin", file);
    device("rt71849.device", "profile = family\nfamily = 4\nroute = id-string\nrevision-char = 1\n");
    if (noImage) {
        const CliResult update = runOnBus({"run", "rt71849", "--firmware", path("rt71849.bin")});
        EXPECT_EQ(update.status, 1);
        EXPECT_THAT(update.out, HasSubstr("status:           Load defaut Fw file Error!!\n"));
    }

    // The parallel engine's own texts, with the flash type of the part.
    device("rt71846.device", "profile = family\nfamily = 2\nparallel-flash-type = 1\nflash-file = rt71846.bin\n");
    writeFlash("rt71846.bin", Pattern(0x10000));
    const CliResult parallel = runOnBus({"run", "rt71846", "--erase-only", "--flash-type", "1", "--json"});
    EXPECT_EQ(parallel.status, 0) << parallel.err;
    EXPECT_THAT(parallel.out, HasSubstr("\"status\":\"Erase All success!!\",\"success\":true"));
    EXPECT_TRUE(AllErased(readFlash("rt71846.bin")));
    writeFlash("rt71846.fw", std::vector<uint8_t>(16, 0));  // any file fits but an RT7184x one
    if (noImage) {
        const CliResult program = runOnBus({"run", "rt71846", "--firmware", path("rt71846.fw"), "--flash-type", "1"});
        EXPECT_EQ(program.status, 1);
        EXPECT_THAT(program.out, HasSubstr("status:           Programming Fail!!\n"));
    }
}

TEST_F(RunCommand, TheNvramKeepingUpdateIsJudgedByItsResult) {
    // It fails without a word when the program carries no image for the chip.
    if (BuiltInImage("FW652A")) GTEST_SKIP() << "built with the engine images";
    std::vector<uint8_t> file(0x1010, 0);
    const uint8_t tagBlock[] = {0x55, 0xAA, 0xAA, 0x55, '6', '5', '2', '1', 0x00, 0x00};
    std::copy(std::begin(tagBlock), std::end(tagBlock), file.begin() + 0x1000);  // fits revision 1
    writeFlash("ksv652.fw", file);
    device("ksv652.device", "profile = family\nfamily = 6\n");
    const CliResult r = runOnBus({"run", "ksv652", "--firmware", path("ksv652.fw")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_THAT(r.out, HasSubstr("procedure:        nvram-keeping-update, update\nstatus:\nresult:           failed\n"));
}

TEST_F(RunCommand, RefusesWhatTheFamilyCannotDoWithoutWriting) {
    device("enclosure.device", "profile = vxe720-enclosure\n");
    device("ksv652.device", "profile = family\nfamily = 6\n");
    device("rt71849.device", "profile = family\nfamily = 4\n");
    writeFlash("other.fw", std::vector<uint8_t>(16, 0));
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"run", "enclosure", "--erase-only"}, 1,
         "fwupdate-cli: run: VXE731/720 Series (ChipId 0x000A) has no engineering update; nothing was written\n"},
        // Only the identification tells the engine: refused after it, not a usage error.
        {{"run", "ksv652", "--erase-only"}, 1,
         "fwupdate-cli: run: --erase-only is not offered for KSV652 Series: its procedure always reprograms the "
         "flash; nothing was written\n"},
        {{"run", "rt71849", "--firmware", path("other.fw")}, 1,
         "fwupdate-cli: run: The firmware file seems not match this chip!\n"},
    };
    for (const auto& c : cases) {
        const CliResult r = runOnBus(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[1];
        EXPECT_EQ(r.err, c.message);
        EXPECT_TRUE(r.out.empty());
        for (const auto& [device, log] : r.logs) EXPECT_EQ(WritesIn(log), 0u) << device;
    }
}

}  // namespace
}  // namespace vxe::test
