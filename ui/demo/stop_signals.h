// Ctrl+C (SIGINT) and SIGTERM end the demo as closing its window does: the
// windows are asked to close, so a running update first goes on to its end
// and the enclosures' flash files are left whole.
#pragma once

namespace vxe::demo {

// Call once the application object exists. Does nothing on Windows.
void CloseWindowsOnStopSignals();

}  // namespace vxe::demo
