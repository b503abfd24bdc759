// Resources built into the program (the firmware image travels this way):
// a table generated at build time from the files under resources/, or on
// Windows the program's own executable resources.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vxe {

struct EmbeddedResource {
    std::string_view name;
    std::string_view type;
    std::span<const uint8_t> bytes;
};

#ifndef _WIN32
// The generated table (on Windows the program's resources take its place).
std::span<const EmbeddedResource> BuiltInResources();
#endif

// Empty when the program carries no such resource.
std::span<const uint8_t> FindBuiltInResource(std::string_view name, std::string_view type);

}  // namespace vxe
