#include "tests/bench/refresh_bench.h"

#include <QCoreApplication>

#include "sim/profiles.h"
#include "tests/bench/host_time.h"
#include "tests/support/metered_platform.h"
#include "tests/support/simulated_machine.h"
#include "ui/demo/demo_enclosures.h"
#include "ui/fwupdate.h"

namespace vxe::bench {

RefreshRun RunRefreshes(int bridges, int refreshes) {
    test::SimulatedMachine machine;
    sim::ProfileOptions options;
    options.timing = sim::Timing::SmallSpiNor();
    for (int i = 0; i < bridges; ++i) {
        options.memory505eDirect = i % 2 == 0;
        machine.addDisk(test::UsbDiskPath(i), sim::Vxe720Enclosure(options)).setFlash(0, demo::OlderFirmwareFlash(i));
    }
    test::MeteredPlatform metered(machine.platform, machine.clock);
    const ScopedPlatform installed(metered);

    RefreshRun run;
    run.bridges = bridges;
    run.refreshes = refreshes;
    TR84xFwTool window;
    QCoreApplication::processEvents();
    metered.resetCounts();
    const uint64_t startMs = machine.clock.nowMs();
    const HostTime start = HostTime::Now();
    for (int r = 0; r < refreshes; ++r) window.RefreshBtnClick(window.RefreshBtn);
    const HostTime end = HostTime::Now();
    run.hostCpuNs = end.cpuNs - start.cpuNs;
    run.hostWallNs = end.wallNs - start.wallNs;
    run.insideDeviceNs = metered.innerWallNs;
    run.insideDeviceCpuNs = metered.innerCpuNs;
    run.deviceMs = machine.clock.nowMs() - startMs;
    run.commands = metered.commands;
    run.listed = window.DeviceList->count();
    return run;
}

}  // namespace vxe::bench
