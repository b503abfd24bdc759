// Reading sysfs: attribute files and the names of SCSI generic nodes. Every
// read is bounded and nothing here throws, so a strange tree costs nothing.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vxe {

// The first line of a sysfs attribute, without the newline; nullopt when the
// file cannot be read, is not a plain file or is longer than an attribute.
std::optional<std::string> ReadSysfsAttribute(const std::filesystem::path& file);

// The attribute as a decimal number (leading blanks allowed).
std::optional<long long> ReadSysfsNumber(const std::filesystem::path& file);

// N for a node name "sgN" whose number fits an int, else nullopt.
std::optional<int> SgNodeNumber(std::string_view name);

}  // namespace vxe
