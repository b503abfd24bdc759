// The engineering panel's handlers: firmware and backup file choosers, Run,
// the erase-only and backup-only options and the two size settings.
#include "ui/fwupdate.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QVariant>

#include "chip/firmware_image.h"
#include "app/run_dispatch.h"
#include "platform/platform.h"
#include "app/size_settings.h"

namespace vxe {
namespace {

// The folder of the program's own file, ending in its separator.
QString ProgramFolder() {
    const QString program = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    return program.left(program.lastIndexOf(QDir::separator()) + 1);
}

// Tag values that tell the two option boxes apart.
constexpr int kEraseOnlyTag = 0;
constexpr int kBackupOnlyTag = 1;

// The sender's tag, or -1 when it carries none.
int TagOf(const QObject* sender) {
    if (sender == nullptr) return -1;
    bool ok = false;
    const int tag = sender->property("tag").toInt(&ok);
    return ok ? tag : -1;
}

bool IsChecked(const QObject* sender) {
    const auto* box = qobject_cast<const QCheckBox*>(sender);
    return box != nullptr && box->isChecked();
}

// Runs OpenDialog1 from the program's folder unless an earlier choice set
// another; false when the user cancelled.
bool ChooseFile(TR84xFwTool& window) {
    if (window.OpenDialog1.initialDir.isEmpty()) window.OpenDialog1.initialDir = ProgramFolder();
    return window.OpenDialog1.execute(&window);
}

}  // namespace

void TR84xFwTool::LoadBtnClick(QObject*) {
    // The chooser is modal: opened from a pump of a running update, it would
    // hold the update still until it closed.
    if (updateRunning_) return;
    StatusEdit->clear();
    if (!ChooseFile(*this)) return;
    // The change of the name reads the device again and checks the file.
    FwFilenameEdit->setText(QDir::toNativeSeparators(OpenDialog1.fileName));
    // Run stays usable even for a file the check refused: the engineer decides.
    UpdateBtn->setEnabled(true);
}

void TR84xFwTool::BackupBtnClick(QObject*) {
    if (updateRunning_) return;
    StatusEdit->clear();
    if (!ChooseFile(*this)) return;
    BackupFileEdit->setText(QDir::toNativeSeparators(OpenDialog1.fileName));
    UpdateBtn->setEnabled(true);
}

void TR84xFwTool::UpdateBtnClick(QObject*) {
    // One update at a time: pressed while YES or another Run works, Run
    // starts nothing and leaves the running one's status alone.
    UpdateSlot slot(*this);
    if (!slot.held()) return;
    UpdateBtn->setEnabled(false);
    CurrentPlatform().debugOutput("Update Btn Press\n");
    const uint8_t family = ChipFamily();
    const DeviceEntry* row = SelectedRow();
    StatusEdit->clear();
    // With no device at all the list shows only its placeholder item, and
    // row 0 may still name a device that has gone since.
    if (DeviceCount != 0 && row != nullptr) {
        const std::string device = row->DevicePath;
        RunGuarded(device.c_str(), false, [&](HeaderKeeper*) {
            RunForFamily(device.c_str(), family, FlashTypeList->currentIndex(), CurrentEngineOptions(), *this,
                         NvramSkip);
            return false;  // Run keeps nothing of the old flash
        });
        // Run's only report is the status field: it outlasts a postponed refresh.
        resultOnScreen_ = true;
    }
    UpdateBtn->setEnabled(true);
    slot.end();
}

void TR84xFwTool::EraseOnlyCheckClick(QObject* sender) {
    // Unchecking the other box raises its click, which runs this handler for
    // it to its end first; this run then decides every control.
    switch (TagOf(sender)) {
        case kEraseOnlyTag:
            if (ChipFamily() == 6) NVRAMCheck->show();
            if (IsChecked(sender)) BackupFWCheckBox->setChecked(false);
            break;
        case kBackupOnlyTag:
            if (IsChecked(sender)) EraseOnlyCheck->setChecked(false);
            break;
        default:
            break;
    }

    const bool eraseOnly = EraseOnlyCheck->isChecked();
    const bool backupOnly = BackupFWCheckBox->isChecked();
    const bool sizeChoice = ChipFamily() == 4 && (eraseOnly || backupOnly);
    FwSizeCheck->setEnabled(sizeChoice);
    FwSizeCheck->setVisible(sizeChoice);
    FwSizeLable->setVisible(sizeChoice);

    EraseOnly = eraseOnly ? 1 : 0;

    const bool deviceKnown = DeviceCount != 0 && ChipFamily() != 0;
    bool run = false;
    if (eraseOnly) {
        FwFilenameEdit->setEnabled(false);
        run = deviceKnown;
    } else {
        FwFilenameEdit->setEnabled(true);
        if (deviceKnown && !FwFilenameEdit->text().isEmpty()) {
            const QByteArray file = FwFilenameEdit->text().toLocal8Bit();
            run = CheckFirmwareFile(file.constData(), ChipId) != 0;
        }
    }
    // A backup needs no firmware file.
    if (!run && backupOnly) run = true;
    UpdateBtn->setEnabled(run);
}

void TR84xFwTool::FwSizeCheckChange(QObject*) {
    // A typed text that matches no item selects nothing: the size stays.
    const int index = FwSizeCheck->currentIndex();
    if (index >= 0 && static_cast<std::size_t>(index) < FirmwareSizeTable.size()) {
        FirmwareSize = FirmwareSizeTable[static_cast<std::size_t>(index)];
    }
}

void TR84xFwTool::FwPgSizeCheckChange(QObject*) {
    const int index = FwPgSizeCheck->currentIndex();
    if (index >= 0 && static_cast<std::size_t>(index) < TransferPageSizeTable.size()) {
        TransferPageSize = TransferPageSizeTable[static_cast<std::size_t>(index)];
    }
}

}  // namespace vxe
