#include "ui/fwupdate.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFont>
#include <QVariant>

#include <algorithm>

#include "ui/size_settings.h"

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

TR84xFwTool::~TR84xFwTool() = default;

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
    const auto onClick = [this](QAbstractButton* button, Handler handler) {
        connect(button, &QAbstractButton::clicked, this, [this, button, handler] { (this->*handler)(button); });
    };
    // A check box raises its click for every real change of its state, also
    // one made by code; setting the state it already has raises nothing.
    const auto onCheckChange = [this](QCheckBox* box, Handler handler) {
        connect(box, &QCheckBox::toggled, this, [this, box, handler] { (this->*handler)(box); });
    };
    // Only the user's choice raises a change: selecting an item from code
    // stays silent, so callers that fill a list run the readout themselves.
    const auto onUserChoice = [this](QComboBox* box, Handler handler) {
        connect(box, &QComboBox::activated, this, [this, box, handler] { (this->*handler)(box); });
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
}

void TR84xFwTool::RunStartupSteps() {
    // Filled later: the erase-only flag, the first refresh, the switch to the
    // one-click layout and the registration for device notifications.
}

void TR84xFwTool::ChangeHeightBy(int delta) { setFixedSize(width(), std::max(0, height() + delta)); }

void TR84xFwTool::RefreshBtnClick(QObject*) {
    // Filled later: device discovery and the prompt.
}

void TR84xFwTool::LoadBtnClick(QObject*) {
    // Filled later: choosing a firmware file.
}

void TR84xFwTool::BackupBtnClick(QObject*) {
    // Filled later: choosing a backup file.
}

void TR84xFwTool::UpdateBtnClick(QObject*) {
    // Filled later: the engineering update for the selected chip family.
}

void TR84xFwTool::EraseButtonClick(QObject*) {
    // Filled later: the one-click update.
}

void TR84xFwTool::RdCheckBoxClick(QObject*) {
    // Filled later: switching between the one-click and engineering layouts.
}

void TR84xFwTool::EraseOnlyCheckClick(QObject*) {
    // Filled later: the exclusive erase-only and backup-only options.
}

void TR84xFwTool::UpdateBtnCheck(QObject*) {
    // Filled later: the chip status readout of the selected device.
}

void TR84xFwTool::ExitBtnClick(QObject*) {
    // Closing the last window ends the message loop and with it the program.
    close();
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

}  // namespace vxe
