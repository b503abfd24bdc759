// The demo's bench: plug, unplug and power-cycle the simulated enclosures,
// add a second one, or put the older firmware back to start over.
#pragma once

#include <QLabel>
#include <QWidget>

#include "sim/bus.h"

namespace vxe::demo {

class BenchWindow : public QWidget {
public:
    explicit BenchWindow(sim::Bus& bus, QWidget* parent = nullptr);

private:
    void togglePlug(int enclosure);
    void powerCycle(int enclosure);
    void addSecond();
    void restore();
    void describe();

    sim::Bus& bus_;
    int enclosures_ = 1;
    QLabel* state_ = nullptr;
};

}  // namespace vxe::demo
