// The engineering panel's handlers: firmware and backup file choosers, Run,
// the erase-only and backup-only options and the two size settings.
#include "ui/fwupdate.h"

#include "ui/size_settings.h"

namespace vxe {

void TR84xFwTool::LoadBtnClick(QObject*) {
    // Filled later: choosing a firmware file.
}

void TR84xFwTool::BackupBtnClick(QObject*) {
    // Filled later: choosing a backup file.
}

void TR84xFwTool::UpdateBtnClick(QObject*) {
    // Filled later: the engineering update for the selected chip family.
}

void TR84xFwTool::EraseOnlyCheckClick(QObject*) {
    // Filled later: the exclusive erase-only and backup-only options.
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
