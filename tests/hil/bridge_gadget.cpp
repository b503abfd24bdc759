// Serves a simulated Corvane bridge as a USB mass-storage device over
// FunctionFS, so that the kernel's own usb-storage driver talks to it.
//
//   bridge_gadget [--ffs DIR] [--profile NAME] [--cdrom] [--flash FILE]
//                 [--disk-blocks N]
//   bridge_gadget --digest FILE      (prints the digest of a file, for hosts)
//
// It prints the flash digest when it starts and again when SIGTERM or SIGINT
// stops it, so a run can tell whether the flash changed, and then how many
// commands of each kind it served and how many of them were vendor writes.
// Every command goes to stderr as one line.
#include <signal.h>

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
#include "sim/bridge.h"
#include "sim/clock.h"

namespace {

// A data phase larger than this is refused with a phase error; the kernel's
// limits keep real requests far below it.
constexpr uint32_t kMaxBufferedTransfer = 16u * 1024 * 1024;

std::atomic<bool> g_stop{false};

void OnStopSignal(int) { g_stop = true; }

struct Options {
    std::string ffs = "/dev/ffs";
    std::string profile = "vxe720";
    bool cdrom = false;
    std::string flashFile;
    uint32_t diskBlocks = 8192;  // 4 MiB
    std::string digestFile;
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

// One command: its data phase, the bridge, the status wrapper.
bool Serve(hil::FunctionFsStorage& usb, hil::BotTarget& target, const hil::Cbw& cbw, std::vector<uint8_t>& buffer,
           CommandTally& tally) {
    tally.count(cbw);
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
    const auto csw = hil::BuildCsw(cbw.tag, result.residue, result.status);
    return usb.writeData(csw);
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

    hil::FunctionFsStorage usb(g_stop);
    if (!usb.open(options.ffs)) return 1;
    std::printf("GADGET-READY profile=%s%s\n", description->profileName.c_str(), options.cdrom ? " cdrom" : "");
    PrintFlash("start", bridge);

    std::array<uint8_t, 512> wrapper{};
    std::vector<uint8_t> buffer;
    CommandTally tally;
    while (!g_stop) {
        const ssize_t n = usb.readCommand(wrapper);
        if (n < 0) break;
        std::optional<hil::Cbw> cbw = hil::ParseCbw(std::span(wrapper).first(static_cast<size_t>(n)));
        if (!cbw) {
            std::fprintf(stderr, "bridge_gadget: ignoring a malformed command wrapper of %zd bytes\n", n);
            continue;
        }
        if (!Serve(usb, target, *cbw, buffer, tally) && !g_stop) {
            std::fprintf(stderr, "bridge_gadget: host went away during a command\n");
        }
    }
    PrintFlash("stop", bridge);
    std::printf("GADGET-COMMANDS %" PRIu64 "\n", bridge.commandCount());
    tally.print();
    return 0;
}
