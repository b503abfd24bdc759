// The utility's one window. It carries the end user's one-click controls and
// the engineering controls (all drawn from the form in resources/fwupdate.ui),
// keeps the state that discovery, readout and the update procedures share,
// and shows the procedures' status and progress.
#pragma once

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "flash/engine_options.h"
#include "flash/status_sink.h"
#include "app/device_entry.h"
#include "ui/device_notifications.h"
#include "ui/file_open_dialog.h"
#include "ui_fwupdate.h"

namespace vxe {

class TR84xFwTool;

// The window of this process; set before the window's constructor body runs,
// so that handlers run from the constructor may use it, and cleared when that
// window goes away (or never finished being built).
extern TR84xFwTool* R84xFwTool;

class TR84xFwTool : public QWidget, public Ui::FwUpdateForm, public StatusSink {
    Q_OBJECT

public:
    struct AsCreatedTag {
        explicit AsCreatedTag() = default;
    };
    // Selects the constructor that only builds the window from its form and
    // binds the events, without the start-up steps.
    static constexpr AsCreatedTag AsCreated{};

    // The window as the program starts it: as created, then the start-up steps.
    explicit TR84xFwTool(QWidget* owner = nullptr);
    TR84xFwTool(QWidget* owner, AsCreatedTag);
    ~TR84xFwTool() override;

    TR84xFwTool(const TR84xFwTool&) = delete;
    TR84xFwTool& operator=(const TR84xFwTool&) = delete;

    // Event handlers; `sender` is the control that raised the event. Virtual
    // so that a test can watch which events reach which handler.
    virtual void RefreshBtnClick(QObject* sender);
    virtual void LoadBtnClick(QObject* sender);
    virtual void BackupBtnClick(QObject* sender);
    virtual void UpdateBtnClick(QObject* sender);
    virtual void EraseButtonClick(QObject* sender);
    virtual void ExitBtnClick(QObject* sender);
    virtual void RdCheckBoxClick(QObject* sender);
    virtual void EraseOnlyCheckClick(QObject* sender);
    virtual void UpdateBtnCheck(QObject* sender);
    virtual void FwSizeCheckChange(QObject* sender);
    virtual void FwPgSizeCheckChange(QObject* sender);

    // Device notices, as the window receives them: arrival and
    // removal refresh the device list, any other code is ignored.
    void WMDeviceChange(uint32_t eventCode);
    // The window's create event: starts following device notices.
    void FormCreate(QObject* sender);

    // Changes the client height by `delta` pixels; the frame stays fixed.
    void ChangeHeightBy(int delta);

    // One update at a time, whoever starts it (YES or Run). BeginUpdate is
    // false while another update works; EndUpdate runs a refresh that a
    // device notice asked for meanwhile, and a close the user asked for.
    bool BeginUpdate();
    void EndUpdate();
    bool UpdateRunning() const { return updateRunning_; }

    // The update slot for one handler: taken when built, given back when the
    // handler ends, also when an exception leaves it (without the pending
    // refresh then, which could throw in its turn), so the window can always
    // be closed afterwards.
    class UpdateSlot {
    public:
        explicit UpdateSlot(TR84xFwTool& window) : window_(window), held_(window.BeginUpdate()) {}
        ~UpdateSlot() {
            if (held_) window_.updateRunning_ = false;
        }
        UpdateSlot(const UpdateSlot&) = delete;
        UpdateSlot& operator=(const UpdateSlot&) = delete;
        bool held() const { return held_; }
        // The normal end: EndUpdate with what it runs.
        void end() {
            held_ = false;
            window_.EndUpdate();
        }

    private:
        TR84xFwTool& window_;
        bool held_;
    };

    // The exit status the program ends with: 0, or 128 + a signal that came
    // while the flash was being written and was held back to the end.
    int ExitStatus() const { return exitStatus_; }

    // What the procedures read from the window, as plain values.
    EngineOptions CurrentEngineOptions() const;
    // The device row selected in DeviceList, or null when none is.
    const DeviceEntry* SelectedRow() const;

    // Low byte of ChipId: the chip family code.
    uint8_t ChipFamily() const { return static_cast<uint8_t>(ChipId & 0xFF); }
    // High byte of ChipId: the chip revision or variant code.
    uint8_t ChipRevision() const { return static_cast<uint8_t>(ChipId >> 8); }

    // Status and progress of the procedures: the status text lives in
    // StatusEdit (also while it is hidden), the progress in FwUpdatBar.
    std::string statusText() const override;
    void setStatusText(std::string_view text) override;
    void advanceProgress(int step) override;
    void processMessages() override;
    void repaintStatus() override;

protected:
    void closeEvent(QCloseEvent* event) override;
#ifdef _WIN32
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    // Sets R84xFwTool to the window and clears it again when the window goes
    // away; declared first so that it runs before anything else is built.
    class Registration {
    public:
        explicit Registration(TR84xFwTool* window);
        ~Registration();
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

    private:
        TR84xFwTool* window_;
    };
    Registration registration_{this};

public:
    FileOpenDialog OpenDialog1{QStringLiteral("BinaryFile|*.bin|All Files|*.*")};

    // The window's state; every field is 0 when the window is created.
    DeviceTableRows DeviceTable{};
    int32_t DeviceCount = 0;
    int32_t EraseOnly = 0;
    int32_t AmicFlashCode = 0;
    int32_t NvramSkip = 0;
    uint16_t ChipId = 0;

private:
    void BuildForm();
    void BindEvents();
    void RunStartupSteps();
    void ShowPrompt(bool listed, bool alreadyUpdated);
    void RefreshDeviceList(QObject* sender);

    // Runs a procedure that writes the device's flash under the shared
    // guards: the device lock (false, and the window says why, when another
    // procedure holds the device), held-back signals, the sleep inhibitor,
    // writes only to the device it started on. With `keepHeader` the
    // procedure gets a keeper for the device's old header.
    bool RunGuarded(const char* device, bool keepHeader, const std::function<bool(HeaderKeeper*)>& procedure);
    void ShowDeviceBusy(const std::string& why);

    bool updateRunning_ = false;
    bool refreshPending_ = false;
    bool readoutPending_ = false;
    QObject* readoutSender_ = nullptr;
    bool closeRequested_ = false;
    // The last guarded procedure's device left its node (a write was held
    // back, or the verify may have read another device).
    bool deviceChangedInRun_ = false;
    // The last update's result stays on screen through refreshes until the
    // user acts or a device arrives after it.
    bool resultOnScreen_ = false;
    int exitStatus_ = 0;
    std::unique_ptr<DeviceNotificationSource> notifications_;
};

}  // namespace vxe
