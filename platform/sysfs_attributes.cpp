#include "platform/sysfs_attributes.h"

#include <array>
#include <charconv>
#include <fstream>
#include <system_error>

namespace vxe {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxAttributeBytes = 64;

}  // namespace

std::optional<std::string> ReadSysfsAttribute(const fs::path& file) {
    // Only plain files: opening anything else (a FIFO in an odd tree) could block.
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    // One byte more than allowed tells a truncated value from a whole one.
    std::array<char, kMaxAttributeBytes + 1> buffer{};
    in.read(buffer.data(), buffer.size());
    const auto length = static_cast<size_t>(in.gcount());
    if (in.bad() || length > kMaxAttributeBytes) {
        return std::nullopt;
    }
    std::string text(buffer.data(), length);
    if (auto newline = text.find('\n'); newline != std::string::npos) {
        text.resize(newline);
    }
    return text;
}

std::optional<long long> ReadSysfsNumber(const fs::path& file) {
    std::optional<std::string> text = ReadSysfsAttribute(file);
    if (!text) {
        return std::nullopt;
    }
    long long value = 0;
    const char* first = text->data();
    const char* last = text->data() + text->size();
    while (first != last && *first == ' ') ++first;
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc{} || first == end) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> SgNodeNumber(std::string_view name) {
    if (name.size() < 3 || name.size() > 11 || name.substr(0, 2) != "sg") {
        return std::nullopt;
    }
    int number = 0;
    const char* first = name.data() + 2;
    const char* last = name.data() + name.size();
    auto [end, ec] = std::from_chars(first, last, number);
    if (ec != std::errc{} || end != last || number < 0) {
        return std::nullopt;
    }
    return number;
}

}  // namespace vxe
