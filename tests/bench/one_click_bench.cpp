#include "tests/bench/one_click_bench.h"

#include <QCoreApplication>

#include <memory>

#include "sim/bus.h"
#include "sim/profiles.h"
#include "sim/simulated_platform.h"
#include "tests/bench/host_time.h"
#include "tests/bench/watched_window.h"
#include "tests/support/metered_platform.h"
#include "tests/support/simulated_machine.h"
#include "ui/demo/demo_enclosures.h"
#include "ui/demo/sim_bus_notifications.h"

namespace vxe::bench {

UpdateRun RunYes(UpdatePath path, const sim::Timing& timing, std::optional<uint64_t> removeAtCommand,
                 DeviceClock clockKind) {
    std::unique_ptr<sim::Clock> clock;
    if (clockKind == DeviceClock::Real) {
        clock = std::make_unique<sim::RealClock>();
    } else {
        clock = std::make_unique<sim::FakeClock>();
    }
    sim::Bus bus(*clock);
    SimulatedPlatform platform(bus, true);
    const ScopedPlatform plain(platform);  // the image the flash is built from is a resource
    InstallNotificationFactory([&bus] { return MakeSimulatedBusNotifications(bus); });

    sim::ProfileOptions options;
    options.timing = timing;
    options.memory505eDirect = path == UpdatePath::Serial;
    const std::string device = test::UsbDiskPath(0);
    bus.add(device, sim::InterfaceClass::Disk, sim::Vxe720Enclosure(options)).setFlash(0, demo::OlderFirmwareFlash(0));

    test::MeteredPlatform metered(platform, *clock);
    metered.busyUntilMs = [&bus](const char* p) {
        const sim::Bridge* b = bus.bridge(p);
        return b != nullptr ? b->busyUntilMs() : 0;
    };
    const ScopedPlatform installed(metered);
    UpdateRun run;
    {
        WatchedWindow window(*clock);
        window.show();
        QCoreApplication::processEvents();

        metered.resetCounts();
        if (removeAtCommand) {
            metered.beforeCommand = [&](uint64_t n) {
                if (n == *removeAtCommand) bus.unplug(device);
            };
        }
        const uint64_t startMs = clock->nowMs();
        const HostTime start = HostTime::Now();
        window.startWatch();
        window.EraseButton->click();
        window.mark();
        const HostTime end = HostTime::Now();

        run.done = !window.replugLable1->isHidden();
        run.deviceMs = clock->nowMs() - startMs;
        run.hostWallNs = end.wallNs - start.wallNs;
        run.hostCpuNs = end.cpuNs - start.cpuNs;
        run.insideDeviceNs = metered.innerWallNs;
        run.insideDeviceCpuNs = metered.innerCpuNs;
        run.commands = metered.commands;
        run.limitLookups = metered.limitLookups;
        run.longestCommandMs = metered.longestCommandMs;
        run.longestGapMs = window.longestGapMs();
        run.pumps = window.pumps();
        metered.beforeCommand = nullptr;
    }
    InstallNotificationFactory(nullptr);
    return run;
}

}  // namespace vxe::bench
