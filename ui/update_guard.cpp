// The guards both front ends share, as the window applies them around YES
// and Run, and what the window shows when another procedure holds the device.
#include <QColor>
#include <QPalette>

#include <filesystem>
#include <optional>
#include <string>

#include "app/device_lock.h"
#include "app/identity_watch.h"
#include "app/old_flash_keeper.h"
#include "app/write_guard.h"
#include "device/vendor_commands.h"
#include "platform/platform.h"
#include "platform/pumped_waits.h"
#include "ui/fwupdate.h"

namespace vxe {

bool TR84xFwTool::RunGuarded(const char* device, bool keepHeader,
                             const std::function<bool(HeaderKeeper*)>& procedure) {
    // The device is fixed before the procedure's first command.
    deviceChangedInRun_ = false;
    DevicePin pin(device);
    const DeviceLock lock = LockDevice(device);
    if (!lock.held()) {
        ShowDeviceBusy(LockRefusal(lock, device));
        return false;
    }
    // The window offers no file of its own: it keeps the device's old flash,
    // writes back a cut-off update's, and names the file in the debugger
    // output and the status field's tip.
    OldFlashKeeper keeper({device, pin.identity(), "", [&](const std::filesystem::path& file) {
                               const std::string text = "Old header kept in " + file.string();
                               CurrentPlatform().debugOutput(text + "\n");
                               StatusEdit->setToolTip(QString::fromLocal8Bit(text.c_str()));
                           }});
    int deferred = 0;
    bool verified = false;
    {
        WriteGuard guard(device);
        {
            // Every wait of the procedure lets the window repaint and answer
            // (the accessibility bus included), one ready poll at a time;
            // the update slot keeps what it takes in from starting anything.
            const PumpedWaits pumped(kFlashReadyPollMs, [this] { processMessages(); });
            verified = procedure(keepHeader ? &keeper : nullptr);
        }
        deferred = guard.deferredSignal();
        deviceChangedInRun_ = guard.deviceChanged();
        if (deviceChangedInRun_) CurrentPlatform().debugOutput(DeviceChangedNote(device) + "\n");
        verified = verified && !deviceChangedInRun_;
    }
    if (keepHeader) keeper.finish(verified);
    if (!keeper.problem().empty()) {
        // Nothing is written without a way back, or over a cut-off update.
        CurrentPlatform().debugOutput(keeper.problem() + "\n");
        StatusEdit->setToolTip(QString::fromLocal8Bit(keeper.problem().c_str()));
    }
    if (deferred != 0) {
        // The result is shown; then the program ends as the signal asked.
        CurrentPlatform().debugOutput(InterruptionNote(deferred) + "\n");
        exitStatus_ = ExitStatusForSignal(deferred);
        closeRequested_ = true;
    }
    return true;
}

void TR84xFwTool::ShowDeviceBusy(const std::string& why) {
    const QString text = QString::fromLocal8Bit(why.c_str());
    StatusEdit->setText(text);
    if (!RdCheckBox->isChecked()) {
        // The one-click set has no status field: the prompt line says it, and
        // YES stays offered for when the other procedure is done.
        QPalette palette = devLable->palette();
        palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
        palette.setColor(QPalette::ButtonText, QColor(255, 0, 0));
        devLable->setPalette(palette);
        devLable->setText(QStringLiteral("   Another program is updating this device"));
        devLable->setToolTip(text);
        devLable->show();
    }
}

}  // namespace vxe
