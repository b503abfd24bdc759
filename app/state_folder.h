// Where the utility keeps what must outlive a run: $XDG_STATE_HOME/vxe-fwupdate,
// else ~/.local/state/vxe-fwupdate (on Windows %LOCALAPPDATA%\vxe-fwupdate).
#pragma once

#include <filesystem>
#include <optional>

namespace vxe {

// The folder, created when it is missing; nothing when there is no home to
// put it in or it cannot be created.
std::optional<std::filesystem::path> StateFolder();

}  // namespace vxe
