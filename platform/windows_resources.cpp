#ifdef _WIN32
// The images built into a Windows program are its executable resources.
#include <windows.h>

#include <string>

#include "platform/embedded_resources.h"

namespace vxe {

std::span<const uint8_t> FindBuiltInResource(std::string_view name, std::string_view type) {
    const std::string resourceName(name);
    const std::string resourceType(type);
    // The program's own module; the bytes stay mapped as long as it runs.
    HRSRC found = FindResourceA(nullptr, resourceName.c_str(), resourceType.c_str());
    if (found == nullptr) return {};
    const DWORD size = SizeofResource(nullptr, found);
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    // A size without its bytes would have the caller program whatever its
    // buffer held: no bytes, no image.
    if (data == nullptr || size == 0) return {};
    return {static_cast<const uint8_t*>(data), size};
}

}  // namespace vxe
#endif
