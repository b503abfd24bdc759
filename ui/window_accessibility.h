// What assistive technology (a screen reader, through the accessibility bus)
// is told about the window: that it is a window, not a pane inside one, and
// only of the controls it draws. The one-click layout keeps the engineering
// controls in the same window below its 100-pixel client area, and a hidden
// list's items still claim to be showing; a screen reader would read them all.
#pragma once

namespace vxe {

// Makes the window's accessible interface the one below. Called before the
// window is built; installing twice changes nothing.
void InstallWindowAccessibility();

}  // namespace vxe
