#include "ui/fwupdate.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCloseEvent>
#include <QFont>
#include <QVariant>

#include <algorithm>

#include "app/write_guard.h"
#include "device/vendor_commands.h"
#include "ui/engineering_layout.h"
#include "ui/window_accessibility.h"

namespace vxe {

TR84xFwTool* R84xFwTool = nullptr;

namespace {

// The form names the fonts by family; their character heights are in pixels,
// which Designer's font property cannot carry, so the form gives them as
// "fontPixelSize" and they are applied here.
void ApplyFormPixelSizes(QWidget* form) {
    QList<QWidget*> widgets{form};
    widgets += form->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        const QVariant pixelSize = widget->property("fontPixelSize");
        if (!pixelSize.isValid()) continue;
        QFont font = widget->font();
        font.setPixelSize(pixelSize.toInt());
        widget->setFont(font);
    }
}

// The form's default face is a Windows bitmap font that other systems lack;
// the closest metric match keeps the captions inside their controls.
void SubstituteFormFonts() {
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                QStringLiteral("Liberation Sans")});
}

}  // namespace

TR84xFwTool::Registration::Registration(TR84xFwTool* window) : window_(window) { R84xFwTool = window; }

TR84xFwTool::Registration::~Registration() {
    if (R84xFwTool == window_) R84xFwTool = nullptr;
}

TR84xFwTool::TR84xFwTool(QWidget* owner, AsCreatedTag) : QWidget(owner) {
    BuildForm();
    BindEvents();
}

TR84xFwTool::TR84xFwTool(QWidget* owner) : TR84xFwTool(owner, AsCreated) { RunStartupSteps(); }

TR84xFwTool::~TR84xFwTool() {
    notifications_.reset();
    const int32_t rows = std::clamp<int32_t>(DeviceCount, 0, static_cast<int32_t>(DeviceTable.size()));
    for (int32_t row = 0; row < rows; ++row) {
        if (DeviceTable[row].DetachAtExit == 0) continue;
        // A device another procedure took meanwhile keeps its attach.
        const DeviceLock lock = LockDevice(DeviceTable[row].DevicePath);
        if (lock.held()) HostDetach(DeviceTable[row].DevicePath);
    }
}

void TR84xFwTool::BuildForm() {
    SubstituteFormFonts();
    InstallWindowAccessibility();
    // A fixed dialog frame: caption and close box, no minimise or maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setupUi(this);
    ApplyFormPixelSizes(this);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    move(360, 280);
    setFixedSize(size());
}

void TR84xFwTool::BindEvents() {
    using Handler = void (TR84xFwTool::*)(QObject*);
    // A click or choice of the user's means the last result has been seen.
    const auto onClick = [this](QAbstractButton* button, Handler handler) {
        connect(button, &QAbstractButton::clicked, this, [this, button, handler] {
            resultOnScreen_ = false;
            (this->*handler)(button);
        });
    };
    // A check box raises its click for every real change of its state, also
    // one made by code; setting the state it already has raises nothing.
    const auto onCheckChange = [this](QCheckBox* box, Handler handler) {
        connect(box, &QCheckBox::toggled, this, [this, box, handler] { (this->*handler)(box); });
    };
    // Only the user's choice raises a change: selecting an item from code
    // stays silent, so callers that fill a list run the readout themselves.
    const auto onUserChoice = [this](QComboBox* box, Handler handler) {
        connect(box, &QComboBox::activated, this, [this, box, handler] {
            resultOnScreen_ = false;
            (this->*handler)(box);
        });
    };

    onClick(RefreshBtn, &TR84xFwTool::RefreshBtnClick);
    onClick(LoadBtn, &TR84xFwTool::LoadBtnClick);
    onClick(BackupBtn, &TR84xFwTool::BackupBtnClick);
    onClick(UpdateBtn, &TR84xFwTool::UpdateBtnClick);
    onClick(EraseButton, &TR84xFwTool::EraseButtonClick);
    onClick(ExitBtn, &TR84xFwTool::ExitBtnClick);
    onClick(ExtBtn, &TR84xFwTool::ExitBtnClick);

    onCheckChange(RdCheckBox, &TR84xFwTool::RdCheckBoxClick);
    onCheckChange(EraseOnlyCheck, &TR84xFwTool::EraseOnlyCheckClick);
    onCheckChange(BackupFWCheckBox, &TR84xFwTool::EraseOnlyCheckClick);

    // Every change of the file name, whoever makes it, re-reads the device.
    connect(FwFilenameEdit, &QLineEdit::textChanged, this, [this] { UpdateBtnCheck(FwFilenameEdit); });

    onUserChoice(DeviceList, &TR84xFwTool::UpdateBtnCheck);
    onUserChoice(FlashTypeList, &TR84xFwTool::UpdateBtnCheck);
    onUserChoice(FwSizeCheck, &TR84xFwTool::FwSizeCheckChange);
    onUserChoice(FwPgSizeCheck, &TR84xFwTool::FwPgSizeCheckChange);
    InstallEngineeringChord(*this);
}

void TR84xFwTool::RunStartupSteps() {
    EraseOnly = EraseOnlyCheck->isChecked() ? 1 : 0;
    RefreshBtnClick(RefreshBtn);    // the first device list exists before the window is shown
    RdCheckBoxClick(RdCheckBox);    // unchecked: the one-click layout
    FormCreate(this);               // only then follow device notices
}

void TR84xFwTool::ChangeHeightBy(int delta) { setFixedSize(width(), std::max(0, height() + delta)); }

void TR84xFwTool::RdCheckBoxClick(QObject* sender) {
    if (RdCheckBox->isChecked()) {
        RdPanel->show();
        ChangeHeightBy(RdPanel->height());
        return;
    }
    RdPanel->hide();
    ChangeHeightBy(-RdPanel->height());
    FwSizeCheck->hide();
    FwSizeLable->hide();
    FwFilenameEdit->setEnabled(true);
    UpdateBtn->setEnabled(false);
    UpdateBtnCheck(sender);
}

#ifdef _WIN32
void* RegisterUsbNotification(TR84xFwTool& window);
#endif

void TR84xFwTool::FormCreate(QObject*) {
#ifdef _WIN32
    RegisterUsbNotification(*this);
#endif
    notifications_ = MakeInstalledNotifications();
    if (notifications_) {
        connect(notifications_.get(), &DeviceNotificationSource::deviceChange, this,
                [this](uint32_t code) { WMDeviceChange(code); });
    }
}

void TR84xFwTool::WMDeviceChange(uint32_t eventCode) {
    if (eventCode == kDeviceRemoveComplete) {
        // The notice does not say which device left, and its node may be
        // given to the next one plugged: no row is detached at the end until
        // a refresh has found it again.
        for (DeviceEntry& row : DeviceTable) row.DetachAtExit = 0;
    }
    // A device plugged in after an update has ended: the user has moved on.
    if (eventCode == kDeviceArrival && !updateRunning_) resultOnScreen_ = false;
    if (eventCode == kDeviceArrival || eventCode == kDeviceRemoveComplete) RefreshBtnClick(RefreshBtn);
}

void TR84xFwTool::ExitBtnClick(QObject*) {
    // Closing the window ends the message loop and with it the program; a
    // running update goes on to its end first (see closeEvent).
    close();
}

void TR84xFwTool::closeEvent(QCloseEvent* event) {
    if (updateRunning_) {
        closeRequested_ = true;
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace vxe
