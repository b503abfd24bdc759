// The engineering layout: the window's own controls for engineers (device
// list, readout, firmware file, Run, sizes and the "RD Version" switch),
// placed below the one-click set. End users never see it; a key chord on the
// window opens it, and nothing closes it again but closing the window.
#pragma once

#include <QKeyCombination>

class QShortcut;

namespace vxe {

class TR84xFwTool;

// Ctrl+Shift+Alt+E: out of reach of a stray key press, and it types no text
// into the edits while the one-click set has the focus.
inline constexpr QKeyCombination EngineeringChord = Qt::CTRL | Qt::SHIFT | Qt::ALT | Qt::Key_E;

// Client size of the engineering layout while RdPanel is hidden; checking
// "RD Version" adds RdPanel's height below it.
inline constexpr int kEngineeringClientWidth = 411;
inline constexpr int kEngineeringClientHeight = 302;

// Moves the engineering controls into their layout, shows "RD Version" and
// the controls the readout does not manage, and sizes the window. Applying
// it again changes nothing.
void ShowEngineeringLayout(TR84xFwTool& window);

// Binds EngineeringChord on `window` to ShowEngineeringLayout. The window
// owns the shortcut.
QShortcut* InstallEngineeringChord(TR84xFwTool& window);

}  // namespace vxe
