// The one-click window's red and black prompts, shared by its refresh and
// its update handlers.
#pragma once

#include <QColor>
#include <QLabel>
#include <QPalette>

namespace vxe {

inline const QColor kPureRed(255, 0, 0);

// A label draws its text in the role that contrasts with its background, and
// the window's background is the button face: both roles get the colour.
inline void SetTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::ButtonText, color);
    label->setPalette(palette);
}

}  // namespace vxe
