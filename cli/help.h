// The manual pages of fwupdate-cli and its commands.
#pragma once

#include <optional>
#include <string_view>

#include "cli/arguments.h"

namespace vxe::cli {

// The page of one command, or of the program when none is given.
std::string_view HelpText(std::optional<Command> command);

}  // namespace vxe::cli
