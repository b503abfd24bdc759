// The write guards swept through the built fwupdate-cli, each run its own
// process over simulated devices described by files: every signal that would
// end the program at every command, a hand-over of the node at every
// command, and a kill at every command followed by the recovery. One line of
// figures per case; exits non-zero when any run broke a promise.
//
//   guard_sweep PATH-TO-FWUPDATE-CLI [--only TEXT]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string g_cli;
fs::path g_dir;

std::vector<uint8_t> Factory() {
    std::vector<uint8_t> flash(0x10000);
    for (size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>(i * 7 + 3);
    flash[0x7E] = 'C';
    flash[0x7F] = 'V';
    return flash;
}

std::vector<uint8_t> Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Text(const fs::path& file) {
    const std::vector<uint8_t> bytes = Read(file);
    return {bytes.begin(), bytes.end()};
}

void Write(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Run {
    int status = -1;  // -1: ended by a signal
    std::string out;
    std::string err;
};

Run Cli(std::vector<std::string> args) {
    args.insert(args.begin(), g_cli);
    args.insert(args.end(), {"--bus", (g_dir / "bus").string()});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const fs::path out = g_dir / "out.txt", err = g_dir / "err.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    Run run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = Text(out);
    run.err = Text(err);
    return run;
}

size_t JsonObjects(const std::string& out) {
    size_t objects = 0;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) objects += !line.empty() && line.front() == '{';
    return objects;
}

// The status of the object's last "error" member (the document's own comes
// after those of the devices in it).
int ErrorStatus(const std::string& out) {
    static const std::regex status(R"("error":\{"message":"(?:[^"\\]|\\.)*","status":(\d+)\})");
    int last = 0;
    for (std::sregex_iterator it(out.begin(), out.end(), status), end; it != end; ++it) last = std::stoi((*it)[1]);
    return last;
}

// A bus of enclosures, each with the factory flash.
void Bus(const std::vector<std::string>& names, const std::string& shared, const std::string& first = "") {
    fs::remove_all(g_dir / "bus");
    fs::remove_all(g_dir / "state");
    fs::create_directories(g_dir / "bus" / "images");
    for (size_t i = 0; i < names.size(); ++i) {
        std::ofstream(g_dir / "bus" / (names[i] + ".device"))
            << shared << "flash-file = " << names[i] << ".bin\n" << (i == 0 ? first : "");
        Write(g_dir / "bus" / (names[i] + ".bin"), Factory());
    }
}

size_t TraceLines(const fs::path& trace, const std::string& device) {
    std::istringstream in(Text(trace));
    size_t lines = 0;
    for (std::string line; std::getline(in, line);) lines += line.ends_with(" path=" + device);
    return lines;
}

struct Case {
    std::string name;
    std::vector<std::string> devices;  // the first is the one interrupted or handed over
    std::string description;           // the shared description lines
    std::vector<std::string> args;
    bool engine = false;               // run: the engine images beside the files
};

struct Figures {
    size_t commands = 0, runs = 0, untouched = 0, complete = 0, broken = 0, reportsWrong = 0;
};

void PrepareImages(const Case& c) {
    if (!c.engine) return;
    for (const char* name : {"FW849", "FW652A", "FW652B"}) {
        fs::copy_file(fs::path(VXE_SOURCE_DIR) / "tests/engine-images" / (std::string(name) + ".bin"),
                      g_dir / "bus/images" / (std::string(name) + ".bin"), fs::copy_options::overwrite_existing);
    }
}

// What every device's flash is after the clean run, and how many commands
// the first device gets.
std::vector<std::vector<uint8_t>> Clean(const Case& c, size_t& commands) {
    Bus(c.devices, c.description);
    PrepareImages(c);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--trace", (g_dir / "clean.trace").string()});
    const Run run = Cli(args);
    if (run.status != 0) std::fprintf(stderr, "%s: the clean run failed: %s\n", c.name.c_str(), run.err.c_str());
    commands = TraceLines(g_dir / "clean.trace", c.devices.front());
    std::vector<std::vector<uint8_t>> flashes;
    for (const std::string& d : c.devices) flashes.push_back(Read(g_dir / "bus" / (d + ".bin")));
    return flashes;
}

Figures SweepSignals(const Case& c, const std::vector<std::string>& signals) {
    Figures f;
    const std::vector<std::vector<uint8_t>> clean = Clean(c, f.commands);
    for (const std::string& signal : signals) {
        for (size_t at = 0; at < f.commands; ++at) {
            Bus(c.devices, c.description, "signal-at = " + std::to_string(at) + " " + signal + "\n");
            PrepareImages(c);
            std::vector<std::string> args = c.args;
            args.push_back("--json");
            const Run run = Cli(args);
            ++f.runs;
            bool allUntouched = true, allKnown = true;
            for (size_t i = 0; i < c.devices.size(); ++i) {
                const std::vector<uint8_t> flash = Read(g_dir / "bus" / (c.devices[i] + ".bin"));
                allUntouched = allUntouched && flash == Factory();
                allKnown = allKnown && (flash == Factory() || flash == clean[i]);
            }
            if (!allKnown) {
                ++f.broken;
                std::printf("  %s: %s before command %zu left a flash half-written\n", c.name.c_str(), signal.c_str(), at);
            } else if (allUntouched) {
                ++f.untouched;
            } else {
                ++f.complete;
            }
            if (JsonObjects(run.out) != 1 || run.status < 128 || ErrorStatus(run.out) != run.status) {
                ++f.reportsWrong;
                std::printf("  %s: %s before command %zu: exit %d, %zu objects, error status %d\n", c.name.c_str(),
                            signal.c_str(), at, run.status, JsonObjects(run.out), ErrorStatus(run.out));
            }
        }
    }
    return f;
}

// The node changes hands after N commands: not one command that writes may
// reach it after that, and the run must not claim success.
Figures SweepHandOver(const Case& c) {
    Figures f;
    Clean(c, f.commands);
    for (size_t after = 1; after < f.commands; ++after) {
        Bus(c.devices, c.description, "given-away-after = " + std::to_string(after) + "\n");
        PrepareImages(c);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--trace", (g_dir / "run.trace").string()});
        const Run run = Cli(args);
        ++f.runs;
        std::istringstream in(Text(g_dir / "run.trace"));
        size_t index = 0, written = 0;
        for (std::string line; std::getline(in, line);) {
            if (!line.ends_with(" path=" + c.devices.front())) continue;
            if (index++ >= after && line.find(" out ") != std::string::npos) ++written;
        }
        if (written > 0 || run.status == 0) {
            ++f.broken;
            std::printf("  %s: given away after %zu: %zu writes reached the other device, exit %d\n", c.name.c_str(),
                        after, written, run.status);
        } else {
            ++f.untouched;
        }
    }
    return f;
}

// Killed before each command, then a plain update: the flash must end as
// the clean update of the original flash left it.
Figures SweepKill(const Case& c) {
    Figures f;
    const std::vector<std::vector<uint8_t>> clean = Clean(c, f.commands);
    for (size_t at = 0; at < f.commands; ++at) {
        Bus(c.devices, c.description, "signal-at = " + std::to_string(at) + " KILL\n");
        Cli(c.args);
        std::ofstream(g_dir / "bus" / (c.devices.front() + ".device"))
            << c.description << "flash-file = " << c.devices.front() << ".bin\n";
        const Run recovery = Cli(c.args);
        ++f.runs;
        if (Read(g_dir / "bus" / (c.devices.front() + ".bin")) != clean.front() ||
            (recovery.status != 0 && recovery.status != 4)) {
            ++f.broken;
            std::printf("  %s: killed before command %zu: recovery exit %d, flash %s\n", c.name.c_str(), at,
                        recovery.status,
                        Read(g_dir / "bus" / (c.devices.front() + ".bin")) == clean.front() ? "clean" : "wrong");
        } else {
            ++f.complete;
        }
    }
    return f;
}

void Row(const std::string& sweep, const Case& c, const Figures& f, double seconds) {
    std::printf("| %s | %s | %zu | %zu | %zu | %zu | %zu | %zu | %.0f |\n", sweep.c_str(), c.name.c_str(), f.commands,
                f.runs, f.untouched, f.complete, f.broken, f.reportsWrong, seconds);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PATH-TO-FWUPDATE-CLI [--only TEXT]\n", argv[0]);
        return 2;
    }
    g_cli = fs::absolute(argv[1]).string();
    const std::string only = argc > 3 && std::strcmp(argv[2], "--only") == 0 ? argv[3] : "";
    g_dir = fs::temp_directory_path() / ("guard_sweep-" + std::to_string(::getpid()));
    fs::create_directories(g_dir);
    setenv("XDG_STATE_HOME", (g_dir / "state").c_str(), 1);

    const std::string paged = "profile = vxe720-enclosure\n";
    const std::string serial = "profile = vxe720-enclosure\nmemory-505e-direct = yes\n";
    const std::string family7 = "profile = family\nfamily = 7\n";
    const std::string family7File = (fs::path(VXE_SOURCE_DIR) / "tests/engine-images/fits-family-7.bin").string();
    const std::vector<std::string> signals = {
        "HUP", "INT",  "QUIT", "ILL",  "TRAP",   "ABRT", "BUS",    "FPE",  "USR1", "SEGV",  "USR2",  "PIPE",
        "ALRM", "TERM", "STKFLT", "XCPU", "XFSZ", "VTALRM", "PROF", "IO", "PWR",  "SYS", "RTMIN", "RTMAX"};

    const std::vector<Case> signalCases = {
        {"update, paged path", {"e"}, paged, {"update", "e", "--yes"}},
        {"update, serial path", {"e"}, serial, {"update", "e", "--yes"}},
        {"run, family 7", {"b"}, family7, {"run", "b", "--firmware", family7File}, true},
        {"update --all --jobs 4, three enclosures", {"a", "b", "c"}, paged, {"update", "--all", "--yes", "--jobs", "4"}},
    };
    const std::vector<Case> handOverCases = {
        {"update DEVICE", {"e", "f"}, paged, {"update", "e", "--yes"}},
        {"update 0", {"e", "f"}, paged, {"update", "0", "--yes"}},
        {"update --all --jobs 1", {"e", "f"}, paged, {"update", "--all", "--yes", "--jobs", "1"}},
        {"update --all --jobs 4", {"e", "f"}, paged, {"update", "--all", "--yes", "--jobs", "4"}},
        {"run, family 7", {"b"}, family7, {"run", "b", "--firmware", family7File}, true},
    };
    const std::vector<Case> killCases = {
        {"update, paged path", {"e"}, paged, {"update", "e", "--yes"}},
        {"update, serial path", {"e"}, serial, {"update", "e", "--yes"}},
    };

    std::printf("| sweep | case | commands | runs | untouched | complete | broken | reports wrong | seconds |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|\n");
    size_t broken = 0;
    const auto timed = [&](const std::string& sweep, const Case& c, auto&& sweepIt) {
        if (!only.empty() && (sweep + " " + c.name).find(only) == std::string::npos) return;
        const auto start = std::chrono::steady_clock::now();
        const Figures f = sweepIt(c);
        Row(sweep, c, f, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        broken += f.broken + f.reportsWrong;
    };
    for (const Case& c : signalCases) timed("every signal", c, [&](const Case& x) { return SweepSignals(x, signals); });
    for (const Case& c : handOverCases) timed("hand-over", c, SweepHandOver);
    for (const Case& c : killCases) timed("SIGKILL, then update", c, SweepKill);
    fs::remove_all(g_dir);
    return broken == 0 ? 0 : 1;
}
