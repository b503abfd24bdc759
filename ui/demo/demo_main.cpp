// The demo: the utility's window over a simulated enclosure that needs the
// update, with a bench to plug, unplug and power-cycle it.
//
//   vxe-fwupdate-demo              one VXE720 enclosure, flash kept in the state directory
//   vxe-fwupdate-demo --bus DIR    the devices described by DIR/*.device instead
#include <QMessageBox>

#include <cstring>
#include <memory>
#include <string>

#include "sim/simulated_platform.h"
#include "sim/bus.h"
#include "sim/clock.h"
#include "sim/device_files.h"
#include "ui/application.h"
#include "ui/demo/bench_window.h"
#include "ui/demo/demo_enclosures.h"
#include "ui/demo/sim_bus_notifications.h"
#include "ui/demo/stop_signals.h"
#include "ui/fwupdate.h"

namespace {

// The directory after --bus, empty without one.
std::string BusDirectory(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--bus") == 0) return argv[i + 1];
    }
    return {};
}

}  // namespace

int main(int argc, char* argv[]) {
    vxe::FwUpdateApplication application(argc, argv);
    sim::RealClock clock;
    sim::Bus bus(clock);
    vxe::SimulatedPlatform platform(bus);
    platform.onMessageBox = [](const vxe::RecordedMessage& m) { vxe::ShowMessageBox(m.text, m.caption, m.icon); };
    vxe::ScopedPlatform installed(platform);

    const std::string directory = BusDirectory(argc, argv);
    try {
        if (directory.empty()) {
            vxe::demo::AddEnclosure(bus, 1);
        } else {
            sim::AddDevicesToBus(bus, sim::LoadDeviceDirectory(directory));
        }
    } catch (const std::exception& error) {
        vxe::ShowMessageBox(error.what(), "Simulated devices", vxe::MessageIcon::Error);
        return 2;
    }
    vxe::InstallNotificationFactory([&bus] { return vxe::MakeSimulatedBusNotifications(bus); });

    std::unique_ptr<vxe::demo::BenchWindow> bench;
    if (directory.empty()) {
        bench = std::make_unique<vxe::demo::BenchWindow>(bus);
        bench->show();
    }
    // Closing the utility's window ends the demo, bench and all (the bench
    // does not count as a window that keeps the program running).
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&application, &QApplication::lastWindowClosed, &application, &QApplication::quit);
    vxe::demo::CloseWindowsOnStopSignals();
    return vxe::RunMainWindow();
}
