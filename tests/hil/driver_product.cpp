#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

#include "chip/chip_identification.h"
#include "driver_commands.h"
#include "hil_checks.h"
#include "platform/linux_platform.h"
#include "platform/tracing_platform.h"
#include "product_sequence.h"

namespace hil {
namespace {

std::string FirstLine(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The reference line without its flash digest, which only the gadget knows.
std::string WithoutFlash(const std::string& line) { return line.substr(0, line.find(" flash=")); }

bool IsCharacterDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// Every traced command went to `node`; `count` receives how many there were.
bool AllCommandsTo(const std::string& trace, const std::string& node, size_t& count) {
    std::istringstream lines(trace);
    bool onlyThere = true;
    count = 0;
    for (std::string line; std::getline(lines, line);) {
        ++count;
        const size_t at = line.rfind(" path=");
        onlyThere = onlyThere && at != std::string::npos && line.substr(at + 6) == node;
    }
    return onlyThere;
}

}  // namespace

int ProductChecks(const std::string& referenceFile, int expectedFamily) {
    Checks checks;
    vxe::LinuxPlatform linuxPlatform;
    std::ostringstream trace;
    vxe::TracingPlatform tracing(linuxPlatform, trace);
    vxe::ScopedPlatform installed(tracing);

    const auto started = std::chrono::steady_clock::now();
    const ProductRun run = RunProductSequence();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();

    std::string listed = "disks:";
    for (const auto& p : run.disks) listed += " " + p;
    listed += " cdroms: " + std::to_string(run.cdroms.size());
    const bool found = run.disks.size() == 1 && run.cdroms.empty() && run.disks[0].rfind("/dev/sg", 0) == 0 &&
                       IsCharacterDevice(run.disks[0]);
    if (!checks.check("product-enumeration", found, listed)) return 1;
    const std::string& node = run.disks[0];

    std::printf("HIL-RUN %s status=\"%s\" commands=%llu time=%lldms\n", Summary(run).c_str(), run.status.c_str(),
                static_cast<unsigned long long>(tracing.commandsTraced()), static_cast<long long>(ms));
    checks.check("identify", vxe::ChipFamilyOf(run.chipId) == expectedFamily,
                 "family " + std::to_string(vxe::ChipFamilyOf(run.chipId)) + ", expected " +
                     std::to_string(expectedFamily));
    checks.check("firmware-not-current-before", !run.currentBefore);
    const std::string reference = FirstLine(referenceFile);
    checks.check("same-as-simulated-run", !reference.empty() && Summary(run) == WithoutFlash(reference),
                 "guest: " + Summary(run) + "; host: " + reference);
    size_t commands = 0;
    const bool onlyToTheGadget = AllCommandsTo(trace.str(), node, commands);
    checks.check("commands-only-to-the-gadget", onlyToTheGadget && commands > 0,
                 std::to_string(commands) + " commands, all to " + node);
    return checks.exitCode();
}

}  // namespace hil
