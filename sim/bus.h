// A bus of simulated USB storage devices: the machine as the product sees it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/bridge.h"
#include "sim/clock.h"

namespace sim {

enum class InterfaceClass : uint8_t { Disk, CdRom };

// A signal the program is sent just before a command reaches the device: an
// interruption (or a kill) at a chosen point, for tests that drive the
// program as its own process.
struct SignalAt {
    uint64_t command = 0;
    int signal = 0;
};

// A signal by name ("TERM", "SIGTERM", "RTMIN+2") or number; none when there
// is no such signal.
std::optional<int> SignalNamed(std::string_view name);

struct BusDevice {
    std::string path;        // the device interface path as enumerated
    InterfaceClass interfaceClass = InterfaceClass::Disk;
    bool usbStorage = true;  // false: a disk of another driver, never enumerated
    bool plugged = true;
    std::shared_ptr<Bridge> bridge;
    // Who the device is to the machine (the description file on a bus built
    // from files); the platform reports it as the device's identity.
    std::string identity;
    // After this many commands to the bridge the path belongs to another
    // device: the identity changes, the bridge goes on answering.
    std::optional<uint64_t> givenAwayAfter;
    std::optional<SignalAt> signalAt;
};

enum class BusEventKind : uint8_t { Arrival, Removal };
struct BusEvent {
    BusEventKind kind;
    std::string path;
};

// A name no other bus of any process has.
std::string NewBusToken();

class Bus {
public:
    explicit Bus(Clock& clock) : clock_(clock) {}

    Clock& clock() { return clock_; }

    // Adds a plugged device (Arrival); a path already on the bus throws
    // std::invalid_argument. The bridge lives until remove() drops the device.
    Bridge& add(std::string path, InterfaceClass cls, DeviceDescription description,
                bool usbStorage = true);
    // Plugging raises Arrival (and powers the bridge up afresh), unplugging and
    // removing a plugged device raise Removal, for the listeners, for every
    // device (a removal notice reaches the window whatever the device). A
    // device that vanishes by fault raises nothing: it hangs on the bus.
    void unplug(const std::string& path);
    void plug(const std::string& path);
    void remove(const std::string& path);
    // The path now names another device (an enclosure pulled and its node
    // number given to the next one plugged): its identity changes at once.
    void giveToAnotherDevice(const std::string& path);

    // Plugged, present (not vanished) USB storage devices of one class, in the
    // order they were added.
    std::vector<std::string> paths(InterfaceClass cls) const;

    // Paths compare without regard to ASCII case, as device paths do on the
    // platform the product was made for. Null when there is no such device.
    BusDevice* find(const std::string& path);
    Bridge* bridge(const std::string& path);
    const std::vector<BusDevice>& devices() const { return devices_; }

    void addListener(std::function<void(const BusEvent&)> listener);

private:
    const std::string token_ = NewBusToken();
    void notify(const BusEvent& event);

    Clock& clock_;
    std::vector<BusDevice> devices_;
    std::vector<std::function<void(const BusEvent&)>> listeners_;
};

}  // namespace sim
