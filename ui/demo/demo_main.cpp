// The demo: the utility's window over a simulated enclosure that needs the
// update, with a bench to plug, unplug and power-cycle it.
#include <memory>

#include "platform/simulated_platform.h"
#include "sim/bus.h"
#include "sim/clock.h"
#include "ui/application.h"
#include "ui/demo/bench_window.h"
#include "ui/demo/demo_enclosures.h"
#include "ui/demo/sim_bus_notifications.h"
#include "ui/fwupdate.h"

int main(int argc, char* argv[]) {
    vxe::FwUpdateApplication application(argc, argv);
    sim::RealClock clock;
    sim::Bus bus(clock);
    vxe::SimulatedPlatform platform(bus);
    platform.onMessageBox = [](const vxe::RecordedMessage& m) { vxe::ShowMessageBox(m.text, m.caption, m.icon); };
    vxe::ScopedPlatform installed(platform);
    vxe::demo::AddEnclosure(bus, 1);
    vxe::InstallNotificationFactory([&bus] { return vxe::MakeSimulatedBusNotifications(bus); });

    vxe::demo::BenchWindow bench(bus);
    bench.show();
    // Closing the utility's window ends the demo, bench and all.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&application, &QApplication::lastWindowClosed, &application, &QApplication::quit);
    return vxe::RunMainWindow();
}
