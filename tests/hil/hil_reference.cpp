// The host's half of the rig: what a guest run must come to, computed by
// running the same product sequence over the simulated bus, so that a scenario
// can compare the real kernel's result with the simulated one.
//
//   hil_reference start-flash FILE
//       writes the flash an enclosure starts with
//   hil_reference oneclick --profile NAME --flash FILE
//       prints "chip=.. current-before=.. update=.. current-after=.. flash=DIGEST"
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gadget_profile.h"
#include "sim/simulated_platform.h"
#include "product_sequence.h"
#include "sim/bus.h"
#include "sim/clock.h"

namespace {

int WriteStartingFlash(const std::string& file) {
    const std::vector<uint8_t> flash = hil::StartingFlash();
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(flash.data()), static_cast<std::streamsize>(flash.size()));
    if (!out) {
        std::fprintf(stderr, "hil_reference: cannot write %s\n", file.c_str());
        return 1;
    }
    return 0;
}

int OneClick(const std::string& profile, const std::string& flashFile) {
    std::optional<sim::DeviceDescription> description = hil::ProfileByName(profile);
    if (!description) {
        std::fprintf(stderr, "hil_reference: unknown profile %s\n", profile.c_str());
        return 2;
    }
    std::ifstream in(flashFile, std::ios::binary);
    const std::vector<uint8_t> start{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!flashFile.empty() && start.empty()) {
        std::fprintf(stderr, "hil_reference: cannot read %s\n", flashFile.c_str());
        return 1;
    }

    sim::FakeClock clock;
    sim::Bus bus(clock);
    vxe::SimulatedPlatform platform(bus);
    vxe::ScopedPlatform installed(platform);
    sim::Bridge& bridge = bus.add("/dev/sg0", sim::InterfaceClass::Disk, *description);
    bridge.setFlash(0, start);

    const hil::ProductRun run = hil::RunProductSequence();
    std::printf("%s flash=%016" PRIx64 "\n", hil::Summary(run).c_str(), hil::FlashDigest(bridge.flash()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "start-flash") return WriteStartingFlash(args[1]);
    if (!args.empty() && args[0] == "oneclick") {
        std::string profile = "vxe720", flash;
        for (size_t i = 1; i + 1 < args.size(); i += 2) {
            if (args[i] == "--profile") profile = args[i + 1];
            else if (args[i] == "--flash") flash = args[i + 1];
            else return std::fprintf(stderr, "hil_reference: unknown option %s\n", args[i].c_str()), 2;
        }
        if (args.size() % 2 == 0) return std::fprintf(stderr, "hil_reference: option without value\n"), 2;
        return OneClick(profile, flash);
    }
    std::fprintf(stderr, "usage: hil_reference start-flash FILE | oneclick --profile NAME --flash FILE\n");
    return 2;
}
