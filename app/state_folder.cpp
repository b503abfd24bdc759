#include "app/state_folder.h"

#include <cstdlib>
#include <system_error>

namespace vxe {
namespace {

std::optional<std::filesystem::path> FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    const std::filesystem::path path(value);
    // A relative base would depend on the folder the program was started in.
    if (!path.is_absolute()) return std::nullopt;
    return path;
}

std::optional<std::filesystem::path> BaseFolder() {
#ifdef _WIN32
    return FromEnvironment("LOCALAPPDATA");
#else
    if (auto state = FromEnvironment("XDG_STATE_HOME")) return state;
    if (auto home = FromEnvironment("HOME")) return *home / ".local" / "state";
    return std::nullopt;
#endif
}

}  // namespace

std::optional<std::filesystem::path> StateFolder() {
    const std::optional<std::filesystem::path> base = BaseFolder();
    if (!base) return std::nullopt;
    const std::filesystem::path folder = *base / "vxe-fwupdate";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) return std::nullopt;
    return folder;
}

}  // namespace vxe
