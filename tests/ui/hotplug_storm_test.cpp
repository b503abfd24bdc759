// A storm of arrivals and removals, a third of them while an update runs:
// the table never changes under the update, nothing is written past a bound,
// and afterwards the list shows exactly the bridges that need the update.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "chip/firmware_image.h"
#include "tests/support/simulated_machine.h"
#include "ui/demo/sim_bus_notifications.h"
#include "ui/fwupdate.h"

namespace vxe {
namespace {

class StormWindow : public TR84xFwTool {
public:
    void processMessages() override {
        if (onPump) onPump();
        TR84xFwTool::processMessages();
    }
    std::function<void()> onPump;
};

struct Snapshot {
    std::vector<std::string> rows;
    std::vector<std::string> items;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const TR84xFwTool& w) {
    Snapshot s;
    for (const DeviceEntry& e : w.DeviceTable) s.rows.emplace_back(e.DevicePath, strnlen(e.DevicePath, sizeof e.DevicePath));
    for (int i = 0; i < w.DeviceList->count(); ++i) s.items.push_back(w.DeviceList->itemText(i).toStdString());
    return s;
}

class HotplugStormTest : public ::testing::Test {
protected:
    HotplugStormTest() {
        InstallNotificationFactory([this] { return MakeSimulatedBusNotifications(machine.bus); });
        image.resize(LoadEmbeddedImage(image, 0, 0));
        // More candidates than the table has rows: bridges that need the
        // update (on both interface classes), up-to-date bridges, other
        // bridges and plain disks.
        for (int i = 0; i < 20; ++i) {
            const std::string path = "\\\\?\\usbstor#dev" + std::to_string(i);
            sim::ProfileOptions paged;  // lets messages through while it writes
            paged.memory505eDirect = false;
            sim::DeviceDescription d = i % 5 == 3 ? sim::PlainUsbDisk()
                                       : i % 5 == 4 ? sim::ProfileForFamily(13)
                                                    : sim::Vxe720Enclosure(paged);
            sim::Bridge& b = i % 7 == 6 ? machine.addCdRom(path, d) : machine.addDisk(path, d);
            b.fillFlash(0x00);
            if (i % 5 == 2) b.setFlash(0, image);
            paths.push_back(path);
        }
    }
    ~HotplugStormTest() override { InstallNotificationFactory(nullptr); }

    // What the list must show: plugged VXE720 bridges whose flash does not
    // hold the image behind the header, among the first 16 candidates.
    std::vector<std::string> expectedRows() {
        std::vector<std::string> rows;
        int candidates = 0;
        for (auto cls : {sim::InterfaceClass::Disk, sim::InterfaceClass::CdRom}) {
            for (const std::string& path : machine.bus.paths(cls)) {
                if (candidates++ >= 16) continue;
                sim::Bridge& b = *machine.bus.bridge(path);
                if (b.description().profileName != sim::Vxe720Enclosure().profileName) continue;
                const auto flash = b.flash();
                if (std::equal(image.begin() + 128, image.end(), flash.begin() + 128)) continue;
                rows.push_back(path);
            }
        }
        return rows;
    }

    void toggle(std::mt19937& random) {
        const std::string& path = paths[random() % paths.size()];
        if (machine.bus.find(path)->plugged) {
            machine.bus.unplug(path);
        } else {
            machine.bus.plug(path);
        }
        ++notices;
    }

    void settle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    test::SimulatedMachine machine;
    std::vector<uint8_t> image = std::vector<uint8_t>(65536, 0);
    std::vector<std::string> paths;
    int notices = 0;
};

TEST_F(HotplugStormTest, AThousandNoticesAThirdOfThemDuringUpdates) {
    std::mt19937 random(20261208);
    StormWindow w;
    settle();
    int duringUpdates = 0;
    int updates = 0;
    while (notices < 1000) {
        const bool update = notices % 3 == 0 && 3 * duringUpdates < notices + 2 && !w.EraseButton->isHidden() &&
                            w.EraseButton->isEnabled();
        if (!update) {
            toggle(random);
            settle();
            continue;
        }
        // YES on the first listed bridge; its first message pumps bring a
        // notice each.
        const Snapshot before = Take(w);
        int inThisUpdate = 0;
        w.onPump = [&] {
            if (notices >= 1000 || inThisUpdate++ >= 2) return;
            toggle(random);
            ++duringUpdates;
            settle();
            ASSERT_EQ(Take(w), before) << "the table changed under a running update";
        };
        w.EraseButton->click();
        w.onPump = nullptr;
        ++updates;
        // Put older firmware back on a few updated bridges so the storm
        // keeps finding work.
        if (updates % 2 == 0) {
            for (const std::string& path : paths) {
                sim::Bridge& b = *machine.bus.bridge(path);
                if (b.description().profileName == sim::Vxe720Enclosure().profileName) b.setFlash(0x2000, std::vector<uint8_t>(16, 0x00));
            }
        }
        settle();
    }
    EXPECT_GE(3 * duringUpdates, notices - 30) << "a third of the notices came while an update ran";
    EXPECT_GE(updates, 20);
    std::printf("storm: %d notices, %d during %d updates\n", notices, duringUpdates, updates);

    // One more notice settles the list on what the bus holds now.
    w.WMDeviceChange(kDeviceArrival);
    const std::vector<std::string> expected = expectedRows();
    std::printf("storm: %zu bridges listed at the end\n", expected.size());
    ASSERT_EQ(w.DeviceList->count(), static_cast<int>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        std::string row = expected[i];
        for (char& c : row) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(std::string(w.DeviceTable[i].DevicePath), row) << i;
    }
}

}  // namespace
}  // namespace vxe
