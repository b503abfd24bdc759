// The guards both front ends share, as the window applies them around YES
// and Run, and what the window shows when another procedure holds the device.
#include <QColor>
#include <QPalette>

#include <filesystem>
#include <optional>
#include <string>

#include "app/device_lock.h"
#include "app/kept_header.h"
#include "app/write_guard.h"
#include "device/vendor_commands.h"
#include "platform/platform.h"
#include "platform/pumped_waits.h"
#include "ui/fwupdate.h"

namespace vxe {
namespace {

// The window offers no header file of its own; it keeps the device's old
// header and names the file in the debugger output and the status field's tip.
class WindowHeaderKeeper final : public HeaderKeeper {
public:
    WindowHeaderKeeper(std::string device, TR84xFwTool& window) : device_(std::move(device)), window_(window) {}

    bool keep(std::span<const uint8_t, 128> header) override {
        std::string problem;
        const std::optional<std::filesystem::path> file = KeepOldHeader(device_, header, problem);
        if (!file) {
            // Nothing is written without a way back.
            CurrentPlatform().debugOutput("The old header could not be kept: " + problem + "\n");
            window_.StatusEdit->setToolTip(QString::fromLocal8Bit(("The old header could not be kept: " + problem).c_str()));
            return false;
        }
        CurrentPlatform().debugOutput("Old header kept in " + file->string() + "\n");
        window_.StatusEdit->setToolTip(QString::fromLocal8Bit(("Old header kept in " + file->string()).c_str()));
        return true;
    }
    std::optional<std::array<uint8_t, 128>> fallback() override { return std::nullopt; }

private:
    std::string device_;
    TR84xFwTool& window_;
};

}  // namespace

bool TR84xFwTool::RunGuarded(const char* device, bool keepHeader,
                             const std::function<void(HeaderKeeper*)>& procedure) {
    const DeviceLock lock = LockDevice(device);
    if (!lock.held()) {
        ShowDeviceBusy(LockRefusal(lock, device));
        return false;
    }
    WindowHeaderKeeper keeper(device, *this);
    int deferred = 0;
    {
        WriteGuard guard(device);
        {
            // Every wait of the procedure lets the window repaint and answer
            // (the accessibility bus included), one ready poll at a time;
            // the update slot keeps what it takes in from starting anything.
            const PumpedWaits pumped(kFlashReadyPollMs, [this] { processMessages(); });
            procedure(keepHeader ? &keeper : nullptr);
        }
        deferred = guard.deferredSignal();
        if (guard.deviceChanged()) CurrentPlatform().debugOutput(DeviceChangedNote(device) + "\n");
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
