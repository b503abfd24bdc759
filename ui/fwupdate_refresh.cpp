// The one-click window's device list: refresh, the prompt under it and the
// readout of the chosen device.
#include "ui/fwupdate.h"

#include <QComboBox>

#include <cstring>

#include "app/discovery_pass.h"
#include "app/write_guard.h"
#include "chip/chip_readout.h"
#include "platform/platform.h"
#include "ui/prompt_color.h"
#include "ui/shown_result.h"

namespace vxe {

void TR84xFwTool::RefreshBtnClick(QObject* sender) {
    // A refresh rebuilds the table; never under an update that uses it.
    if (updateRunning_) {
        refreshPending_ = true;
        return;
    }
    if (!resultOnScreen_) {
        RefreshDeviceList(sender);
        return;
    }
    ShownResult shown(*this);
    RefreshDeviceList(sender);
    shown.restore();
}

void TR84xFwTool::RefreshDeviceList(QObject* sender) {
    replugLable1->hide();
    ExtBtn->hide();
    devLable->show();

    const DiscoveryResult found = RunDiscoveryPass(DeviceTable);
    DeviceCount = found.deviceCount;
    // A device another procedure holds is not listed; why goes to the
    // debugger output and the prompt's tip, leaving the one-click set as it is.
    QString busy;
    for (const BusyDevice& device : found.busy) {
        const std::string line = device.reason + "; not listed";
        CurrentPlatform().debugOutput(line + "\n");
        busy += (busy.isEmpty() ? "" : "\n") + QString::fromLocal8Bit(line.c_str());
    }
    devLable->setToolTip(busy);
    DeviceList->clear();
    if (DeviceCount == 0) {
        DeviceList->addItem(QStringLiteral("No available device!!!"));
        DeviceList->setCurrentIndex(0);
        DeviceList->setEnabled(false);
        UpdateBtn->setEnabled(false);
        for (LabelledEdit* field : {ChipLabelEdit, DiskLetterLable, FwVerLableEdit, SFlashTypeLable, StatusEdit}) {
            field->clear();
        }
        FlashTypeList->setEnabled(false);
        A1ChipCheck->setEnabled(false);
        NVRAMCheck->hide();
    } else {
        for (const std::string& item : found.items) DeviceList->addItem(QString::fromLatin1(item.c_str()));
        DeviceList->setEnabled(true);
        DeviceList->setCurrentIndex(0);
        UpdateBtnCheck(sender);
    }
    ShowPrompt(!found.items.empty(), found.alreadyUpdated);
}

void TR84xFwTool::ShowPrompt(bool listed, bool alreadyUpdated) {
    if (listed) {
        SetTextColor(devLable, Qt::black);
        devLable->setText(QStringLiteral("Click 'Yes' to proceed with the firmware update"));
        EraseButton->setEnabled(true);
        EraseButton->show();
        ExitBtn->setEnabled(true);
        ExitBtn->show();
        ExtBtn->hide();
        return;
    }
    SetTextColor(devLable, kPureRed);
    devLable->setText(alreadyUpdated ? QStringLiteral("               The chip already updated!!")
                                     : QStringLiteral("                 No device found!!"));
    ExtBtn->show();
    EraseButton->setEnabled(false);
    EraseButton->hide();
    ExitBtn->setEnabled(false);
    ExitBtn->hide();
}

void TR84xFwTool::UpdateBtnCheck(QObject* sender) {
    // The readout talks to the devices; it waits until a running update has
    // ended, as a refresh does.
    if (updateRunning_) {
        readoutPending_ = true;
        readoutSender_ = sender;
        return;
    }
    NVRAMCheck->hide();
    const DeviceEntry* row = SelectedRow();
    if (DeviceCount == 0 || row == nullptr) return;

    // Reads only, but never in the middle of another procedure's commands.
    const DeviceLock lock = LockDevice(row->DevicePath);
    if (!lock.held()) {
        const std::string why = LockRefusal(lock, row->DevicePath);
        CurrentPlatform().debugOutput(why + "\n");
        StatusEdit->setText(QString::fromLocal8Bit(why.c_str()));
        return;
    }
    const QByteArray file = FwFilenameEdit->text().toLocal8Bit();
    const ChipReadout readout = ReadChipStatus(row->DevicePath, DeviceList->isEnabled(), file.toStdString());
    ChipId = readout.chipId;
    if (readout.runEnabled) UpdateBtn->setEnabled(*readout.runEnabled);

    StatusEdit->clear();
    SFlashTypeLable->clear();
    FwVerLableEdit->clear();
    ChipLabelEdit->setText(QString::fromLatin1(readout.chipName.c_str()));
    switch (readout.controls) {
        case FamilyControls::SerialFlash:
            SFlashTypeLable->show();
            FlashTypeList->hide();
            FlashTypeLabel->hide();
            A1ChipCheck->hide();
            if (readout.showNvram) NVRAMCheck->show();
            if (readout.amicFlashCode) AmicFlashCode = *readout.amicFlashCode;
            SFlashTypeLable->setText(QString::fromLatin1(readout.flashTypeText.c_str()));
            break;
        case FamilyControls::ParallelFlash:
            SFlashTypeLable->hide();
            A1ChipCheck->show();
            A1ChipCheck->setEnabled(true);
            // In the engineering layout the flash type must be choosable.
            if (!RdCheckBox->isHidden()) {
                FlashTypeList->show();
                FlashTypeLabel->show();
            }
            break;
        case FamilyControls::Unsupported:
            SFlashTypeLable->hide();
            FlashTypeList->hide();
            FlashTypeLabel->hide();
            A1ChipCheck->hide();
            break;
    }
    StatusEdit->setText(QString::fromLatin1(readout.statusText.c_str()));
    FwVerLableEdit->setText(QString::fromLatin1(readout.versionText.c_str()));
    DiskLetterLable->setText(
        QString::fromLatin1(row->DriveLetters, static_cast<qsizetype>(strnlen(row->DriveLetters, sizeof row->DriveLetters))));
}

const DeviceEntry* TR84xFwTool::SelectedRow() const {
    const int index = DeviceList->currentIndex();
    if (index < 0 || static_cast<size_t>(index) >= DeviceTable.size()) return nullptr;
    return &DeviceTable[static_cast<size_t>(index)];
}

}  // namespace vxe
