// What stands around a procedure that writes flash, seen from the command
// line: the kept header and --header-from, the device lock, held-back
// signals, and writes that never follow a node to another device. The
// signal and the second process are real: the program runs as its own
// process over a bus on the wall clock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "tests/cli/cli_fixture.h"

extern char** environ;

namespace vxe::test {
namespace {

using ::testing::HasSubstr;

std::string ReadText(const std::filesystem::path& file) {
    const std::vector<uint8_t> bytes = ReadFile(file);
    return {bytes.begin(), bytes.end()};
}

// The value of a "key:   value" line of the text output.
std::string FieldValue(const std::string& out, const std::string& key) {
    for (const std::string& line : Lines(out)) {
        if (line.rfind(key + ":", 0) == 0) return line.substr(line.find_first_not_of(' ', key.size() + 1));
    }
    return {};
}

// fwupdate-cli as its own process, its output in files.
class CliProcess {
public:
    // `outFd`, when not -1, is the program's output instead of `outFile`.
    CliProcess(const std::vector<std::string>& args, const std::filesystem::path& outFile,
               const std::filesystem::path& errFile, int outFd = -1)
        : out_(outFile) {
        std::vector<std::string> argv{VXE_CLI_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (std::string& a : argv) raw.push_back(a.data());
        raw.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (outFd >= 0) posix_spawn_file_actions_adddup2(&actions, outFd, 1);
        else posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        EXPECT_EQ(posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CliProcess() {
        if (pid_ > 0) wait();
    }

    // True once the output holds `text`; the program writes it as it goes.
    bool waitForOutput(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (ReadText(out_).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    void signal(int number) { ::kill(pid_, number); }
    // The exit status, or -1 when the program did not exit by itself.
    int wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Started and ended: the exit status.
    static int Run(const std::vector<std::string>& args, const std::filesystem::path& out,
                   const std::filesystem::path& err, int outFd = -1) {
        return CliProcess(args, out, err, outFd).wait();
    }

private:
    std::filesystem::path out_;
    pid_t pid_ = -1;
};

using WriteGuards = CliTest;

constexpr const char* kEnclosure = "profile = vxe720-enclosure\nflash-file = enclosure.bin\n";
// Slow enough on the wall clock (about a second for YES) to be caught mid-update.
constexpr const char* kSlowEnclosure =
    "profile = vxe720-enclosure\nflash-file = enclosure.bin\ntiming = small-spi-nor\nreal-time = yes\n";

TEST_F(WriteGuards, KeptHeaderIsNamedBeforeTheUpdateAndBringsTheConfigurationBack) {
    device("enclosure.device", kEnclosure);
    writeFlash("enclosure.bin", FactoryFlash());
    const CliResult first = runOnBus({"update", "enclosure", "--yes"});
    ASSERT_EQ(first.status, 0) << first.err;
    const std::string kept = FieldValue(first.out, "old header");
    ASSERT_FALSE(kept.empty()) << first.out;
    EXPECT_EQ(Lines(first.out).front().rfind("old header:", 0), 0u);  // before anything else is said
    const std::vector<uint8_t> factory = FactoryFlash();
    EXPECT_EQ(ReadFile(kept), std::vector<uint8_t>(factory.begin(), factory.begin() + 128));
    const std::vector<uint8_t> updated = readFlash("enclosure.bin");

    // The header is gone (an update cut off after its erase): the kept one
    // gives the same flash as the first update did.
    std::vector<uint8_t> stranded = FactoryFlash();
    std::fill(stranded.begin(), stranded.end(), 0xFF);
    writeFlash("enclosure.bin", stranded);
    const CliResult back = runOnBus({"update", "enclosure", "--yes", "--header-from", kept});
    EXPECT_EQ(back.status, 0) << back.err;
    EXPECT_THAT(back.out, HasSubstr("merged from " + kept));
    EXPECT_EQ(readFlash("enclosure.bin"), updated);

    // Only a file that begins with a signed header is offered; nothing is sent otherwise.
    writeFlash("not-a-header.bin", std::vector<uint8_t>(128, 0x5A));
    const CliResult refused = runOnBus({"update", "enclosure", "--yes", "--header-from", path("not-a-header.bin")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_THAT(refused.err, HasSubstr("--header-from"));
    EXPECT_FALSE(refused.commandRan);
}

TEST_F(WriteGuards, NothingIsWrittenOnceTheNodeBelongsToAnotherDevice) {
    device("enclosure.device", kEnclosure);
    writeFlash("enclosure.bin", FactoryFlash());
    const size_t whole = runOnBus({"update", "enclosure", "--yes"}).logs["enclosure"].size();
    const size_t handOver = whole / 2;  // well inside the erase and program part

    device("enclosure.device", std::string(kEnclosure) + "given-away-after = " + std::to_string(handOver) + "\n");
    writeFlash("enclosure.bin", FactoryFlash());
    CliResult r = runOnBus({"update", "enclosure", "--yes"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("enclosure now belongs to another device"));
    EXPECT_EQ(Lines(r.out).back(), "Update    fail!!");
    for (const sim::LogEntry& entry : r.logs["enclosure"]) {
        if (entry.index >= handOver) {
            EXPECT_TRUE(entry.command.dataIn) << "write at command " << entry.index;
        }
    }
}

TEST_F(WriteGuards, SignalDuringTheUpdateWaitsForTheVerifiedFlash) {
    // What the update writes when nothing interrupts it.
    std::filesystem::create_directories(dir / "twin");
    std::ofstream(dir / "twin" / "enclosure.device") << kEnclosure;
    std::ofstream(dir / "twin" / "enclosure.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(FactoryFlash().data()), 0x10000);
    ASSERT_EQ(run({"update", "enclosure", "--yes", "--bus", (dir / "twin").string()}).status, 0);
    const std::vector<uint8_t> expected = ReadFile(dir / "twin" / "enclosure.bin");

    device("enclosure.device", kSlowEnclosure);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        writeFlash("enclosure.bin", FactoryFlash());
        CliProcess cli({"update", "enclosure", "--yes", "--bus", dir.string()}, dir / "out.txt", dir / "err.txt");
        ASSERT_TRUE(cli.waitForOutput("old header:"));  // written just before the first erase
        cli.signal(signal);
        EXPECT_EQ(cli.wait(), 128 + signal);
        const std::string out = ReadText(dir / "out.txt");
        EXPECT_EQ(Lines(out).back(), "Please power cycle the device");
        EXPECT_THAT(ReadText(dir / "err.txt"),
                    HasSubstr(std::string(signal == SIGINT ? "SIGINT" : "SIGTERM") +
                              " came while the flash was being written; the procedure was finished first"));
        EXPECT_EQ(readFlash("enclosure.bin"), expected);
    }
}

TEST_F(WriteGuards, SecondProcessOnTheSameDeviceIsRefusedWithNothingSent) {
    device("enclosure.device", kSlowEnclosure);
    writeFlash("enclosure.bin", FactoryFlash());
    CliProcess first({"update", "enclosure", "--yes", "--bus", dir.string()}, dir / "out.txt", dir / "err.txt");
    ASSERT_TRUE(first.waitForOutput("old header:"));

    CliProcess second({"update", "enclosure", "--yes", "--bus", dir.string(), "--trace", path("second.trace")},
                      dir / "out2.txt", dir / "err2.txt");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(second.wait(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));  // no waiting for the lock
    EXPECT_THAT(ReadText(dir / "err2.txt"), HasSubstr("another procedure is working on enclosure"));
    EXPECT_EQ(ReadText(dir / "second.trace"), "");
    EXPECT_EQ(first.wait(), 0);
    EXPECT_EQ(Lines(ReadText(dir / "out.txt")).back(), "Please power cycle the device");
}

TEST_F(WriteGuards, AClosedOutputFailsQuietlyAndTheUpdateFinishesFirst) {
    device("enclosure.device", kEnclosure);
    writeFlash("enclosure.bin", FactoryFlash());
    ASSERT_EQ(runOnBus({"update", "enclosure", "--yes"}).status, 0);
    const std::vector<uint8_t> expected = readFlash("enclosure.bin");
    std::filesystem::remove_all(dir / "state");

    // As `... --trace /dev/stdout | head -n 40`: the reader goes after forty
    // lines, wherever the update is by then (a small pipe holds it there).
    for (const int lines : {0, 40}) {
        SCOPED_TRACE(std::to_string(lines) + " lines read");
        std::filesystem::remove_all(dir / "state");
        writeFlash("enclosure.bin", FactoryFlash());
        int pipe[2];
        ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);  // only the program's output holds the pipe
        ::fcntl(pipe[1], F_SETPIPE_SZ, 4096);
        CliProcess cli({"update", "enclosure", "--yes", "--bus", dir.string(), "--trace", "/dev/stdout"},
                       dir / "out.txt", dir / "err.txt", pipe[1]);
        ::close(pipe[1]);
        FILE* reader = ::fdopen(pipe[0], "r");
        char line[512];
        for (int i = 0; i < lines && std::fgets(line, sizeof line, reader) != nullptr; ++i) {
        }
        std::fclose(reader);
        EXPECT_EQ(cli.wait(), 128 + SIGPIPE);
        const std::vector<uint8_t> flash = readFlash("enclosure.bin");
        EXPECT_TRUE(flash == FactoryFlash() || flash == expected);
        EXPECT_THAT(ReadText(dir / "err.txt"), HasSubstr("SIGPIPE came "));
    }
}

TEST_F(WriteGuards, ASignalTheCallerIgnoredStaysIgnored) {
    for (const char* name : {"a", "b", "c"}) {
        device(std::string(name) + ".device", std::string("profile = vxe720-enclosure\nflash-file = ") + name + ".bin\n");
        writeFlash(std::string(name) + ".bin", FactoryFlash());
    }
    device("a.device", "profile = vxe720-enclosure\nflash-file = a.bin\nsignal-at = 30 HUP\n");
    // As under nohup: the program starts with SIGHUP ignored.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGHUP, &ignore, &previous);
    const int status = CliProcess::Run({"update", "--all", "--yes", "--json", "--bus", dir.string()}, dir / "out.txt",
                                       dir / "err.txt");
    sigaction(SIGHUP, &previous, nullptr);
    EXPECT_EQ(status, 0) << ReadText(dir / "err.txt");
    EXPECT_THAT(ReadText(dir / "out.txt"), HasSubstr("\"updated\":3,\"failed\":0,\"upToDate\":0,\"exitStatus\":0"));
}

// A kill at any command, then a plain update (or one with the kept file):
// the flash ends as a clean update of the original flash leaves it.
TEST_F(WriteGuards, AKillAtAnyCommandIsRecoveredExactly) {
    for (const bool serialPath : {false, true}) {
        const std::string enclosure = std::string(kEnclosure) + (serialPath ? "memory-505e-direct = yes\n" : "");
        device("enclosure.device", enclosure);
        writeFlash("enclosure.bin", FactoryFlash());
        const CliResult clean = runOnBus({"update", "enclosure", "--yes"});
        ASSERT_EQ(clean.status, 0);
        const std::vector<uint8_t> expected = readFlash("enclosure.bin");
        for (size_t at = 0; at < clean.logs.at("enclosure").size(); ++at) {
            SCOPED_TRACE((serialPath ? "serial path, killed before command " : "paged path, killed before command ") +
                         std::to_string(at));
            std::filesystem::remove_all(dir / "state");
            writeFlash("enclosure.bin", FactoryFlash());
            device("enclosure.device", enclosure + "signal-at = " + std::to_string(at) + " KILL\n");
            EXPECT_EQ(CliProcess::Run({"update", "enclosure", "--yes", "--bus", dir.string()}, dir / "out.txt",
                                      dir / "err.txt"),
                      -1);
            device("enclosure.device", enclosure);
            std::vector<std::string> recovery{"update", "enclosure", "--yes"};
            // Every third one names the kept file, as the killed run said it.
            const std::string kept = FieldValue(ReadText(dir / "out.txt"), "old header");
            if (at % 3 == 0 && !kept.empty()) recovery.insert(recovery.end(), {"--header-from", kept});
            const CliResult r = runOnBus(recovery);
            EXPECT_EQ(r.status, 0) << r.out << r.err;
            EXPECT_EQ(readFlash("enclosure.bin"), expected);
        }
    }
}

TEST_F(WriteGuards, AnEnclosureKilledDuringItsVerifyIsListedUntilItsUpdateIsWrittenAgain) {
    device("enclosure.device", kEnclosure);
    writeFlash("enclosure.bin", FactoryFlash());
    const CliResult clean = runOnBus({"update", "enclosure", "--yes"});
    ASSERT_EQ(clean.status, 0);
    const std::vector<uint8_t> expected = readFlash("enclosure.bin");
    std::filesystem::remove_all(dir / "state");

    // Killed before the last read of the verify: the image is all there.
    writeFlash("enclosure.bin", FactoryFlash());
    device("enclosure.device", std::string(kEnclosure) + "signal-at = " +
                                   std::to_string(clean.logs.at("enclosure").size() - 1) + " KILL\n");
    ASSERT_EQ(CliProcess::Run({"update", "enclosure", "--yes", "--bus", dir.string()}, dir / "out.txt", dir / "err.txt"),
              -1);
    device("enclosure.device", kEnclosure);
    EXPECT_THAT(runOnBus({"list"}).out, HasSubstr("0\tenclosure\t"));  // listed, not called current
    const CliResult all = runOnBus({"update", "--all", "--yes"});
    EXPECT_EQ(all.status, 0) << all.out << all.err;
    EXPECT_EQ(readFlash("enclosure.bin"), expected);
    EXPECT_THAT(runOnBus({"list"}).out, HasSubstr("\tcurrent"));
}

TEST_F(WriteGuards, ACutOffUpdateThatMayBeThisEnclosuresStopsAndSaysHow) {
    // An update of the same node, when it named another device, was cut off
    // after its erase: its header is kept and marked unfinished.
    const std::filesystem::path folder = dir / "state" / "vxe-fwupdate";
    std::filesystem::create_directories(folder);
    const std::vector<uint8_t> factory = FactoryFlash();
    std::ofstream(folder / "header-enclosure-20260101T000000Z.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(factory.data()), 128);
    std::ofstream(folder / "header-enclosure-20260101T000000Z.bin.unfinished")
        << "identity=file:/elsewhere/enclosure.device\ndevice=enclosure\n";
    device("enclosure.device", kEnclosure);
    std::vector<uint8_t> erased(0x10000, 0xFF);
    writeFlash("enclosure.bin", erased);
    const CliResult r = runOnBus({"update", "enclosure", "--yes"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("--header-from " + (folder / "header-enclosure-20260101T000000Z.bin").string()));
    EXPECT_EQ(readFlash("enclosure.bin"), erased);
    EXPECT_EQ(WritesIn(r.logs.at("enclosure")), 0u);
}

TEST_F(WriteGuards, AStateFolderThatCannotBeUsedIsNamedWithItsReason) {
    device("enclosure.device", kEnclosure);
    writeFlash("enclosure.bin", FactoryFlash());
    std::ofstream(dir / "not-a-folder") << "x";
    setenv("XDG_STATE_HOME", (dir / "not-a-folder").c_str(), 1);
    const CliResult r = runOnBus({"update", "enclosure", "--yes"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("error:"));
    EXPECT_THAT(r.out, HasSubstr((dir / "not-a-folder" / "vxe-fwupdate").string()));
    EXPECT_EQ(Lines(r.out).back(), "Update    fail!!");
    EXPECT_EQ(readFlash("enclosure.bin"), FactoryFlash());
}

}  // namespace
}  // namespace vxe::test
