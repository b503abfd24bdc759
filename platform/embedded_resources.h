// Resources built into the program (the firmware image travels this way).
// The table is generated at build time from the files under resources/.
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

std::span<const EmbeddedResource> BuiltInResources();

// Empty when the program carries no such resource.
std::span<const uint8_t> FindBuiltInResource(std::string_view name, std::string_view type);

}  // namespace vxe
