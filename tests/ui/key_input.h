// Keys as a user types them into a widget: the shortcut map sees each press
// first, as with real input, then the widget gets the press and the release.
// Qt's test library does the same; the Windows build's Qt has no test library.
#pragma once

#include <QString>
#include <Qt>

class QWidget;

namespace vxe::test {

void KeyClick(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// One click per character, the character as the typed text.
void KeyClicks(QWidget* widget, const QString& text);

}  // namespace vxe::test
