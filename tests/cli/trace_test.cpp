// --trace: one line per command on the wire, the same commands the devices saw.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/cli/cli_fixture.h"

namespace vxe::test {
namespace {

struct TraceLine {
    std::string direction, open, cdb, requested, transferred, timeout, result, path;
};

// "SEQ DIR OPEN cdb=.. requested=.. transferred=.. timeout=.. result=.. path=.."
TraceLine ParseLine(const std::string& line, uint64_t expectedSequence) {
    std::istringstream in(line);
    std::string sequence;
    TraceLine t;
    in >> sequence >> t.direction >> t.open;
    EXPECT_EQ(sequence, std::to_string(expectedSequence)) << line;
    const auto field = [&](const char* key, std::string& into) {
        std::string word;
        in >> word;
        EXPECT_EQ(word.rfind(key, 0), 0u) << line;
        into = word.substr(std::string(key).size());
    };
    field("cdb=", t.cdb);
    field("requested=", t.requested);
    field("transferred=", t.transferred);
    field("timeout=", t.timeout);
    field("result=", t.result);
    in >> std::ws;
    std::getline(in, t.path);
    EXPECT_EQ(t.path.rfind("path=", 0), 0u) << line;
    t.path = t.path.substr(5);
    return t;
}

std::string Hex(const sim::Command& c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t i = 0; i < c.cdbLength; ++i) {
        out += kHex[c.cdb[i] >> 4];
        out += kHex[c.cdb[i] & 0x0F];
    }
    return out;
}

std::map<std::string, std::vector<TraceLine>> ReadTrace(const std::string& file) {
    std::map<std::string, std::vector<TraceLine>> byDevice;
    std::ifstream in(file);
    uint64_t sequence = 0;
    for (std::string line; std::getline(in, line);) {
        TraceLine t = ParseLine(line, ++sequence);
        byDevice[t.path].push_back(std::move(t));
    }
    return byDevice;
}

using TraceFile = CliTest;

TEST_F(TraceFile, HoldsExactlyTheCommandsTheDevicesSawInTheOrderSent) {
    device("a.device", "profile = vxe720-enclosure\nflash-file = a.bin\n");
    device("b.device", "profile = vxe720-enclosure\nclass = cdrom\nfdb0-at-least-b4 = yes\n");
    device("c.device", "profile = plain-disk\n");
    device("d.device", "profile = family\nfamily = 2\n");
    const CliResult r = runOnBus({"update", "1", "--yes", "--trace", path("wire.trace")});
    ASSERT_EQ(r.status, 0) << r.err;

    const auto trace = ReadTrace(path("wire.trace"));
    size_t logged = 0;
    for (const auto& [device, log] : r.logs) {
        logged += log.size();
        const std::vector<TraceLine> lines = trace.count(device) ? trace.at(device) : std::vector<TraceLine>{};
        ASSERT_EQ(lines.size(), log.size()) << device;
        for (size_t i = 0; i < log.size(); ++i) {
            const sim::Command& c = log[i].command;
            SCOPED_TRACE(device + " command " + std::to_string(i));
            EXPECT_EQ(lines[i].cdb, Hex(c));
            EXPECT_EQ(lines[i].direction, c.dataIn ? "in" : "out");
            EXPECT_EQ(lines[i].open, c.exclusiveOpen ? "exclusive" : "shared");
            EXPECT_EQ(lines[i].requested, std::to_string(c.length));
            EXPECT_EQ(lines[i].transferred, std::to_string(log[i].reply.transferred));
            EXPECT_EQ(lines[i].timeout, std::to_string(c.timeoutSeconds));
            EXPECT_EQ(lines[i].result, "ok");
        }
    }
    size_t traced = 0;
    for (const auto& [device, lines] : trace) traced += lines.size();
    EXPECT_EQ(traced, logged);
    EXPECT_GT(WritesIn(r.logs.at("b")), 0u);
    EXPECT_EQ(WritesIn(r.logs.at("a")), 0u);
}

TEST_F(TraceFile, ShowsFailedAndUnsentCommands) {
    device("a.device", "profile = vxe720-enclosure\nfail-command = 0\nvanish-from = 2\n");
    const CliResult r = runOnBus({"info", "a", "--trace", path("wire.trace")});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<TraceLine> lines = ReadTrace(path("wire.trace")).at("a");
    // Identification (INQUIRY fails, then the identification string), then
    // the version command after the device has gone.
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].result, "error:1117");
    EXPECT_EQ(lines[1].result, "ok");
    EXPECT_EQ(lines[2].result, "not-opened");
    EXPECT_EQ(lines[2].transferred, "-");
    EXPECT_EQ(r.logs.at("a").size(), 2u);
}

TEST_F(TraceFile, TheDevicePassTestsAPathAsEnumeratedAndThenUsesItInLowerCase) {
    device("a.device", "profile = vxe720-enclosure\npath = /Sim/USB-Upper\n");
    const CliResult r = runOnBus({"list", "--trace", path("wire.trace")});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> paths;
    std::vector<std::string> cdbs;
    std::ifstream in(path("wire.trace"));
    uint64_t sequence = 0;
    for (std::string line; std::getline(in, line);) {
        const TraceLine t = ParseLine(line, ++sequence);
        paths.push_back(t.path);
        cdbs.push_back(t.cdb);
    }
    // The chip test, then INQUIRY and everything after on the lower-case path.
    const auto firstLower = std::find(paths.begin(), paths.end(), "/sim/usb-upper");
    ASSERT_NE(firstLower, paths.end());
    ASSERT_NE(firstLower, paths.begin());
    EXPECT_TRUE(std::all_of(paths.begin(), firstLower, [](const std::string& p) { return p == "/Sim/USB-Upper"; }));
    EXPECT_TRUE(std::all_of(firstLower, paths.end(), [](const std::string& p) { return p == "/sim/usb-upper"; }));
    EXPECT_EQ(cdbs[static_cast<size_t>(firstLower - paths.begin())].substr(0, 10), "1200000028");  // INQUIRY, 40 bytes
    EXPECT_THAT(r.out, ::testing::HasSubstr("0\t/sim/usb-upper\t"));
}

}  // namespace
}  // namespace vxe::test
