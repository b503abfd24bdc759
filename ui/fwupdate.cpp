#include "ui/fwupdate.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QVariant>

#include <algorithm>
#include <cstring>

#include "chip/chip_readout.h"
#include "device/vendor_commands.h"
#include "flash/one_click_update.h"
#include "app/discovery_pass.h"
#include "ui/engineering_layout.h"
#include "ui/shown_result.h"
#include "app/size_settings.h"

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

const QColor kPureRed(255, 0, 0);

// A label draws its text in the role that contrasts with its background, and
// the window's background is the button face: both roles get the colour.
void SetTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::ButtonText, color);
    label->setPalette(palette);
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
        if (DeviceTable[row].DetachAtExit != 0) HostDetach(DeviceTable[row].DevicePath);
    }
}

void TR84xFwTool::BuildForm() {
    SubstituteFormFonts();
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
        });
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

const DeviceEntry* TR84xFwTool::SelectedRow() const {
    const int index = DeviceList->currentIndex();
    if (index < 0 || static_cast<size_t>(index) >= DeviceTable.size()) return nullptr;
    return &DeviceTable[static_cast<size_t>(index)];
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
