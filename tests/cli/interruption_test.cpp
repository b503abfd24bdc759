// What the command line does when a signal comes or the node changes hands
// at any command: the flash is left untouched or complete, nothing reaches
// another device, and there is exactly one report whose status is the exit
// status. The simulated devices send the signals themselves (from another
// process, as a user's kill would) just before a chosen command, so every
// point of a procedure is reached without a clock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <regex>

#include "tests/cli/cli_fixture.h"

namespace vxe::test {
namespace {

using ::testing::HasSubstr;

// Every signal whose default action ends the program (SIGKILL aside).
std::vector<std::string> EndingSignals() {
    return {"HUP", "INT",  "QUIT", "ILL",    "TRAP",   "ABRT", "BUS",  "FPE", "USR1", "SEGV",  "USR2",
            "PIPE", "ALRM", "TERM", "STKFLT", "XCPU",  "XFSZ", "VTALRM", "PROF", "IO", "PWR", "SYS", "RTMIN", "RTMAX"};
}

int SignalNumber(const std::string& name) {
    if (name == "RTMIN") return SIGRTMIN;
    if (name == "RTMAX") return SIGRTMAX;
    if (name == "IO") return SIGIO;
    for (int signal = 1; signal < NSIG; ++signal) {
        if (const char* abbrev = sigabbrev_np(signal); abbrev != nullptr && name == abbrev) return signal;
    }
    return 0;
}

// The JSON objects printed on the output, and the error status of the one.
std::vector<std::string> JsonObjects(const std::string& out) {
    std::vector<std::string> objects;
    for (const std::string& line : Lines(out)) {
        if (!line.empty() && line.front() == '{') objects.push_back(line);
    }
    return objects;
}

int ErrorStatus(const std::string& object) {
    std::smatch match;
    static const std::regex status(R"("error":\{"message":"(?:[^"\\]|\\.)*","status":(\d+)\})");
    return std::regex_search(object, match, status) ? std::stoi(match[1]) : 0;
}

class Interruptions : public CliTest {
protected:
    // An enclosure on either writing path, with what a clean update leaves
    // and how many commands it takes.
    void enclosure(bool serialPath, const std::string& extra = "") {
        device("e.device", std::string("profile = vxe720-enclosure\nflash-file = e.bin\n") +
                               (serialPath ? "memory-505e-direct = yes\n" : "") + extra);
        writeFlash("e.bin", FactoryFlash());
    }
    void measureCleanUpdate(bool serialPath, const std::vector<std::string>& args) {
        enclosure(serialPath);
        CliResult clean = runOnBus(args);
        ASSERT_EQ(clean.status, 0) << clean.err;
        cleanFlash = readFlash("e.bin");
        commands = clean.logs["e"].size();
        firstWrite = commands;
        for (const sim::LogEntry& entry : clean.logs["e"]) {
            if (WritesIn({entry}) > 0) {
                firstWrite = entry.index;
                break;
            }
        }
        std::filesystem::remove_all(dir / "state");
    }
    std::vector<uint8_t> cleanFlash;
    size_t commands = 0;
    size_t firstWrite = 0;
};

TEST_F(Interruptions, NoSignalEndsAWriteHalfWayAndTheOneReportCarriesTheSignalsStatus) {
    for (const bool serialPath : {false, true}) {
        SCOPED_TRACE(serialPath ? "serial path" : "paged path");
        measureCleanUpdate(serialPath, {"update", "e", "--yes"});
        ASSERT_LT(firstWrite, commands);
        for (const std::string& name : EndingSignals()) {
            // In the middle of the writes; and for a few, before them.
            std::vector<size_t> points{(firstWrite + commands) / 2};
            if (name == "INT" || name == "PIPE" || name == "SEGV") points.push_back(2);
            for (const size_t at : points) {
                SCOPED_TRACE(name + " before command " + std::to_string(at));
                enclosure(serialPath, "signal-at = " + std::to_string(at) + " " + name + "\n");
                CliResult r = runOnBus({"update", "e", "--yes", "--json"});
                const int signal = SignalNumber(name);
                EXPECT_EQ(r.status, 128 + signal) << r.err;
                const std::vector<std::string> objects = JsonObjects(r.out);
                ASSERT_EQ(objects.size(), 1u) << r.out;
                EXPECT_EQ(ErrorStatus(objects[0]), r.status) << objects[0];
                if (at < firstWrite) {
                    EXPECT_EQ(readFlash("e.bin"), FactoryFlash());
                    EXPECT_EQ(WritesIn(r.logs["e"]), 0u);
                    EXPECT_THAT(objects[0], HasSubstr("came before anything was written; nothing was written"));
                } else {
                    EXPECT_EQ(readFlash("e.bin"), cleanFlash);
                    EXPECT_THAT(objects[0], HasSubstr("\"success\":true"));
                    EXPECT_THAT(r.err, HasSubstr("came while the flash was being written"));
                }
            }
        }
    }
}

TEST_F(Interruptions, ASignalAtAnyCommandLeavesTheFlashUntouchedOrComplete) {
    for (const bool serialPath : {false, true}) {
        measureCleanUpdate(serialPath, {"update", "e", "--yes"});
        for (size_t at = 0; at < commands; ++at) {
            SCOPED_TRACE((serialPath ? "serial path, " : "paged path, ") + std::to_string(at));
            enclosure(serialPath, "signal-at = " + std::to_string(at) + " QUIT\n");
            CliResult r = runOnBus({"update", "e", "--yes", "--json"});
            EXPECT_EQ(r.status, 128 + SIGQUIT);
            EXPECT_EQ(JsonObjects(r.out).size(), 1u);
            const std::vector<uint8_t> flash = readFlash("e.bin");
            EXPECT_TRUE(flash == FactoryFlash() || flash == cleanFlash);
        }
    }
}

TEST_F(Interruptions, AFleetFinishesTheDevicesUnderWayAndBeginsNoOther) {
    for (const std::string jobs : {"1", "4"}) {
        SCOPED_TRACE("--jobs " + jobs);
        for (const char* name : {"a", "b", "c"}) {
            device(std::string(name) + ".device",
                   std::string("profile = vxe720-enclosure\nflash-file = ") + name + ".bin\n");
            writeFlash(std::string(name) + ".bin", FactoryFlash());
        }
        CliResult clean = runOnBus({"update", "--all", "--yes", "--jobs", jobs});
        ASSERT_EQ(clean.status, 0) << clean.err;
        const std::vector<uint8_t> updated = readFlash("a.bin");
        const size_t passAndUpdate = clean.logs["a"].size();
        for (const size_t at : {size_t{5}, passAndUpdate - 10}) {
            for (const char* name : {"a", "b", "c"}) writeFlash(std::string(name) + ".bin", FactoryFlash());
            device("a.device", "profile = vxe720-enclosure\nflash-file = a.bin\nsignal-at = " + std::to_string(at) +
                                   " TERM\n");
            CliResult r = runOnBus({"update", "--all", "--yes", "--json", "--jobs", jobs});
            EXPECT_EQ(r.status, 128 + SIGTERM);
            const std::vector<std::string> objects = JsonObjects(r.out);
            ASSERT_EQ(objects.size(), 1u) << r.out;
            EXPECT_THAT(objects[0], HasSubstr("\"exitStatus\":143"));
            EXPECT_EQ(ErrorStatus(objects[0]), 143);
            for (const char* name : {"a", "b", "c"}) {
                const std::vector<uint8_t> flash = readFlash(std::string(name) + ".bin");
                EXPECT_TRUE(flash == FactoryFlash() || flash == updated) << name << " at " << at;
            }
        }
    }
}

// The node is given to another device after N commands, for every N: not
// one write follows, whichever job the device is in.
TEST_F(Interruptions, NothingIsWrittenAfterAHandOverAtAnyCommand) {
    const std::vector<std::vector<std::string>> runs = {
        {"update", "e", "--yes"}, {"update", "0", "--yes"}, {"update", "--all", "--yes", "--jobs", "1"},
        {"update", "--all", "--yes", "--jobs", "4"}};
    for (const std::vector<std::string>& args : runs) {
        device("f.device", "profile = vxe720-enclosure\nflash-file = f.bin\n");
        writeFlash("f.bin", FactoryFlash());
        enclosure(false);
        CliResult clean = runOnBus(args);
        ASSERT_EQ(clean.status, 0) << clean.err;
        const size_t whole = clean.logs["e"].size();
        for (size_t after = 1; after < whole; ++after) {
            SCOPED_TRACE(args[1] + (args.size() > 4 ? " --jobs " + args[4] : "") + ", given away after " +
                         std::to_string(after));
            writeFlash("f.bin", FactoryFlash());
            enclosure(false, "given-away-after = " + std::to_string(after) + "\n");
            std::filesystem::remove_all(dir / "state");  // no recovery of the last one's cut-off update
            CliResult r = runOnBus(args);
            for (const sim::LogEntry& entry : r.logs["e"]) {
                if (entry.index >= after) {
                    EXPECT_TRUE(entry.command.dataIn) << "write at command " << entry.index;
                }
            }
            EXPECT_NE(r.status, 0);
            if (args[1] == "--all") {
                EXPECT_NE(readFlash("f.bin"), FactoryFlash());  // the other one was updated
            }
        }
    }
}

TEST_F(Interruptions, AHandOverIsOneReportThatSaysSo) {
    enclosure(false, "given-away-after = 30\n");
    CliResult r = runOnBus({"update", "e", "--yes", "--json"});
    EXPECT_EQ(r.status, 1);
    const std::vector<std::string> objects = JsonObjects(r.out);
    ASSERT_EQ(objects.size(), 1u) << r.out;
    EXPECT_THAT(objects[0], HasSubstr("e now belongs to another device"));
    EXPECT_EQ(ErrorStatus(objects[0]), 1);
}

TEST_F(Interruptions, ARunOnAnEngineFamilyStopsAtAHandOverToo) {
    useEngineImages();
    device("b.device", "profile = family\nfamily = 7\nflash-file = b.bin\n");
    CliResult clean = runOnBus({"run", "b", "--firmware", EngineImagePath("fits-family-7.bin")});
    ASSERT_EQ(clean.status, 0) << clean.err;
    for (size_t after = 1; after < clean.logs["b"].size(); after += 3) {
        device("b.device", "profile = family\nfamily = 7\nflash-file = b.bin\ngiven-away-after = " +
                               std::to_string(after) + "\n");
        CliResult r = runOnBus({"run", "b", "--firmware", EngineImagePath("fits-family-7.bin"), "--json"});
        for (const sim::LogEntry& entry : r.logs["b"]) {
            if (entry.index >= after) {
                EXPECT_TRUE(entry.command.dataIn) << after << ": write at " << entry.index;
            }
        }
        EXPECT_EQ(r.status, 1) << after;
        EXPECT_EQ(JsonObjects(r.out).size(), 1u);
    }
}

}  // namespace
}  // namespace vxe::test
