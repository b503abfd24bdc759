#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "chip/chip_identification.h"
#include "driver_commands.h"
#include "hil_checks.h"
#include "platform/linux_platform.h"
#include "platform/udev_monitor.h"
#include "product_sequence.h"

namespace hil {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kNoticeDeadline = std::chrono::seconds(10);

bool WriteLine(const std::string& file, const std::string& text) {
    std::ofstream out(file);
    out << text << '\n';
    out.flush();
    return static_cast<bool>(out);
}

std::string ReadLine(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::vector<std::string> Disks(vxe::Platform& platform) { return platform.enumerateInterfaces(vxe::InterfaceClass::Disk); }

struct Watch {
    bool noticed = false;      // a notice of the wanted kind came
    bool settled = false;      // a refresh after one of them saw the wanted device list
    std::vector<uint32_t> all; // every notice, in order
    long long ms = 0;
};

// Waits for notices as the window does (poll the descriptor, drain, refresh
// on each batch) until a refresh after a `wanted` notice sees `diskCount` disks.
Watch WatchFor(vxe::UdevMonitor& monitor, vxe::Platform& platform, uint32_t wanted, size_t diskCount) {
    Watch watch;
    const auto started = Clock::now();
    while (!watch.settled) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(kNoticeDeadline - (Clock::now() - started));
        if (left.count() <= 0) break;
        pollfd p{monitor.fd(), POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 200)));
        if (ready > 0) {
            const std::vector<uint32_t> notices = monitor.drain();
            watch.all.insert(watch.all.end(), notices.begin(), notices.end());
            watch.noticed = watch.noticed || std::count(notices.begin(), notices.end(), wanted) > 0;
        }
        // The sg node follows its USB device by a moment, so later notices
        // (or this pause) give the refresh its chance.
        if (watch.noticed) watch.settled = Disks(platform).size() == diskCount;
    }
    watch.ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
    return watch;
}

std::string Describe(const Watch& watch) {
    size_t arrivals = std::count(watch.all.begin(), watch.all.end(), vxe::kDeviceArrival);
    size_t removals = std::count(watch.all.begin(), watch.all.end(), vxe::kDeviceRemoveComplete);
    return std::to_string(arrivals) + " arrival and " + std::to_string(removals) + " removal notices, " +
           std::to_string(watch.ms) + " ms";
}

}  // namespace

int HotplugChecks(const std::string& udcFile) {
    Checks checks;
    vxe::LinuxPlatform platform;
    vxe::ScopedPlatform installed(platform);
    const std::string udc = ReadLine(udcFile);
    if (!checks.check("gadget-bound", !udc.empty() && Disks(platform).size() == 1, "UDC " + udc)) return 1;

    // Without udevd (no /run/udev/control) the monitor listens to the kernel's own events.
    const bool udevd = ::access("/run/udev/control", F_OK) == 0;
    std::unique_ptr<vxe::UdevMonitor> monitor = vxe::UdevMonitor::Open();
    if (!checks.check("monitor-open", monitor != nullptr, udevd ? "origin udev" : "origin kernel (no udevd)")) return 1;

    if (!checks.check("unbind", WriteLine(udcFile, ""))) return 1;
    const Watch removal = WatchFor(*monitor, platform, vxe::kDeviceRemoveComplete, 0);
    checks.check("removal-notice", removal.noticed && removal.settled, Describe(removal));

    if (!checks.check("bind", WriteLine(udcFile, udc))) return 1;
    const Watch arrival = WatchFor(*monitor, platform, vxe::kDeviceArrival, 1);
    checks.check("arrival-notice", arrival.noticed && arrival.settled, Describe(arrival));

    const std::vector<std::string> disks = Disks(platform);
    const uint16_t chip = disks.size() == 1 ? vxe::IdentifyChip(disks[0].c_str()) : 0;
    checks.check("identify-after-replug", vxe::ChipFamilyOf(chip) == 10,
                 "family " + std::to_string(vxe::ChipFamilyOf(chip)));
    return checks.exitCode();
}

}  // namespace hil
