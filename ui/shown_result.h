// What the window shows of an update's result (the prompt line and its
// colour, the buttons of the one-click set, the status field), taken before
// a refresh and put back after it, so that the refresh updates the device
// list without wiping a result the user has not seen yet.
#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QPalette>
#include <QString>

#include <array>
#include <utility>

#include "ui/fwupdate.h"

namespace vxe {

class ShownResult {
public:
    explicit ShownResult(TR84xFwTool& window)
        : window_(window),
          prompt_(window.devLable->text()),
          promptPalette_(window.devLable->palette()),
          status_(window.StatusEdit->text()),
          widgets_{Saved(window.devLable), Saved(window.replugLable1), Saved(window.EraseButton),
                   Saved(window.ExitBtn), Saved(window.ExtBtn)} {}

    void restore() {
        window_.devLable->setText(prompt_);
        window_.devLable->setPalette(promptPalette_);
        window_.StatusEdit->setText(status_);
        for (const auto& [widget, hidden, enabled] : widgets_) {
            widget->setHidden(hidden);
            widget->setEnabled(enabled);
        }
    }

private:
    struct Widget {
        QWidget* widget;
        bool hidden;
        bool enabled;
    };
    static Widget Saved(QWidget* widget) { return Widget{widget, widget->isHidden(), widget->isEnabled()}; }

    TR84xFwTool& window_;
    QString prompt_;
    QPalette promptPalette_;
    QString status_;
    std::array<Widget, 5> widgets_;
};

}  // namespace vxe
