// Where the utility keeps what must outlive a run: $XDG_STATE_HOME/vxe-fwupdate,
// else ~/.local/state/vxe-fwupdate (on Windows %LOCALAPPDATA%\vxe-fwupdate).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace vxe {

// The folder, created when it is missing; nothing when there is no home to
// put it in or it cannot be created, and then, in `problem` when given, which
// folder and why.
std::optional<std::filesystem::path> StateFolder(std::string* problem = nullptr);

// Where the folder is or would be, without making it (nothing when there is
// no home to put it in): for looking only.
std::optional<std::filesystem::path> StateFolderPath();

}  // namespace vxe
