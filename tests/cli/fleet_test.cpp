// Scripts and fleets: nothing done when the firmware is current, every
// enclosure in one call, several at once with each one's wire unchanged, and
// one JSON object for every outcome.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>

#include "platform/embedded_resources.h"
#include "tests/cli/cli_fixture.h"

namespace vxe::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr const char* kEnclosure = "profile = vxe720-enclosure\n";

std::vector<uint8_t> CurrentFlash() {
    const std::span<const uint8_t> image = FindBuiltInResource("VXE720FW", "FW");
    std::vector<uint8_t> flash(0x10000, 0xFF);
    std::copy(image.begin(), image.end(), flash.begin());
    flash[0] = 0x42;  // its own header: not compared
    return flash;
}

std::vector<uint8_t> OldFlash() {
    std::vector<uint8_t> flash(0x10000);
    for (size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>(i * 5 + 1);
    flash[0x7E] = 'C';
    flash[0x7F] = 'V';
    return flash;
}

// What went over the wire, without times.
std::vector<std::string> Wire(const std::vector<sim::LogEntry>& log) {
    std::vector<std::string> lines;
    for (const sim::LogEntry& e : log) {
        std::string line = e.command.dataIn ? "in " : "out ";
        for (size_t i = 0; i < e.command.cdbLength; ++i) line += std::to_string(e.command.cdb[i]) + ".";
        lines.push_back(line + " " + std::to_string(e.command.length));
    }
    return lines;
}

using Fleet = CliTest;

TEST_F(Fleet, AnUpToDateEnclosureIsLeftAloneUnlessForced) {
    device("enclosure.device", std::string(kEnclosure) + "flash-file = enclosure.bin\n");
    writeFlash("enclosure.bin", CurrentFlash());

    const CliResult r = runOnBus({"update", "enclosure", "--json"});  // not even asked
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_THAT(r.out, HasSubstr("\"state\":\"up-to-date\""));
    EXPECT_THAT(r.out, Not(HasSubstr("\"error\"")));
    EXPECT_EQ(WritesIn(r.logs.at("enclosure")), 0u);
    EXPECT_EQ(readFlash("enclosure.bin"), CurrentFlash());

    const CliResult text = runOnBus({"update", "enclosure"});
    EXPECT_EQ(text.status, 4);
    EXPECT_THAT(text.out, HasSubstr("already current; nothing was written"));

    const CliResult forced = runOnBus({"update", "enclosure", "--force", "--yes"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_GT(WritesIn(forced.logs.at("enclosure")), 0u);
}

TEST_F(Fleet, UpdateAllReportsEachEnclosureAndAnOverallStatus) {
    device("a-old.device", std::string(kEnclosure) + "flash-file = a.bin\n");
    device("b-current.device", std::string(kEnclosure) + "flash-file = b.bin\n");
    device("c-broken.device", std::string(kEnclosure) + "fdb0-at-least-b4 = yes\nfail-matching = DF FB\n");
    device("d-stick.device", "profile = plain-disk\n");
    writeFlash("a.bin", OldFlash());
    writeFlash("b.bin", CurrentFlash());

    const CliResult r = runOnBus({"update", "--all", "--yes", "--json"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 1u);
    EXPECT_THAT(r.out, StartsWith("{\"schema\":1,\"command\":\"update\",\"all\":true,\"devices\":[{\"device\":\"a-old\""));
    EXPECT_THAT(r.out, HasSubstr("\"state\":\"updated\""));
    EXPECT_THAT(r.out, HasSubstr("{\"device\":\"c-broken\""));
    EXPECT_THAT(r.out, HasSubstr("{\"device\":\"b-current\",\"chipId\":0"));  // never read out: left alone
    EXPECT_THAT(r.out, HasSubstr("\"updated\":1,\"failed\":1,\"upToDate\":1,\"exitStatus\":1,\"error\":{\"message\":"
                                 "\"3 devices: 1 updated, 1 failed, 1 already current\",\"status\":1}}"));
    EXPECT_EQ(WritesIn(r.logs.at("b-current")), 0u);
    EXPECT_EQ(WritesIn(r.logs.at("d-stick")), 0u);
    EXPECT_NE(readFlash("a.bin"), OldFlash());

    // Now only the one that cannot be written is left to do.
    const CliResult again = runOnBus({"update", "--all", "--yes"});
    EXPECT_EQ(again.status, 1);
    EXPECT_THAT(again.out, HasSubstr("c-broken\tfailed\tUpdate    fail!!\n"));
    EXPECT_THAT(again.out, HasSubstr("a-old\tup-to-date\n"));

    device("c-broken.device", "profile = plain-disk\n");
    const CliResult nothing = runOnBus({"update", "--all", "--yes"});
    EXPECT_EQ(nothing.status, 4);
    EXPECT_EQ(Lines(nothing.out).back(), "2 devices: 0 updated, 0 failed, 2 already current");
}

TEST_F(Fleet, JobsRunDevicesAtOnceWithEachWireUnchanged) {
    constexpr int kDevices = 4;
    const auto setUp = [&] {
        for (int i = 0; i < kDevices; ++i) {
            const std::string n = std::to_string(i);
            device("e" + n + ".device", std::string(kEnclosure) + "flash-file = e" + n + ".bin\n" +
                                            (i % 2 == 0 ? "fdb0-at-least-b4 = yes\n" : ""));  // both writing paths
            writeFlash("e" + n + ".bin", OldFlash());
        }
    };
    setUp();
    const CliResult one = runOnBus({"update", "--all", "--yes", "--json"});
    std::vector<std::vector<uint8_t>> flashes;
    for (int i = 0; i < kDevices; ++i) flashes.push_back(readFlash("e" + std::to_string(i) + ".bin"));
    setUp();
    const CliResult four = runOnBus({"update", "--all", "--yes", "--json", "--jobs", "4", "--trace", path("trace")});
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(four.status, 0) << four.err;
    // Each run keeps the old headers in files of its own; the rest is the same.
    const auto withoutKeptFiles = [](const std::string& report) {
        return std::regex_replace(report, std::regex("\"oldHeaderFile\":\"[^\"]*\""), "");
    };
    EXPECT_EQ(withoutKeptFiles(four.out), withoutKeptFiles(one.out)) << "the report keeps the list order";
    size_t commands = 0;
    for (int i = 0; i < kDevices; ++i) {
        const std::string name = "e" + std::to_string(i);
        EXPECT_EQ(Wire(four.logs.at(name)), Wire(one.logs.at(name))) << name;
        EXPECT_EQ(readFlash(name + ".bin"), flashes[static_cast<size_t>(i)]) << name;
        commands += four.logs.at(name).size();
    }
    // Every command of every job in the trace, one whole line each.
    std::ifstream trace(path("trace"));
    size_t lines = 0;
    for (std::string line; std::getline(trace, line); ++lines) EXPECT_THAT(line, HasSubstr(" result="));
    EXPECT_EQ(lines, commands);
}

TEST_F(Fleet, EveryFailureIsOneJsonObjectWithItsStatus) {
    device("enclosure.device", kEnclosure);
    device("ksv652.device", "profile = family\nfamily = 6\n");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"update", "--jobs", "2", "--json"}, 2, "update: --jobs needs --all (see fwupdate-cli update --help)"},
        {{"--json", "frobnicate"}, 2, "unknown command"},
        {{"update", "--all", "enclosure", "--json"}, 2, "--all and DEVICE exclude each other"},
        {{"info", "7", "--json", "--bus", path("")}, 3, "no device 7 in the list"},
        {{"update", "nowhere", "--json", "--bus", path("")}, 3, "no USB storage device \\\"nowhere\\\""},
        {{"list", "--json", "--bus", path("missing")}, 2, "missing"},
        {{"run", "ksv652", "--erase-only", "--json", "--bus", path("")}, 1, "--erase-only is not offered"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const CliResult r = run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        ASSERT_EQ(Lines(r.out).size(), 1u) << r.out;
        EXPECT_THAT(r.out, StartsWith("{\"schema\":1,"));
        EXPECT_THAT(r.out, HasSubstr(c.message));
        EXPECT_THAT(r.out, HasSubstr(",\"status\":" + std::to_string(c.status) + "}}\n"));
    }
}

TEST_F(Fleet, TextPassesThroughAsUtf8) {
    device("enclosure.device", std::string(kEnclosure) + "path = /sim/Gehäuse-ö\n");
    const CliResult r = runOnBus({"list", "--json"});
    EXPECT_THAT(r.out, HasSubstr("\"path\":\"/sim/gehäuse-ö\""));  // only ASCII letters are lowered
    const CliResult info = runOnBus({"info", "/sim/gehäuse-ö", "--json"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_THAT(info.out, HasSubstr("\"device\":\"/sim/gehäuse-ö\""));
}

TEST_F(Fleet, TheReadoutSaysWhatAppliesAndWhatItCannotReach) {
    device("enclosure.device", kEnclosure);
    // Identifies as a family through its INQUIRY tag, but its chip
    // information lacks the Corvane marker.
    device("foreign.device", "profile = family\nfamily = 4\nchip-information = 00 00 00 00 00 00 00 00 00 00 00 00\n");
    const CliResult enclosure = runOnBus({"info", "enclosure"});
    EXPECT_THAT(enclosure.out, HasSubstr("one-click update: applies (fwupdate-cli update enclosure)\n"));
    const CliResult foreign = runOnBus({"info", "foreign", "--json"});
    EXPECT_THAT(foreign.out, HasSubstr("\"familyName\":null,\"corvane\":false"));
    EXPECT_THAT(foreign.out, HasSubstr("\"status\":\"Not Corvane Chip!!\""));
    EXPECT_THAT(runOnBus({"info", "foreign"}).out, HasSubstr("chip:             not a Corvane chip\n"));

    // Seventeen interfaces: the last is past the slots a refresh has.
    for (int i = 0; i < 17; ++i) device("s" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".device", "profile = plain-disk\n");
    const CliResult list = runOnBus({"list"});
    EXPECT_THAT(list.out, HasSubstr("3 more USB storage devices are past the first 16 and not looked at\n"));
    const CliResult past = runOnBus({"info", "s16"});
    EXPECT_EQ(past.status, 3);
    EXPECT_THAT(past.err, HasSubstr("\"s16\" is past the 16 USB storage devices the utility looks at"));
}

}  // namespace
}  // namespace vxe::test
