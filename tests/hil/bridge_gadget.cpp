// Serves a simulated Corvane bridge as a USB mass-storage device over
// FunctionFS, so that the kernel's own usb-storage driver talks to it.
//
//   bridge_gadget [--ffs DIR] [--profile NAME] [--cdrom] [--flash FILE]
//                 [--disk-blocks N] [--udc-file FILE] [--at KIND#N:ACTION]...
//   bridge_gadget --digest FILE      (prints the digest of a file, for hosts)
//
// It prints the flash digest when it starts, on SIGUSR1 (with the commands
// and vendor writes so far) and again when SIGTERM or SIGINT stops it, so a
// run can tell whether the flash changed, and then how many commands of each
// kind it served and how many of them were vendor writes. Every command goes
// to stderr as one line.
//
// --at makes it act on its own at one command (gadget_triggers.h): pause
// there until SIGUSR2, leave the bus by writing an empty line to the
// configfs UDC file given with --udc-file, or withhold the data phase or the
// status so that the host's command times out. What it did is printed as
// "GADGET-AT KIND#N ACTION" the moment it does it.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "bot_target.h"
#include "functionfs.h"
#include "gadget_profile.h"
#include "gadget_triggers.h"
#include "sim/bridge.h"
#include "sim/clock.h"

namespace {

// A data phase larger than this is refused with a phase error; the kernel's
// limits keep real requests far below it.
constexpr uint32_t kMaxBufferedTransfer = 16u * 1024 * 1024;

// A stalled command waits this long at most for the host to reset the
// interface; the kernel gives up on a command after its timeout (at most
// 100 s for the product's chip erase).
constexpr int kStallLimitSeconds = 150;
// A paused command waits this long at most for the scenario to let it go.
constexpr int kPauseLimitSeconds = 60;

std::atomic<bool> g_stop{false};
std::atomic<bool> g_report{false};
std::atomic<bool> g_resume{false};

void OnStopSignal(int) { g_stop = true; }
void OnReportSignal(int) { g_report = true; }
void OnResumeSignal(int) { g_resume = true; }

struct Options {
    std::string ffs = "/dev/ffs";
    std::string profile = "vxe720";
    bool cdrom = false;
    std::string flashFile;
    uint32_t diskBlocks = 8192;  // 4 MiB
    std::string digestFile;
    std::string udcFile;
    hil::TriggerSet triggers;
};

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--cdrom") {
            options.cdrom = true;
        } else if (arg == "--ffs" && hasValue) {
            options.ffs = argv[++i];
        } else if (arg == "--profile" && hasValue) {
            options.profile = argv[++i];
        } else if (arg == "--flash" && hasValue) {
            options.flashFile = argv[++i];
        } else if (arg == "--disk-blocks" && hasValue) {
            options.diskBlocks = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
        } else if (arg == "--digest" && hasValue) {
            options.digestFile = argv[++i];
        } else if (arg == "--udc-file" && hasValue) {
            options.udcFile = argv[++i];
        } else if (arg == "--at" && hasValue) {
            const std::optional<hil::Trigger> trigger = hil::ParseTrigger(argv[++i]);
            if (!trigger) {
                std::fprintf(stderr, "bridge_gadget: --at wants KIND#N:ACTION, not %s\n", argv[i]);
                return false;
            }
            if (trigger->action == hil::TriggerAction::Pull && options.udcFile.empty()) {
                std::fprintf(stderr, "bridge_gadget: pull needs --udc-file first\n");
                return false;
            }
            options.triggers.add(*trigger);
        } else {
            std::fprintf(stderr, "bridge_gadget: unknown or incomplete option %s\n", arg.c_str());
            return false;
        }
    }
    return true;
}

void PrintFlash(const char* when, const sim::Bridge& bridge) {
    std::printf("GADGET-FLASH %s size=%zu fnv1a64=%016" PRIx64 "\n", when, bridge.flash().size(),
                hil::FlashDigest(bridge.flash()));
    std::fflush(stdout);
}

// Commands served, by kind, and the vendor writes among them.
struct CommandTally {
    std::map<std::string, uint64_t> byKind;
    uint64_t vendorWrites = 0;

    void count(const hil::Cbw& cbw) {
        const std::span<const uint8_t> cdb(cbw.cdb.data(), cbw.cdbLength);
        ++byKind[hil::CommandKind(cdb)];
        if (hil::IsVendorWrite(cdb)) ++vendorWrites;
    }
    void printNow(const sim::Bridge& bridge) const {
        std::printf("GADGET-FLASH now size=%zu fnv1a64=%016" PRIx64 " commands=%" PRIu64 " writes=%" PRIu64 "\n",
                    bridge.flash().size(), hil::FlashDigest(bridge.flash()), bridge.commandCount(), vendorWrites);
        std::fflush(stdout);
    }
    void print() const {
        std::printf("GADGET-KINDS");
        for (const auto& [kind, count] : byKind) std::printf(" %s=%" PRIu64, kind.c_str(), count);
        std::printf("\nGADGET-WRITES %" PRIu64 "\n", vendorWrites);
    }
};

void LogCommand(const hil::Cbw& cbw, const hil::BotResult& result) {
    std::fprintf(stderr, "bridge_gadget: cdb=");
    for (uint8_t i = 0; i < cbw.cdbLength; ++i) std::fprintf(stderr, "%02x", cbw.cdb[i]);
    std::fprintf(stderr, " %s %u status=%u residue=%u\n", cbw.dataIn ? "in" : "out", cbw.dataLength,
                 static_cast<unsigned>(result.status), result.residue);
}

// How much of one command goes back to the host.
enum class Answer { Whole, NoStatus };

// One command: its data phase, the bridge, the status wrapper.
bool Serve(hil::FunctionFsStorage& usb, hil::BotTarget& target, const hil::Cbw& cbw, std::vector<uint8_t>& buffer,
           Answer answer) {
    hil::BotResult result;
    if (cbw.dataLength > kMaxBufferedTransfer) {
        const bool moved = cbw.dataIn ? usb.writeZeros(cbw.dataLength) : usb.discardData(cbw.dataLength);
        if (!moved) return false;
        result = {hil::CswStatus::PhaseError, cbw.dataLength};
    } else {
        buffer.assign(cbw.dataLength, 0);
        if (!cbw.dataIn && !buffer.empty() && !usb.readData(buffer)) return false;
        result = target.execute(cbw, buffer);
        if (cbw.dataIn && !buffer.empty() && !usb.writeData(buffer)) return false;
    }
    LogCommand(cbw, result);
    if (answer == Answer::NoStatus) return true;
    const auto csw = hil::BuildCsw(cbw.tag, result.residue, result.status);
    return usb.writeData(csw);
}

void Announce(const std::string& kind, uint64_t occurrence, hil::TriggerAction action) {
    std::printf("GADGET-AT %s#%" PRIu64 " %s\n", kind.c_str(), occurrence, hil::TriggerActionName(action));
    std::fflush(stdout);
    std::fprintf(stderr, "bridge_gadget: at %s#%" PRIu64 ": %s\n", kind.c_str(), occurrence,
                 hil::TriggerActionName(action));
}

// Waits, bounded, until `done` or a stop; false when the bound ran out.
template <typename Condition>
bool WaitUntil(Condition done, int seconds) {
    for (int tick = 0; tick < seconds * 100; ++tick) {
        if (g_stop || done()) return true;
        ::usleep(10'000);
    }
    return false;
}

// Leaves the bus the way unplugging does: the UDC lets go of the gadget.
bool Unplug(const std::string& udcFile) {
    std::FILE* udc = std::fopen(udcFile.c_str(), "w");
    const bool written = udc != nullptr && std::fputs("\n", udc) >= 0;
    const bool closed = udc != nullptr && std::fclose(udc) == 0;
    if (!written || !closed) std::fprintf(stderr, "bridge_gadget: cannot unbind through %s\n", udcFile.c_str());
    return written && closed;
}

// One command with what the scenario asked for at it; false when the host
// went away during it.
bool ServeWithTriggers(hil::FunctionFsStorage& usb, hil::BotTarget& target, const hil::Cbw& cbw,
                       std::vector<uint8_t>& buffer, Options& options, CommandTally& tally) {
    tally.count(cbw);
    const std::string kind = hil::CommandKind(std::span(cbw.cdb.data(), cbw.cdbLength));
    const std::vector<hil::TriggerAction> actions = options.triggers.onCommand(kind);
    const uint64_t occurrence = tally.byKind[kind];
    Answer answer = Answer::Whole;
    for (hil::TriggerAction action : actions) {
        g_resume = false;  // before the announcement, which the scenario answers
        Announce(kind, occurrence, action);
        switch (action) {
            case hil::TriggerAction::Pause:
                if (!WaitUntil([] { return g_resume.load(); }, kPauseLimitSeconds)) {
                    std::fprintf(stderr, "bridge_gadget: nobody let the paused command go\n");
                }
                break;
            case hil::TriggerAction::Pull:
                Unplug(options.udcFile);
                return true;  // the command goes unanswered, as with a cable pulled
            case hil::TriggerAction::StallData: {
                const uint64_t before = usb.resets();
                if (!WaitUntil([&] { return usb.resets() != before; }, kStallLimitSeconds)) {
                    std::fprintf(stderr, "bridge_gadget: the host never reset the stalled command\n");
                }
                return true;
            }
            case hil::TriggerAction::StallStatus:
                answer = Answer::NoStatus;
                break;
        }
    }
    const uint64_t before = usb.resets();
    const bool served = Serve(usb, target, cbw, buffer, answer);
    if (answer == Answer::NoStatus &&
        !WaitUntil([&] { return usb.resets() != before; }, kStallLimitSeconds)) {
        std::fprintf(stderr, "bridge_gadget: the host never reset the stalled command\n");
    }
    return served;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return 2;

    if (!options.digestFile.empty()) {
        std::vector<uint8_t> bytes;
        if (!ReadFile(options.digestFile, bytes)) {
            std::fprintf(stderr, "bridge_gadget: cannot read %s\n", options.digestFile.c_str());
            return 1;
        }
        std::printf("%016" PRIx64 "\n", hil::FlashDigest(bytes));
        return 0;
    }

    std::optional<sim::DeviceDescription> description = hil::ProfileByName(options.profile, options.cdrom);
    if (!description) {
        std::fprintf(stderr, "bridge_gadget: unknown profile %s\n", options.profile.c_str());
        return 2;
    }
    sim::RealClock clock;
    sim::Bridge bridge(*description, clock);
    if (!options.flashFile.empty()) {
        std::vector<uint8_t> image;
        if (!ReadFile(options.flashFile, image)) {
            std::fprintf(stderr, "bridge_gadget: cannot read %s\n", options.flashFile.c_str());
            return 1;
        }
        bridge.setFlash(0, image);
    }
    hil::BotTarget target(bridge, options.diskBlocks);

    struct sigaction action {};
    action.sa_handler = OnStopSignal;  // no SA_RESTART: blocking endpoint calls return EINTR
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    action.sa_handler = OnReportSignal;
    sigaction(SIGUSR1, &action, nullptr);
    action.sa_handler = OnResumeSignal;
    sigaction(SIGUSR2, &action, nullptr);

    hil::FunctionFsStorage usb(g_stop);
    if (!usb.open(options.ffs)) return 1;
    std::printf("GADGET-READY profile=%s%s\n", description->profileName.c_str(), options.cdrom ? " cdrom" : "");
    PrintFlash("start", bridge);

    std::array<uint8_t, 512> wrapper{};
    std::vector<uint8_t> buffer;
    CommandTally tally;
    while (!g_stop) {
        if (g_report.exchange(false)) tally.printNow(bridge);
        const ssize_t n = usb.readCommand(wrapper, g_report);
        if (n == hil::FunctionFsStorage::kInterrupted) continue;
        if (n < 0) break;
        std::optional<hil::Cbw> cbw = hil::ParseCbw(std::span(wrapper).first(static_cast<size_t>(n)));
        if (!cbw) {
            std::fprintf(stderr, "bridge_gadget: ignoring a malformed command wrapper of %zd bytes\n", n);
            continue;
        }
        if (!ServeWithTriggers(usb, target, *cbw, buffer, options, tally) && !g_stop) {
            std::fprintf(stderr, "bridge_gadget: host went away during a command\n");
        }
    }
    PrintFlash("stop", bridge);
    std::printf("GADGET-COMMANDS %" PRIu64 "\n", bridge.commandCount());
    tally.print();
    return 0;
}
