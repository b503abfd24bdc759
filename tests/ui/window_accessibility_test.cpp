// What a screen reader reads of the window: a window with its title, only
// the controls it draws (nothing of the engineering layout below the
// one-click client area), and the update's state while the update works.
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/support/simulated_machine.h"
#include "ui/demo/demo_enclosures.h"
#include "ui/engineering_layout.h"
#include "ui/fwupdate.h"

namespace vxe {
namespace {

// The window's accessible children by object name, each checked to be drawn
// inside the window and to be found again at its index.
std::set<std::string> ReadChildren(TR84xFwTool& w) {
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&w);
    std::set<std::string> names;
    for (int i = 0; i < window->childCount(); ++i) {
        QAccessibleInterface* child = window->child(i);
        const std::string name = child->object()->objectName().toStdString();
        EXPECT_EQ(window->indexOfChild(child), i) << name;
        EXPECT_FALSE(child->state().invisible) << name;
        EXPECT_TRUE(window->rect().intersects(child->rect())) << name << " lies outside the window";
        names.insert(name);
    }
    return names;
}

class WindowAccessibility : public ::testing::Test {
protected:
    WindowAccessibility() {
        sim::ProfileOptions options;
        options.timing = sim::Timing::SmallSpiNor();
        machine.addDisk(test::UsbDiskPath(0), sim::Vxe720Enclosure(options)).setFlash(0, demo::OlderFirmwareFlash(0));
    }
    test::SimulatedMachine machine;
};

class PumpedWindow : public TR84xFwTool {
public:
    void processMessages() override {
        if (onPump) std::exchange(onPump, nullptr)();
        TR84xFwTool::processMessages();
    }
    std::function<void()> onPump;
};

TEST_F(WindowAccessibility, AWindowThatNamesOnlyWhatItDraws) {
    PumpedWindow w;
    w.show();
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&w);
    EXPECT_EQ(window->role(), QAccessible::Window) << "not a pane (a filler) inside some window";
    EXPECT_EQ(window->text(QAccessible::Name), w.windowTitle());
    EXPECT_EQ(ReadChildren(w), (std::set<std::string>{"devLable", "EraseButton", "ExitBtn"}));
    EXPECT_EQ(window->childAt(w.devLable->mapToGlobal(QPoint(5, 5)).x(), w.devLable->mapToGlobal(QPoint(5, 5)).y()),
              QAccessible::queryAccessibleInterface(w.devLable));

    // While YES works: the progress bar with its value, YES no longer offered.
    std::set<std::string> updating;
    double progress = -1;
    w.onPump = [&] {
        updating = ReadChildren(w);
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(w.FwUpdatBar);
        progress = bar->valueInterface()->currentValue().toDouble();
        EXPECT_TRUE(QAccessible::queryAccessibleInterface(w.EraseButton)->state().disabled);
    };
    w.EraseButton->click();
    EXPECT_EQ(updating, (std::set<std::string>{"EraseButton", "ExitBtn", "FwUpdatBar"}));
    EXPECT_GT(progress, 0);

    // The engineering layout: its controls come into the window and the tree.
    ShowEngineeringLayout(w);
    const std::set<std::string> engineering = ReadChildren(w);
    for (const char* name : {"DeviceList", "RefreshBtn", "StatusEdit", "UpdateBtn", "RdCheckBox", "Panel1"}) {
        EXPECT_EQ(engineering.count(name), 1u) << name;
    }
    EXPECT_EQ(engineering.count("RdPanel"), 0u) << "hidden until RD Version is ticked";
}

}  // namespace
}  // namespace vxe
