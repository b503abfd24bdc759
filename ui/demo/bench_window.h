// The demo's bench: plug, unplug and power-cycle the simulated enclosures,
// add a second one, or put the older firmware back to start over. It is
// not a window that keeps the program running.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include <functional>

#include "sim/bus.h"

namespace vxe::demo {

class BenchWindow : public QWidget {
public:
    explicit BenchWindow(sim::Bus& bus, QWidget* parent = nullptr);

private:
    // A button at `at` in the column (-1: at its end).
    QPushButton* button(const QString& text, std::function<void()> handler, int at = -1);
    void addEnclosureButtons(int enclosure);
    void togglePlug(int enclosure);
    void powerCycle(int enclosure);
    void addSecond();
    void restore();
    void describe();

    sim::Bus& bus_;
    int enclosures_ = 1;
    QLabel* state_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
    QPushButton* addSecond_ = nullptr;
};

}  // namespace vxe::demo
