#include "ui/demo/bench_window.h"

#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/demo/demo_enclosures.h"

namespace vxe::demo {

namespace {
constexpr int kPowerOffMs = 1500;
}

BenchWindow::BenchWindow(sim::Bus& bus, QWidget* parent) : QWidget(parent), bus_(bus) {
    setWindowTitle(QStringLiteral("Simulated bench"));
    auto* layout = new QVBoxLayout(this);
    state_ = new QLabel(this);
    layout->addWidget(state_);

    const auto button = [&](const QString& text, auto handler) {
        auto* b = new QPushButton(text, this);
        connect(b, &QPushButton::clicked, this, handler);
        layout->addWidget(b);
    };
    button(QStringLiteral("Plug / unplug enclosure 1"), [this] { togglePlug(1); });
    button(QStringLiteral("Power-cycle enclosure 1"), [this] { powerCycle(1); });
    button(QStringLiteral("Add a second enclosure"), [this] { addSecond(); });
    button(QStringLiteral("Put the older firmware back"), [this] { restore(); });
    describe();
    move(800, 280);
}

void BenchWindow::togglePlug(int enclosure) {
    const std::string path = EnclosurePath(enclosure);
    sim::BusDevice* device = bus_.find(path);
    if (device == nullptr) return;
    if (device->plugged) {
        bus_.unplug(path);
    } else {
        bus_.plug(path);
    }
    describe();
}

void BenchWindow::powerCycle(int enclosure) {
    const std::string path = EnclosurePath(enclosure);
    sim::BusDevice* device = bus_.find(path);
    if (device == nullptr || !device->plugged) return;
    bus_.unplug(path);
    describe();
    QTimer::singleShot(kPowerOffMs, this, [this, path] {
        bus_.plug(path);
        describe();
    });
}

void BenchWindow::addSecond() {
    if (enclosures_ >= 2) return;
    enclosures_ = 2;
    AddEnclosure(bus_, 2);
    describe();
}

void BenchWindow::restore() {
    for (int n = 1; n <= enclosures_; ++n) {
        if (sim::Bridge* bridge = bus_.bridge(EnclosurePath(n))) RestoreOlderFirmware(*bridge, n);
    }
    // A power cycle makes the window look again.
    for (int n = 1; n <= enclosures_; ++n) powerCycle(n);
}

void BenchWindow::describe() {
    QString text;
    for (int n = 1; n <= enclosures_; ++n) {
        const sim::BusDevice* device = bus_.find(EnclosurePath(n));
        const bool plugged = device != nullptr && device->plugged;
        text += QStringLiteral("Enclosure %1: %2\n").arg(n).arg(plugged ? QStringLiteral("plugged in")
                                                                         : QStringLiteral("unplugged"));
    }
    state_->setText(text.trimmed());
}

}  // namespace vxe::demo
