// Which events reach which handler, and the handlers that are one step long.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include "tests/ui/key_input.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ui/fwupdate.h"
#include "app/size_settings.h"

namespace vxe {
namespace {

struct Call {
    std::string handler;
    QObject* sender;
    bool operator==(const Call&) const = default;
};

void PrintTo(const Call& call, std::ostream* out) {
    *out << call.handler << "(" << (call.sender ? call.sender->objectName().toStdString() : "null") << ")";
}

// Records every handler call instead of running it; NO/EXIT and the size
// handlers also run.
class RecordingWindow : public TR84xFwTool {
public:
    RecordingWindow() : TR84xFwTool(nullptr, AsCreated) {}

    void RefreshBtnClick(QObject* s) override { calls.push_back({"RefreshBtnClick", s}); }
    void LoadBtnClick(QObject* s) override { calls.push_back({"LoadBtnClick", s}); }
    void BackupBtnClick(QObject* s) override { calls.push_back({"BackupBtnClick", s}); }
    void UpdateBtnClick(QObject* s) override { calls.push_back({"UpdateBtnClick", s}); }
    void EraseButtonClick(QObject* s) override { calls.push_back({"EraseButtonClick", s}); }
    void RdCheckBoxClick(QObject* s) override { calls.push_back({"RdCheckBoxClick", s}); }
    void EraseOnlyCheckClick(QObject* s) override { calls.push_back({"EraseOnlyCheckClick", s}); }
    void UpdateBtnCheck(QObject* s) override { calls.push_back({"UpdateBtnCheck", s}); }
    void ExitBtnClick(QObject* s) override {
        calls.push_back({"ExitBtnClick", s});
        TR84xFwTool::ExitBtnClick(s);
    }
    void FwSizeCheckChange(QObject* s) override {
        calls.push_back({"FwSizeCheckChange", s});
        TR84xFwTool::FwSizeCheckChange(s);
    }
    void FwPgSizeCheckChange(QObject* s) override {
        calls.push_back({"FwPgSizeCheckChange", s});
        TR84xFwTool::FwPgSizeCheckChange(s);
    }

    std::vector<Call> calls;
    std::vector<Call> takeCalls() { return std::exchange(calls, {}); }
};

class WindowEvents : public ::testing::Test {
protected:
    ~WindowEvents() override {
        // The sizes belong to the process; leave them as the program starts.
        FirmwareSize = savedFirmwareSize_;
        TransferPageSize = savedTransferPageSize_;
    }

    RecordingWindow window;

private:
    int32_t savedFirmwareSize_ = FirmwareSize;
    int32_t savedTransferPageSize_ = TransferPageSize;
};

TEST_F(WindowEvents, ButtonClicksReachTheirHandlersWithTheButtonAsSender) {
    const std::vector<std::pair<QPushButton*, std::string>> bindings = {
        {window.RefreshBtn, "RefreshBtnClick"}, {window.LoadBtn, "LoadBtnClick"},
        {window.BackupBtn, "BackupBtnClick"},   {window.UpdateBtn, "UpdateBtnClick"},
        {window.EraseButton, "EraseButtonClick"}, {window.ExitBtn, "ExitBtnClick"},
        {window.ExtBtn, "ExitBtnClick"},
    };
    for (const auto& [button, handler] : bindings) {
        SCOPED_TRACE(button->objectName().toStdString());
        button->setEnabled(true);
        button->click();
        EXPECT_EQ(window.takeCalls(), (std::vector<Call>{{handler, button}}));
    }
}

TEST_F(WindowEvents, CheckBoxRaisesItsClickOnEveryRealChangeOfState) {
    const std::vector<std::pair<QCheckBox*, std::string>> bindings = {
        {window.RdCheckBox, "RdCheckBoxClick"},
        {window.EraseOnlyCheck, "EraseOnlyCheckClick"},
        {window.BackupFWCheckBox, "EraseOnlyCheckClick"},
    };
    for (const auto& [box, handler] : bindings) {
        SCOPED_TRACE(box->objectName().toStdString());
        const std::vector<Call> once{{handler, box}};
        box->setChecked(true);  // from code
        EXPECT_EQ(window.takeCalls(), once);
        box->setChecked(true);  // no change, no click
        EXPECT_TRUE(window.takeCalls().empty());
        box->click();  // the user, once, not twice
        EXPECT_EQ(window.takeCalls(), once);
        EXPECT_FALSE(box->isChecked());
    }

    // The boxes without a handler raise nothing.
    window.A1ChipCheck->setChecked(true);
    window.NVRAMCheck->setChecked(true);
    EXPECT_TRUE(window.takeCalls().empty());
}

TEST_F(WindowEvents, EveryChangeOfTheFirmwareFileNameReadsTheDeviceAgain) {
    const std::vector<Call> once{{"UpdateBtnCheck", window.FwFilenameEdit}};
    window.FwFilenameEdit->setText(QStringLiteral("/tmp/a.bin"));  // set by code
    EXPECT_EQ(window.takeCalls(), once);
    window.FwFilenameEdit->setText(QStringLiteral("/tmp/a.bin"));
    EXPECT_TRUE(window.takeCalls().empty());
    test::KeyClick(window.FwFilenameEdit, Qt::Key_Backspace);  // typed by the user
    EXPECT_EQ(window.takeCalls(), once);
    window.FwFilenameEdit->clear();
    EXPECT_EQ(window.takeCalls(), once);

    // The other edits raise nothing.
    window.StatusEdit->setText(QStringLiteral("x"));
    window.BackupFileEdit->setText(QStringLiteral("y"));
    EXPECT_TRUE(window.takeCalls().empty());
}

TEST_F(WindowEvents, ListSelectionFromCodeIsSilentAndTheUsersChoiceIsNot) {
    window.DeviceList->addItem(QStringLiteral("<<USB>> first"));
    window.DeviceList->addItem(QStringLiteral("<<USB>> second"));
    window.DeviceList->setCurrentIndex(0);
    window.FlashTypeList->setCurrentIndex(2);
    window.FwSizeCheck->setCurrentIndex(3);
    window.FwPgSizeCheck->setCurrentIndex(4);
    EXPECT_TRUE(window.takeCalls().empty());
    EXPECT_EQ(FirmwareSize, 65536);
    EXPECT_EQ(TransferPageSize, 16384);

    test::KeyClick(window.DeviceList, Qt::Key_Down);
    EXPECT_EQ(window.DeviceList->currentIndex(), 1);
    EXPECT_EQ(window.takeCalls(), (std::vector<Call>{{"UpdateBtnCheck", window.DeviceList}}));

    test::KeyClick(window.FlashTypeList, Qt::Key_Up);
    EXPECT_EQ(window.takeCalls(), (std::vector<Call>{{"UpdateBtnCheck", window.FlashTypeList}}));
}

TEST_F(WindowEvents, UsersSizeChoiceSetsTheTableValue) {
    test::KeyClick(window.FwSizeCheck, Qt::Key_Down);
    test::KeyClick(window.FwSizeCheck, Qt::Key_Down);
    EXPECT_EQ(window.FwSizeCheck->currentText(), QStringLiteral("128KB"));
    EXPECT_EQ(window.takeCalls().back(), (Call{"FwSizeCheckChange", window.FwSizeCheck}));
    EXPECT_EQ(FirmwareSize, 131072);

    window.FwPgSizeCheck->setCurrentIndex(3);
    test::KeyClick(window.FwPgSizeCheck, Qt::Key_Down);
    EXPECT_EQ(window.takeCalls(), (std::vector<Call>{{"FwPgSizeCheckChange", window.FwPgSizeCheck}}));
    EXPECT_EQ(TransferPageSize, 2048);
}

TEST_F(WindowEvents, TypedSizeSelectsAMatchingItemAndOtherwiseKeepsTheValue) {
    QLineEdit* typed = window.FwSizeCheck->lineEdit();
    ASSERT_NE(typed, nullptr);
    typed->clear();
    test::KeyClicks(typed, QStringLiteral("256KB"));
    test::KeyClick(typed, Qt::Key_Return);
    EXPECT_EQ(FirmwareSize, 262144);

    typed->clear();
    test::KeyClicks(typed, QStringLiteral("999KB"));
    test::KeyClick(typed, Qt::Key_Return);
    EXPECT_EQ(FirmwareSize, 262144);
    EXPECT_EQ(window.FwSizeCheck->count(), 6);  // a typed text never becomes an item

    // A change raised while nothing is selected keeps both settings.
    window.FwSizeCheck->setCurrentIndex(-1);
    window.FwPgSizeCheck->setCurrentIndex(-1);
    window.TR84xFwTool::FwSizeCheckChange(window.FwSizeCheck);
    window.TR84xFwTool::FwPgSizeCheckChange(window.FwPgSizeCheck);
    EXPECT_EQ(FirmwareSize, 262144);
    EXPECT_EQ(TransferPageSize, 16384);
}

TEST(WindowClose, NoAndExitCloseTheWindow) {
    for (const char* name : {"ExitBtn", "ExtBtn"}) {
        SCOPED_TRACE(name);
        TR84xFwTool window{nullptr, TR84xFwTool::AsCreated};
        window.show();
        ASSERT_TRUE(window.isVisible());
        window.findChild<QPushButton*>(QString::fromLatin1(name))->click();
        EXPECT_FALSE(window.isVisible());
    }
}

}  // namespace
}  // namespace vxe
