#include "ui/engineering_layout.h"

#include <QShortcut>

#include <algorithm>

#include "app/run_dispatch.h"
#include "ui/fwupdate.h"

namespace vxe {
namespace {

// Rows below the one-click set (which fills y 0 to 100): a rule, then the
// device, the readout, the flash type and transfer size, the firmware file,
// the status and Run, and the "RD Version" switch. Edits start at x 80 with
// their captions to their left; the right-hand column ends at x 403.
void PlaceControls(TR84xFwTool& w) {
    w.Panel1->setGeometry(8, 104, 395, 3);
    // The rule fills with its own navy, not the button face it inherits.
    w.Panel1->setBackgroundRole(QPalette::Window);

    w.diskLabel->setGeometry(8, 116, 68, 13);
    w.DeviceList->setGeometry(80, 112, 225, 21);
    w.RefreshBtn->setGeometry(312, 110, 91, 25);

    w.ChipLabelEdit->setGeometry(80, 140, 129, 21);
    w.FwVerLableEdit->setGeometry(314, 140, 89, 21);

    w.DiskLetterLable->setGeometry(80, 166, 89, 21);
    w.SFlashTypeLable->setGeometry(314, 166, 89, 21);

    w.FlashTypeLabel->setGeometry(22, 196, 55, 13);
    w.FlashTypeList->setGeometry(80, 192, 145, 21);
    w.Label1->setGeometry(230, 196, 80, 13);  // wide enough for its caption
    w.FwPgSizeCheck->setGeometry(314, 192, 89, 21);

    w.FwFilenameEdit->setGeometry(80, 222, 241, 21);
    w.LoadBtn->setGeometry(328, 220, 75, 25);

    w.StatusEdit->setGeometry(80, 250, 241, 21);
    w.UpdateBtn->setGeometry(328, 248, 75, 25);

    w.RdCheckBox->setGeometry(8, 278, 81, 17);
    // Where the form's face is substituted the NVRAM caption runs wider than
    // its box; the panel has room to its right.
    w.NVRAMCheck->resize(std::max(w.NVRAMCheck->width(), w.NVRAMCheck->sizeHint().width()), w.NVRAMCheck->height());
    // "RD Version" grows the window by the panel's height: the panel then
    // fills exactly the added strip.
    w.RdPanel->move(0, kEngineeringClientHeight);
}

}  // namespace

void ShowEngineeringLayout(TR84xFwTool& w) {
    PlaceControls(w);
    for (QWidget* control : std::initializer_list<QWidget*>{
             w.Panel1, w.diskLabel, w.DeviceList, w.RefreshBtn, w.ChipLabelEdit, w.FwVerLableEdit,
             w.DiskLetterLable, w.Label1, w.FwPgSizeCheck, w.FwFilenameEdit, w.LoadBtn, w.StatusEdit,
             w.UpdateBtn, w.RdCheckBox}) {
        control->show();
    }
    // The readout shows the flash type and the A1 and NVRAM boxes by family;
    // the parallel-flash type list it only leaves as it finds it, so it is
    // offered here when the selected chip needs it.
    const bool parallel = ProcedureForFamily(w.ChipFamily()) == RunProcedure::ParallelFlashUpdate;
    w.FlashTypeList->setVisible(parallel);
    w.FlashTypeLabel->setVisible(parallel);

    const int panel = w.RdPanel->isHidden() ? 0 : w.RdPanel->height();
    w.setFixedSize(kEngineeringClientWidth, kEngineeringClientHeight + panel);
}

QShortcut* InstallEngineeringChord(TR84xFwTool& window) {
    auto* chord = new QShortcut(QKeySequence(EngineeringChord), &window);
    chord->setObjectName(QStringLiteral("EngineeringChord"));
    chord->setContext(Qt::WindowShortcut);
    QObject::connect(chord, &QShortcut::activated, &window, [&window] { ShowEngineeringLayout(window); });
    return chord;
}

}  // namespace vxe
