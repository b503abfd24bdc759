// The way in for engineers: the one-click window stays as designed until the
// chord, which lays the engineering controls out below it, every one inside
// the window and clear of every other; "RD Version" then adds its panel.
#include <QApplication>
#include <QLabel>
#include "tests/ui/key_input.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/ui/engineering_bench.h"
#include "ui/engineering_layout.h"
#include "ui/labelled_edit.h"

namespace vxe {
namespace {

using test::Rig;

// A control by its name; a caption by the name of its edit.
std::string NameOf(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        for (const auto* edit : widget->parentWidget()->findChildren<LabelledEdit*>(Qt::FindDirectChildrenOnly)) {
            if (edit->label() == label) return edit->objectName().toStdString() + " caption";
        }
    }
    return widget->objectName().toStdString();
}

struct Placed {
    std::string name;
    QRect rect;
};

std::vector<Placed> ShownChildren(const QWidget& parent) {
    std::vector<Placed> shown;
    for (const QWidget* child : parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isHidden()) shown.push_back({NameOf(child), child->geometry()});
    }
    return shown;
}

void ExpectInside(const QRect& area, const std::vector<Placed>& placed) {
    for (const Placed& p : placed) EXPECT_TRUE(area.contains(p.rect)) << p.name << " lies outside";
}

void ExpectApart(const std::vector<Placed>& placed) {
    for (size_t i = 0; i < placed.size(); ++i) {
        for (size_t j = i + 1; j < placed.size(); ++j) {
            EXPECT_FALSE(placed[i].rect.intersects(placed[j].rect)) << placed[i].name << " overlaps " << placed[j].name;
        }
    }
}

// Every shown control lies inside the window and clear of the others, and
// RdPanel's own (as designed) inside the panel.
void ExpectTidy(const TR84xFwTool& w) {
    const auto shown = ShownChildren(w);
    ExpectInside(w.rect(), shown);
    ExpectApart(shown);
    if (!w.RdPanel->isHidden()) ExpectInside(w.RdPanel->rect(), ShownChildren(*w.RdPanel));
}

std::map<std::string, std::pair<QRect, bool>> Snapshot(const QWidget& window) {
    std::map<std::string, std::pair<QRect, bool>> placed;
    for (const QWidget* w : window.findChildren<QWidget*>()) placed[NameOf(w)] = {w->geometry(), w->isHidden()};
    placed["window"] = {window.geometry(), window.isHidden()};
    return placed;
}

// The controls the chord shows.
std::vector<const QWidget*> EngineeringControls(const TR84xFwTool& w) {
    return {w.DeviceList,     w.FwFilenameEdit, w.LoadBtn,    w.UpdateBtn,  w.StatusEdit,
            w.ChipLabelEdit,  w.DiskLetterLable, w.FwVerLableEdit, w.FwPgSizeCheck, w.Label1,
            w.RefreshBtn,     w.diskLabel,      w.Panel1,     w.RdCheckBox};
}

// Where a caption sits once its edit is shown: a hidden edit places it only then.
QRect CaptionRect(const LabelledEdit& edit) {
    const QSize size = edit.label()->sizeHint();
    const QRect box = edit.geometry();
    return {box.x() - LabelledEdit::kLabelGap - size.width(), box.y() + (box.height() - size.height()) / 2,
            size.width(), size.height()};
}

// The controls the chord shows, those the readout shows by family, and
// every caption: all placed, shown or not, so that whatever the readout
// shows later fits.
std::vector<Placed> PlacedControls(const TR84xFwTool& w) {
    std::vector<Placed> placed;
    for (const QWidget* control : EngineeringControls(w)) placed.push_back({NameOf(control), control->geometry()});
    for (const QWidget* control : std::initializer_list<const QWidget*>{w.FlashTypeList, w.FlashTypeLabel,
                                                                          w.SFlashTypeLable}) {
        placed.push_back({NameOf(control), control->geometry()});
    }
    for (const auto* edit : w.findChildren<LabelledEdit*>(Qt::FindDirectChildrenOnly)) {
        placed.push_back({NameOf(edit) + " caption", CaptionRect(*edit)});
    }
    return placed;
}

void ExpectOneClickSetAsDesigned(const TR84xFwTool& w) {
    EXPECT_EQ(w.devLable->geometry(), QRect(8, 16, 392, 22));
    EXPECT_EQ(w.replugLable1->geometry(), QRect(72, 16, 257, 22));
    EXPECT_EQ(w.FwUpdatBar->geometry(), QRect(40, 32, 337, 25));
    EXPECT_EQ(w.EraseButton->geometry(), QRect(112, 64, 75, 25));
    EXPECT_EQ(w.ExtBtn->geometry(), QRect(176, 64, 75, 25));
    EXPECT_EQ(w.ExitBtn->geometry(), QRect(240, 64, 75, 25));
}

void PressChord(QWidget& window) {
    test::KeyClick(&window, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
}

// Saves what the window looks like when the test run asks for it.
void SaveScreenshot(QWidget& window, const char* name) {
    const QByteArray folder = qgetenv("VXE_SCREENSHOT_DIR");
    if (folder.isEmpty()) return;
    window.grab().save(QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name));
}

class EngineeringLayout : public ::testing::Test {
protected:
    EngineeringLayout() {
        machine.addDisk(test::UsbDiskPath(0), sim::Vxe720Enclosure()).fillFlash(0x00);
        window = std::make_unique<TR84xFwTool>();
        window->show();
        QApplication::setActiveWindow(window.get());
    }

    test::SimulatedMachine machine;
    std::unique_ptr<TR84xFwTool> window;
};

TEST_F(EngineeringLayout, TheChordOpensItBelowTheUntouchedOneClickSet) {
    TR84xFwTool& w = *window;
    ASSERT_EQ(w.size(), QSize(411, 100));
    ExpectOneClickSetAsDesigned(w);
    for (const QWidget* control : EngineeringControls(w)) EXPECT_TRUE(control->isHidden()) << NameOf(control);

    PressChord(w);
    EXPECT_EQ(w.size(), QSize(kEngineeringClientWidth, kEngineeringClientHeight));
    ExpectOneClickSetAsDesigned(w);
    for (const QWidget* control : EngineeringControls(w)) EXPECT_FALSE(control->isHidden()) << NameOf(control);
    const auto placed = PlacedControls(w);
    ExpectInside(QRect(0, 100, w.width(), w.height() - 100), placed);  // below the one-click set
    ExpectApart(placed);
    EXPECT_EQ(w.RdCheckBox->text(), "RD Version");
    EXPECT_TRUE(w.RdPanel->isHidden());
    ExpectTidy(w);
    EXPECT_EQ(w.ChipLabelEdit->text(), "VXE731/720 Series") << "the readout stays as it was";

    // "RD Version" adds its panel at the foot of the grown window.
    w.RdCheckBox->click();
    EXPECT_EQ(w.size(), QSize(kEngineeringClientWidth, kEngineeringClientHeight + w.RdPanel->height()));
    EXPECT_FALSE(w.RdPanel->isHidden());
    ExpectTidy(w);
    SaveScreenshot(w, "engineering-layout.png");

    w.RdCheckBox->click();
    EXPECT_EQ(w.size(), QSize(kEngineeringClientWidth, kEngineeringClientHeight));
    EXPECT_TRUE(w.RdPanel->isHidden());
}

TEST_F(EngineeringLayout, PressingTheChordAgainChangesNothing) {
    TR84xFwTool& w = *window;
    PressChord(w);
    w.RdCheckBox->click();
    const auto before = Snapshot(w);
    PressChord(w);
    PressChord(w);
    EXPECT_EQ(Snapshot(w), before);
}

TEST_F(EngineeringLayout, NearMissesLeaveTheOneClickWindowAlone) {
    TR84xFwTool& w = *window;
    for (const auto modifiers : {Qt::ControlModifier | Qt::ShiftModifier, Qt::ControlModifier | Qt::AltModifier,
                                 Qt::ShiftModifier | Qt::AltModifier}) {
        test::KeyClick(&w, Qt::Key_E, modifiers);
    }
    test::KeyClick(&w, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_EQ(w.size(), QSize(411, 100));
    EXPECT_TRUE(w.RdCheckBox->isHidden());
}

TEST(EngineeringLayoutByFamily, TheReadoutStillDecidesTheFamilyControls) {
    {
        // A parallel-flash chip gets the flash type list and the A1 box.
        Rig rig(2);
        ShowEngineeringLayout(rig.window);
        EXPECT_FALSE(rig.window.FlashTypeList->isHidden());
        EXPECT_FALSE(rig.window.FlashTypeLabel->isHidden());
        EXPECT_TRUE(rig.window.SFlashTypeLable->isHidden());
        rig.window.RdCheckBox->click();
        EXPECT_FALSE(rig.window.A1ChipCheck->isHidden());
        ExpectTidy(rig.window);

        // Selecting a serial-flash chip afterwards hides the list again.
        rig.machine.addDisk(test::UsbDiskPath(1), sim::ProfileForFamily(1));
        test::ListDevices(rig.window, {test::UsbDiskPath(1)});
        EXPECT_TRUE(rig.window.FlashTypeList->isHidden());
        EXPECT_FALSE(rig.window.SFlashTypeLable->isHidden());
        ExpectTidy(rig.window);
    }
    {
        // A serial-flash chip gets its flash named, and the KSV652 the NVRAM box.
        Rig rig(6);
        ShowEngineeringLayout(rig.window);
        EXPECT_TRUE(rig.window.FlashTypeList->isHidden());
        EXPECT_FALSE(rig.window.SFlashTypeLable->isHidden());
        rig.window.RdCheckBox->click();
        EXPECT_FALSE(rig.window.NVRAMCheck->isHidden());
        EXPECT_TRUE(rig.window.A1ChipCheck->isHidden());
        ExpectTidy(rig.window);
    }
}

}  // namespace
}  // namespace vxe
