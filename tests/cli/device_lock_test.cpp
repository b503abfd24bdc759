// One lock per device, seen from the command line: whatever names the device
// and whoever runs the second procedure, a device another procedure holds is
// sent nothing, and a procedure works on the flash as it is when it takes
// the device, not as the program found it at its start.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef __linux__
#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <streambuf>

#include "app/write_guard.h"
#include "cli/output.h"
#include "platform/platform.h"
#include "sim/device_files.h"
#include "sim/simulated_platform.h"
#include "tests/cli/cli_fixture.h"

namespace vxe::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr const char* kEnclosure = "profile = vxe720-enclosure\nflash-file = enclosure.bin\n";

std::vector<uint8_t> FactoryFlash(uint8_t seed) {
    std::vector<uint8_t> flash(0x10000);
    for (size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>(i * 7 + seed);
    flash[0x7E] = 'C';
    flash[0x7F] = 'V';
    return flash;
}

// A procedure of another program on one device of a bus folder: its own
// view of the same description files, and the device's lock taken as any
// run of the utility takes it.
class OtherProcedure {
public:
    OtherProcedure(const fs::path& busDirectory, const std::string& device) {
        sim::AddDevicesToBus(bus_, sim::LoadDeviceDirectory(busDirectory.string()));
        const ScopedPlatform installed(platform_);
        lock_ = LockDevice(device.c_str());
    }
    const DeviceLock& lock() const { return lock_; }

private:
    sim::FakeClock clock_;
    sim::Bus bus_{clock_};
    SimulatedPlatform platform_{bus_};
    DeviceLock lock_;
};

// Reading the answer first runs `beforeAnswer`: what happens while the
// user looks at the question.
class AnswerAfter : public std::streambuf {
public:
    AnswerAfter(std::string answer, std::function<void()> beforeAnswer)
        : answer_(std::move(answer)), beforeAnswer_(std::move(beforeAnswer)) {}

protected:
    int_type underflow() override {
        if (beforeAnswer_) std::exchange(beforeAnswer_, nullptr)();
        if (gptr() == nullptr) setg(answer_.data(), answer_.data(), answer_.data() + answer_.size());
        return gptr() < egptr() ? traits_type::to_int_type(*gptr()) : traits_type::eof();
    }

private:
    std::string answer_;
    std::function<void()> beforeAnswer_;
};

// `"key":"value"` as the JSON output writes it.
std::string JsonMember(std::string_view key, std::string_view value) {
    const std::string object = cli::JsonObject().addString(key, value).str();
    return object.substr(1, object.size() - 2);
}

using DeviceLocks = CliTest;

TEST_F(DeviceLocks, EveryNameOfADeviceMeetsTheSameLock) {
    device("enclosure.device", kEnclosure);
    writeFlash("enclosure.bin", FactoryFlash(3));
    // The folder through a link, and the description through a link from another folder.
    std::error_code noLinks;
    fs::create_directory_symlink(dir, dir / "link", noLinks);
    if (noLinks) GTEST_SKIP() << "no links here: " << noLinks.message();
    fs::create_directories(dir / "named");
    fs::create_symlink(dir / "enclosure.device", dir / "named" / "enclosure.device");

    const OtherProcedure other(dir, "enclosure");
    ASSERT_TRUE(other.lock().held()) << other.lock().problem();
    for (const fs::path& bus : {dir / "link", dir / "named", dir / "named" / ".." / "link"}) {
        SCOPED_TRACE(bus.string());
        CliResult r = run({"update", "enclosure", "--yes", "--bus", bus.string()});
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.err, HasSubstr("another procedure is working on enclosure (lock " + other.lock().name() +
                                     "); nothing was sent"));
        EXPECT_TRUE(r.logs["enclosure"].empty());
    }
    EXPECT_EQ(readFlash("enclosure.bin"), FactoryFlash(3));
}

#ifdef __linux__
// A socket of the lock's name that some other program bound: the device is
// taken, and the refusal names the lock; nothing falls back to a lock of
// its own elsewhere.
TEST_F(DeviceLocks, ALockNameHeldByAnyoneElseIsARefusalThatNamesIt) {
    device("enclosure.device", kEnclosure);
    writeFlash("enclosure.bin", FactoryFlash(3));
    std::string name;
    {
        const OtherProcedure other(dir, "enclosure");
        name = other.lock().name();
    }
    ASSERT_EQ(name.rfind("@vxe-fwupdate/", 0), 0u) << name;
    const int planted = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::copy(name.begin() + 1, name.end(), address.sun_path + 1);
    ASSERT_EQ(::bind(planted, reinterpret_cast<const sockaddr*>(&address),
                     static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size())),
              0);
    CliResult r = runOnBus({"update", "enclosure", "--yes", "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("(lock " + name + "); nothing was sent"));
    EXPECT_TRUE(r.logs["enclosure"].empty());
    ::close(planted);
    EXPECT_EQ(runOnBus({"update", "enclosure", "--yes"}).status, 0);
}

// A second run as its own process, as another user would start it: another
// umask, another state folder or none, the holder's state folder removed,
// and (when the tests may) another user altogether.
TEST_F(DeviceLocks, WhoeverRunsTheSecondProcedureMeetsTheLock) {
    device("enclosure.device", kEnclosure);
    writeFlash("enclosure.bin", FactoryFlash(3));
    fs::create_directories(dir / "holder-state");
    const mode_t umaskBefore = ::umask(077);
    setenv("XDG_STATE_HOME", (dir / "holder-state").c_str(), 1);
    std::optional<OtherProcedure> other(std::in_place, dir, "enclosure");
    ::umask(umaskBefore);
    setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
    ASSERT_TRUE(other->lock().held());
    fs::remove_all(dir / "holder-state");

    struct Runner {
        const char* who;
        std::vector<std::string> environment;  // replaces HOME and XDG_STATE_HOME
        uid_t uid;
    };
    std::vector<Runner> runners{
        {"umask 077, another state folder", {"XDG_STATE_HOME=" + (dir / "mine").string()}, 0},
        {"no HOME, no state folder", {}, 0},
        {"the holder's state folder, removed", {"XDG_STATE_HOME=" + (dir / "holder-state").string()}, 0},
    };
    if (::geteuid() == 0) runners.push_back({"user nobody", {"HOME=/nonexistent"}, 65534});
    else std::cout << "not root: the run as another user is left out\n";
    for (const Runner& runner : runners) {
        SCOPED_TRACE(runner.who);
        std::vector<std::string> args{VXE_CLI_BINARY, "update", "enclosure", "--yes", "--bus", dir.string()};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> environment = runner.environment;
        environment.push_back("PATH=/usr/bin:/bin");
        std::vector<char*> envp;
        for (std::string& e : environment) envp.push_back(e.data());
        envp.push_back(nullptr);
        const fs::path output = dir / "second.out";
        const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        ASSERT_GE(fd, 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::umask(077);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            if (runner.uid != 0 && (::setgroups(0, nullptr) != 0 || ::setgid(runner.uid) != 0 || ::setuid(runner.uid) != 0)) {
                ::_exit(100);
            }
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(101);
        }
        ::close(fd);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const std::vector<uint8_t> said = ReadFile(output);
        EXPECT_EQ(WEXITSTATUS(status), 1) << std::string(said.begin(), said.end());
        EXPECT_THAT(std::string(said.begin(), said.end()),
                    HasSubstr("another procedure is working on enclosure (lock " + other->lock().name() +
                              "); nothing was sent"));
    }
    EXPECT_EQ(readFlash("enclosure.bin"), FactoryFlash(3));
    other.reset();  // gone with its holder: nothing stale is left behind
    EXPECT_EQ(runOnBus({"update", "enclosure", "--yes"}).status, 0);
}
#endif

// The device pass talks to a device only under its lock: a device another
// procedure holds is passed over, shown as busy, and sent nothing; an index
// it may have moved is refused.
TEST_F(DeviceLocks, TheDevicePassSendsNothingToADeviceAnotherProcedureHolds) {
    device("a-held.device", "profile = vxe720-enclosure\nflash-file = a.bin\n");
    device("b-free.device", "profile = vxe720-enclosure\nflash-file = b.bin\n");
    writeFlash("a.bin", FactoryFlash(3));
    writeFlash("b.bin", FactoryFlash(5));
    const OtherProcedure other(dir, "a-held");
    const std::string busy = "another procedure is working on a-held (lock " + other.lock().name() + "); nothing was sent";

    CliResult list = runOnBus({"list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(Lines(list.out), (std::vector<std::string>{"0\tb-free\t<<USB>> Corvane VXE720 SATA Brdg\tneeds-update",
                                                         "-\ta-held\t-\tbusy\t" + cli::Printable(busy), "candidates: 2",
                                                         "Click 'Yes' to proceed with the firmware update"}));
    EXPECT_TRUE(list.logs["a-held"].empty());
    CliResult json = runOnBus({"list", "--json"});
    EXPECT_THAT(json.out, HasSubstr("{\"index\":null,\"path\":\"a-held\",\"name\":\"\",\"detachAtExit\":false,"
                                    "\"needsUpdate\":null,\"busy\":true," + JsonMember("reason", busy) + "}"));

    // Index 0 was a-held before it was taken.
    CliResult byIndex = runOnBus({"update", "0", "--yes"});
    EXPECT_EQ(byIndex.status, 1);
    EXPECT_THAT(byIndex.err, HasSubstr("a-held is busy (another procedure is working on it) and passed over, so "
                                       "device 0 may not be the one the list showed"));
    EXPECT_THAT(byIndex.err, HasSubstr("to the 1 other device, nothing to a-held"));
    EXPECT_TRUE(byIndex.logs["a-held"].empty());
    EXPECT_EQ(WritesIn(byIndex.logs["b-free"]), 0u);

    CliResult info = runOnBus({"info", "a-held"});
    EXPECT_EQ(info.status, 1);
    EXPECT_THAT(info.err, HasSubstr(busy));
    EXPECT_TRUE(info.logs["a-held"].empty());

    // Every other enclosure is updated; the held one is not, so the run is no success.
    CliResult all = runOnBus({"update", "--all", "--yes", "--json"});
    EXPECT_EQ(all.status, 1);
    EXPECT_THAT(all.out, HasSubstr("\"device\":\"b-free\""));
    EXPECT_THAT(all.out, HasSubstr("\"state\":\"updated\""));
    EXPECT_THAT(all.out, HasSubstr("\"device\":\"a-held\""));
    EXPECT_THAT(all.out, HasSubstr("\"busy\":true,\"error\":{" + JsonMember("message", busy) + ",\"status\":1}"));
    EXPECT_THAT(all.out, HasSubstr("\"updated\":1,\"failed\":1,\"upToDate\":0,\"exitStatus\":1"));
    EXPECT_TRUE(all.logs["a-held"].empty());
    EXPECT_EQ(readFlash("a.bin"), FactoryFlash(3));
}

// The detach at the end takes the device's lock too: the run's own update
// has let it go by then, so its CD-ROM enclosure is detached as the window's
// end would.
TEST_F(DeviceLocks, AnUpdateByIndexDetachesItsDeviceAfterLettingItGo) {
    device("enclosure.device", std::string(kEnclosure) + "class = cdrom\n");
    writeFlash("enclosure.bin", FactoryFlash(3));
    CliResult r = runOnBus({"update", "0", "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.counters["enclosure"].hostAttach, 2u);
    EXPECT_EQ(r.counters["enclosure"].hostDetach, 1u);
}

// While the user looks at the question, another program updates the
// enclosure to the end. The flash this run then takes is that update's, not
// the copy the device pass read.
TEST_F(DeviceLocks, AProcedureTakesTheFlashAsItIsWhenItTakesTheDevice) {
    fs::create_directories(dir / "twin");
    std::ofstream(dir / "twin" / "enclosure.device") << kEnclosure;
    std::ofstream(dir / "twin" / "enclosure.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(FactoryFlash(9).data()), 0x10000);
    ASSERT_EQ(run({"update", "enclosure", "--yes", "--bus", (dir / "twin").string()}).status, 0);
    const std::vector<uint8_t> othersResult = ReadFile(dir / "twin" / "enclosure.bin");

    device("enclosure.device", kEnclosure);
    for (const char* jobs : {"1", "4"}) {
        SCOPED_TRACE(jobs);
        writeFlash("enclosure.bin", FactoryFlash(3));
        AnswerAfter answer("y\n", [&] { writeFlash("enclosure.bin", othersResult); });
        std::istream input(&answer);
        CliResult r = run({"update", "--all", "--jobs", jobs, "--bus", dir.string()}, input);
        EXPECT_EQ(r.status, 4) << r.out << r.err;  // current by then: nothing to write
        EXPECT_EQ(WritesIn(r.logs["enclosure"]), 0u);
        EXPECT_EQ(readFlash("enclosure.bin"), othersResult);
    }
}

}  // namespace
}  // namespace vxe::test
