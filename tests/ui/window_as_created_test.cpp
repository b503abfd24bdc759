// The window as the form builds it, before the start-up steps change it.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include "ui/fwupdate.h"
#include "ui/labelled_edit.h"
#include "app/size_settings.h"

namespace vxe {
namespace {

struct Font {
    const char* family;
    int pixelSize;
};

struct ControlRow {
    const char* name;
    const char* kind;  // class name
    bool inRdPanel;
    QRect geometry;
    int tab;  // -1: no tab stop
    bool visible;
    bool enabled;
    const char* text;  // caption, label of a labelled edit, or nullptr
    std::vector<const char*> items;
    int selected;
    std::optional<bool> checked;
    bool readOnly;
    std::optional<Font> font;  // unset: the window's default font
};

const Font kWindowFont{"MS Sans Serif", 11};
const Font kArial13{"Arial", 13};
const Font kArial19{"Arial", 19};
const Font kSans13{"MS Sans Serif", 13};

// name, kind, in RdPanel, geometry, tab, visible, enabled, text, items, selected, checked, read-only, font
const std::vector<ControlRow> kControls = {
    {"Panel1", "QFrame", false, {8, 225, 337, 3}, 0, false, true, nullptr, {}, -1, {}, false, {}},
    {"RdPanel", "QFrame", false, {0, 232, 345, 129}, 1, false, true, nullptr, {}, -1, {}, false, {}},
    {"BackupFWCheckBox", "QCheckBox", true, {8, 48, 153, 17}, 0, true, true, "Backup Old Firmware Only", {}, -1, false, false, {}},
    {"EraseOnlyCheck", "QCheckBox", true, {8, 28, 121, 17}, 1, true, true, "Erase All Flash Only ", {}, -1, false, false, {}},
    {"BackupFileEdit", "vxe::LabelledEdit", true, {115, 96, 214, 21}, 2, true, true, "Backup FileName ", {}, -1, {}, false, {}},
    {"BackupBtn", "QPushButton", true, {256, 61, 75, 25}, 3, true, true, "Browse", {}, -1, {}, false, {}},
    {"A1ChipCheck", "QCheckBox", true, {8, 8, 65, 17}, 4, true, true, "A1 Chip", {}, -1, false, false, {}},
    {"ChipLabelEdit", "vxe::LabelledEdit", false, {80, 12, 129, 21}, 2, false, true, "Chip ", {}, -1, {}, true, {}},
    {"RefreshBtn", "QPushButton", false, {240, 8, 91, 25}, 3, false, true, "Refresh Device", {}, -1, {}, false, {}},
    {"FwFilenameEdit", "vxe::LabelledEdit", false, {80, 70, 249, 21}, 4, false, true, "Firmware File ", {}, -1, {}, false, {}},
    {"LoadBtn", "QPushButton", false, {256, 96, 75, 25}, 5, false, true, "Load File", {}, -1, {}, false, {}},
    {"DeviceList", "QComboBox", false, {48, 176, 249, 21}, 6, false, true, nullptr, {}, -1, {}, false, {}},
    {"diskLabel", "QLabel", false, {24, 44, 46, 13}, -1, false, true, "USB Disk", {}, -1, {}, false, {}},
    {"DiskLetterLable", "vxe::LabelledEdit", false, {80, 68, 89, 21}, 7, false, true, "Drives ", {}, -1, {}, true, {}},
    {"FwVerLableEdit", "vxe::LabelledEdit", false, {80, 96, 89, 21}, 8, false, true, "Firmware Ver. ", {}, -1, {}, true, {}},
    {"SFlashTypeLable", "vxe::LabelledEdit", false, {88, 196, 89, 21}, 9, true, true, "Flash Type", {}, -1, {}, true, {}},
    {"FlashTypeList", "QComboBox", false, {24, 124, 145, 21}, 10, false, true, nullptr,
     {"ATMELAT 49BV512", "PMC OM39LV512", "SST SST39LF512"}, 0, {}, false, {}},
    {"FlashTypeLabel", "QLabel", false, {24, 156, 55, 13}, -1, false, true, "Flash Type ", {}, -1, {}, false, {}},
    {"StatusEdit", "vxe::LabelledEdit", false, {48, 196, 249, 21}, 11, false, true, "Status ", {}, -1, {}, true, {}},
    {"RdCheckBox", "QCheckBox", false, {0, 184, 81, 17}, 12, false, true, "RD Version", {}, -1, false, false, {}},
    {"ExitBtn", "QPushButton", false, {240, 64, 75, 25}, 13, true, true, "NO", {}, -1, {}, false, kArial13},
    {"UpdateBtn", "QPushButton", false, {256, 152, 75, 25}, 14, false, false, "Run", {}, -1, {}, false, {}},
    {"NVRAMCheck", "QCheckBox", true, {128, 28, 113, 17}, 5, true, true, "Include 4K NVRAM", {}, -1, false, false, {}},
    {"FwSizeCheck", "QComboBox", true, {8, 72, 65, 24}, 6, true, true, nullptr,
     {"32KB", "64KB", "128KB", "256KB", "512KB", "   1MB"}, 0, {}, false, kSans13},
    {"FwSizeLable", "QLabel", true, {80, 72, 82, 16}, -1, true, true, "Firmware size", {}, -1, {}, false, kSans13},
    {"FwPgSizeCheck", "QComboBox", false, {176, 140, 89, 21}, 15, false, true, nullptr,
     {"32 KB", "16 KB", " 8 KB", " 4 KB", " 2 KB"}, 1, {}, false, {}},
    {"Label1", "QLabel", false, {0, 172, 75, 13}, -1, false, true, "Transfer PgSzie", {}, -1, {}, false, {}},
    {"EraseButton", "QPushButton", false, {112, 64, 75, 25}, 16, true, true, "YES", {}, -1, {}, false, kArial13},
    {"devLable", "QLabel", false, {8, 16, 392, 22}, -1, true, true,
     "Click \u2018Yes\u2019 to proceed with the firmware update", {}, -1, {}, false, kArial19},
    {"ExtBtn", "QPushButton", false, {176, 64, 75, 25}, 17, false, true, "EXIT", {}, -1, {}, false, kArial13},
    {"replugLable1", "QLabel", false, {72, 16, 257, 22}, -1, false, true, "Please power cycle the device", {}, -1, {},
     false, kArial19},
    {"FwUpdatBar", "QProgressBar", false, {40, 32, 337, 25}, 18, false, true, nullptr, {}, -1, {}, false, {}},
};

class WindowAsCreated : public ::testing::Test {
protected:
    QWidget* control(const char* name) const {
        auto* widget = window.findChild<QWidget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    TR84xFwTool window{nullptr, TR84xFwTool::AsCreated};
};

TEST_F(WindowAsCreated, EveryControlHasItsKindPlaceCaptionAndState) {
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        QWidget* widget = control(row.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), row.kind);
        EXPECT_EQ(widget->parentWidget(), row.inRdPanel ? static_cast<QWidget*>(window.RdPanel) : &window);
        EXPECT_EQ(widget->geometry(), row.geometry);
        EXPECT_EQ(!widget->isHidden(), row.visible);
        EXPECT_EQ(widget->isEnabledTo(widget->parentWidget()), row.enabled);

        const Font font = row.font.value_or(kWindowFont);
        EXPECT_EQ(widget->font().family(), QString::fromLatin1(font.family));
        EXPECT_EQ(widget->font().pixelSize(), font.pixelSize);

        const QString text = row.text ? QString::fromUtf8(row.text) : QString();
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            EXPECT_EQ(button->text(), text);
        }
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), text);
        }
        if (auto* edit = qobject_cast<LabelledEdit*>(widget)) {
            EXPECT_EQ(edit->labelText(), text);
            EXPECT_TRUE(edit->text().isEmpty());
            EXPECT_EQ(edit->isReadOnly(), row.readOnly);
        }
        if (auto* box = qobject_cast<QCheckBox*>(widget)) {
            EXPECT_EQ(box->isChecked(), row.checked.value_or(false));
        }
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            QStringList items;
            for (const char* item : row.items) items << QString::fromLatin1(item);
            QStringList shown;
            for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
            EXPECT_EQ(shown, items);
            EXPECT_EQ(combo->currentIndex(), row.selected);
        }
    }
}

TEST_F(WindowAsCreated, TabOrderFollowsTheTableWithinEachParent) {
    // Panels and the progress bar take no focus, so they are no tab stops.
    std::vector<QWidget*> chain;
    for (QWidget* w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus) chain.push_back(w);
    }
    std::map<QWidget*, std::vector<int>> tabsByParent;
    std::map<QWidget*, std::vector<int>> expectedByParent;
    for (const ControlRow& row : kControls) {
        QWidget* widget = control(row.name);
        if (row.tab < 0 || !(widget->focusPolicy() & Qt::TabFocus)) continue;
        expectedByParent[widget->parentWidget()].push_back(row.tab);
        EXPECT_NE(std::find(chain.begin(), chain.end(), widget), chain.end()) << row.name;
    }
    for (QWidget* w : chain) {
        const auto row = std::find_if(kControls.begin(), kControls.end(),
                                      [w](const ControlRow& r) { return w->objectName() == QLatin1String(r.name); });
        if (row != kControls.end() && row->tab >= 0) tabsByParent[w->parentWidget()].push_back(row->tab);
    }
    for (auto& [parent, tabs] : expectedByParent) std::sort(tabs.begin(), tabs.end());
    EXPECT_EQ(tabsByParent, expectedByParent);
    EXPECT_EQ(expectedByParent[&window].size(), 16u);
    EXPECT_EQ(expectedByParent[window.RdPanel].size(), 7u);
}

TEST_F(WindowAsCreated, LabelledEditsCarryTheirCaptionJustLeftOfTheEdit) {
    const auto edits = window.findChildren<LabelledEdit*>();
    ASSERT_EQ(edits.size(), 7);
    for (LabelledEdit* edit : edits) {
        SCOPED_TRACE(edit->objectName().toStdString());
        QLabel* label = edit->label();
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->parentWidget(), edit->parentWidget());
        EXPECT_EQ(label->text(), edit->labelText());
        EXPECT_EQ(label->geometry().x() + label->width(), edit->x() - 3);
        EXPECT_LE(std::abs(label->geometry().center().y() - edit->geometry().center().y()), 1);
        EXPECT_GE(label->width(), label->sizeHint().width());
        EXPECT_EQ(label->isHidden(), edit->isHidden());
    }
}

TEST_F(WindowAsCreated, WindowHasItsCaptionPlaceSizeFrameAndLook) {
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Corvane VXE720 Firmware Update Utility v0.0.7"));
    EXPECT_TRUE(window.isWindow());
    EXPECT_EQ(window.pos(), QPoint(360, 280));
    EXPECT_EQ(window.size(), QSize(411, 229));

    // Fixed dialog frame: caption and close box only, not resizable.
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());

    EXPECT_EQ(window.backgroundRole(), QPalette::Button);
    EXPECT_EQ(window.font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(window.font().pixelSize(), 11);
    EXPECT_FALSE(window.windowIcon().isNull());

    EXPECT_EQ(window.Panel1->palette().color(QPalette::Window), QColor(0, 0, 128));
    EXPECT_TRUE(window.Panel1->autoFillBackground());
    EXPECT_EQ(window.replugLable1->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_EQ(window.FwUpdatBar->minimum(), 0);
    EXPECT_EQ(window.FwUpdatBar->maximum(), 100);
    EXPECT_EQ(window.FwUpdatBar->value(), 0);

    EXPECT_EQ(window.EraseOnlyCheck->property("tag"), QVariant(0));
    EXPECT_EQ(window.BackupFWCheckBox->property("tag"), QVariant(1));
}

TEST_F(WindowAsCreated, GrowsAndShrinksByAGivenHeight) {
    window.ChangeHeightBy(-window.RdPanel->height());
    EXPECT_EQ(window.size(), QSize(411, 100));
    window.ChangeHeightBy(129);
    EXPECT_EQ(window.size(), QSize(411, 229));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
}

TEST_F(WindowAsCreated, StateStartsAtZeroAndSizesAt64KBAnd16KB) {
    static const DeviceTableRows zeroRows{};
    EXPECT_EQ(std::memcmp(window.DeviceTable.data(), zeroRows.data(), sizeof zeroRows), 0);
    EXPECT_EQ(window.DeviceCount, 0);
    EXPECT_EQ(window.EraseOnly, 0);
    EXPECT_EQ(window.AmicFlashCode, 0);  // not -1 until the first readout
    EXPECT_EQ(window.NvramSkip, 0);
    EXPECT_EQ(window.ChipId, 0);

    // The process-wide sizes: 64 KB although the size box shows "32KB".
    EXPECT_EQ(FirmwareSize, 65536);
    EXPECT_EQ(window.FwSizeCheck->currentText(), QStringLiteral("32KB"));
    EXPECT_EQ(TransferPageSize, 16384);

    window.ChipId = 0x090A;
    EXPECT_EQ(window.ChipFamily(), 10);
    EXPECT_EQ(window.ChipRevision(), 9);
}

TEST_F(WindowAsCreated, VariablePointsAtTheWindowWhileItLives) {
    EXPECT_EQ(R84xFwTool, &window);
    {
        TR84xFwTool second{nullptr, TR84xFwTool::AsCreated};
        EXPECT_EQ(R84xFwTool, &second);
    }
    EXPECT_EQ(R84xFwTool, nullptr);
}

}  // namespace
}  // namespace vxe
