// The one-click update: YES, the slot that lets one update run at a time and
// the status sink the update procedures write to.
#include "ui/fwupdate.h"

#include <QCoreApplication>

#include <algorithm>

#include "app/size_settings.h"
#include "flash/one_click_update.h"
#include "ui/prompt_color.h"
#include "ui/shown_result.h"

namespace vxe {

void TR84xFwTool::EraseButtonClick(QObject*) {
    UpdateSlot slot(*this);
    if (!slot.held()) return;
    const uint16_t chipId = ChipId;
    const DeviceEntry* row = SelectedRow();
    // The path as YES was pressed, whatever the table holds later.
    const std::string device = row != nullptr ? row->DevicePath : "";
    int32_t outcome = 0;
    bool ran = true;

    EraseButton->setEnabled(false);
    devLable->hide();
    FwUpdatBar->setValue(0);
    FwUpdatBar->show();
    advanceProgress(20);
    StatusEdit->clear();
    EraseOnly = 0;

    if (row != nullptr) {
        ran = RunGuarded(device.c_str(), true, [&](HeaderKeeper* keeper) {
            EngineOptions options = CurrentEngineOptions();
            options.headerKeeper = keeper;
            outcome = RunOneClickUpdate(device.c_str(), chipId, options, *this);
            return outcome != 0;
        });
        // Nothing verified on another device is a success.
        if (deviceChangedInRun_) outcome = 0;
    }
    FwUpdatBar->hide();
    if (!ran) {
        // Nothing was sent: the one-click set stays as it was, YES offered again.
        devLable->show();
        EraseButton->setEnabled(true);
        slot.end();
        return;
    }
    if (outcome != 0) {
        replugLable1->show();
        ExtBtn->show();
        devLable->hide();
        EraseButton->hide();
        ExitBtn->hide();
    } else {
        replugLable1->hide();
        ExtBtn->show();
        EraseButton->hide();
        ExitBtn->hide();
        SetTextColor(devLable, kPureRed);
        devLable->setText(QStringLiteral("                     Update    fail!!"));
        devLable->show();
        resultOnScreen_ = true;
    }
    EraseButton->setEnabled(true);
    slot.end();
}

bool TR84xFwTool::BeginUpdate() {
    if (updateRunning_) return false;
    updateRunning_ = true;
    return true;
}

void TR84xFwTool::EndUpdate() {
    updateRunning_ = false;
    if (closeRequested_) {
        close();
        return;
    }
    if (refreshPending_) {
        refreshPending_ = false;
        readoutPending_ = false;  // the refresh reads the device out again
        RefreshBtnClick(RefreshBtn);
    }
    if (readoutPending_) {
        readoutPending_ = false;
        if (!resultOnScreen_) {
            UpdateBtnCheck(readoutSender_);
        } else {
            ShownResult shown(*this);
            UpdateBtnCheck(readoutSender_);
            shown.restore();
        }
    }
}

EngineOptions TR84xFwTool::CurrentEngineOptions() const {
    EngineOptions options;
    options.rdVersion = RdCheckBox->isChecked();
    options.backupOnly = BackupFWCheckBox->isChecked();
    options.eraseOnly = EraseOnly != 0;
    options.a1Chip = A1ChipCheck->isChecked();
    options.amicFlashCode = AmicFlashCode;
    options.backupFileName = BackupFileEdit->text().toLocal8Bit().toStdString();
    options.firmwareSize = static_cast<uint32_t>(FirmwareSize);
    options.transferPageSize = static_cast<uint32_t>(TransferPageSize);
    return options;
}

std::string TR84xFwTool::statusText() const {
    // Latin-1 both ways, so that every byte a procedure writes comes back
    // unchanged when it appends to the running text.
    const QByteArray bytes = StatusEdit->text().toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void TR84xFwTool::setStatusText(std::string_view text) {
    StatusEdit->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void TR84xFwTool::advanceProgress(int step) {
    // The bar's own flag: the engineering operations run with it hidden and
    // must leave it alone.
    if (FwUpdatBar->isHidden()) return;
    const long long current = std::max(FwUpdatBar->value(), FwUpdatBar->minimum());
    const long long next = std::clamp<long long>(current + step, FwUpdatBar->minimum(), 100);
    FwUpdatBar->setValue(static_cast<int>(next));
    FwUpdatBar->repaint();
}

void TR84xFwTool::processMessages() { QCoreApplication::processEvents(); }

void TR84xFwTool::repaintStatus() { StatusEdit->repaint(); }

}  // namespace vxe
