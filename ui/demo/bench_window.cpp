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
    // The bench never keeps the demo alive: closing the utility's window ends it.
    setAttribute(Qt::WA_QuitOnClose, false);
    layout_ = new QVBoxLayout(this);
    state_ = new QLabel(this);
    layout_->addWidget(state_);
    addEnclosureButtons(1);
    addSecond_ = button(QStringLiteral("Add a second enclosure"), [this] { addSecond(); });
    button(QStringLiteral("Put the older firmware back"), [this] { restore(); });
    describe();
    move(800, 280);
}

QPushButton* BenchWindow::button(const QString& text, std::function<void()> handler, int at) {
    auto* b = new QPushButton(text, this);
    connect(b, &QPushButton::clicked, this, std::move(handler));
    layout_->insertWidget(at < 0 ? layout_->count() : at, b);
    return b;
}

// Every enclosure on the bench has its own plug and power switches, after
// those of the enclosures before it.
void BenchWindow::addEnclosureButtons(int enclosure) {
    const int at = 1 + 2 * (enclosure - 1);
    button(QStringLiteral("Plug / unplug enclosure %1").arg(enclosure), [this, enclosure] { togglePlug(enclosure); }, at);
    button(QStringLiteral("Power-cycle enclosure %1").arg(enclosure), [this, enclosure] { powerCycle(enclosure); },
           at + 1);
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
    addEnclosureButtons(2);
    addSecond_->setEnabled(false);
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
