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

std::optional<std::filesystem::path> StateFolderPath() {
    const std::optional<std::filesystem::path> base = BaseFolder();
    if (!base) return std::nullopt;
    return *base / "vxe-fwupdate";
}

std::optional<std::filesystem::path> StateFolder(std::string* problem) {
    const std::optional<std::filesystem::path> base = BaseFolder();
    if (!base) {
#ifdef _WIN32
        if (problem != nullptr) *problem = "no state folder: LOCALAPPDATA is not set to an absolute path";
#else
        if (problem != nullptr) *problem = "no state folder: neither XDG_STATE_HOME nor HOME is set to an absolute path";
#endif
        return std::nullopt;
    }
    const std::filesystem::path folder = *base / "vxe-fwupdate";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::error_code isFolder;
    if (!std::filesystem::is_directory(folder, isFolder)) {
        if (problem != nullptr) {
            *problem = folder.string() + ": " +
                       (ec ? ec.message() : std::string("not a folder, and no folder can be made there"));
        }
        return std::nullopt;
    }
    return folder;
}

}  // namespace vxe
