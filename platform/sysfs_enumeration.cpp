#include "platform/sysfs_enumeration.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

namespace vxe {
namespace {

namespace fs = std::filesystem;

// Bounds that keep a strange or hostile tree from costing unbounded work.
constexpr size_t kMaxScsiGenericEntries = 4096;
constexpr int kMaxAncestorLevels = 32;
constexpr size_t kMaxAttributeBytes = 64;

constexpr int kPeripheralTypeDisk = 0;
constexpr int kPeripheralTypeCdRom = 5;

// "sg" followed by a decimal number that fits an int.
std::optional<int> SgNumber(std::string_view name) {
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

// The first line of a sysfs attribute, without the newline; nullopt when the
// file cannot be read.
std::optional<std::string> ReadAttribute(const fs::path& file) {
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

std::optional<int> ReadIntAttribute(const fs::path& file) {
    std::optional<std::string> text = ReadAttribute(file);
    if (!text) {
        return std::nullopt;
    }
    int value = 0;
    const char* first = text->data();
    const char* last = text->data() + text->size();
    while (first != last && *first == ' ') ++first;
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc{} || first == end) {
        return std::nullopt;
    }
    return value;
}

// A device the SCSI midlayer is taking away or has given up on is not present.
bool IsGone(const fs::path& scsiDevice) {
    std::optional<std::string> state = ReadAttribute(scsiDevice / "state");
    if (!state) {
        return false;
    }
    return *state == "cancel" || *state == "deleted" || *state == "offline" || *state == "transport-offline";
}

// The driver of the nearest ancestor that has one: for a USB storage device
// that is the USB interface (the SCSI host and target in between have no
// driver); for any other disk it is the controller's driver.
std::optional<std::string> OwningDriver(const fs::path& scsiDevice) {
    std::error_code ec;
    fs::path dir = fs::canonical(scsiDevice, ec);
    if (ec) {
        return std::nullopt;
    }
    for (int level = 0; level < kMaxAncestorLevels; ++level) {
        fs::path parent = dir.parent_path();
        if (parent == dir || parent.empty()) {
            return std::nullopt;
        }
        dir = std::move(parent);
        fs::path driverLink = dir / "driver";
        if (!fs::is_symlink(driverLink, ec)) {
            continue;
        }
        fs::path target = fs::read_symlink(driverLink, ec);
        if (ec) {
            return std::nullopt;
        }
        return target.filename().string();
    }
    return std::nullopt;
}

}  // namespace

std::vector<std::string> EnumerateUsbStorageSgNodes(const fs::path& sysfsRoot, InterfaceClass cls) {
    const int wantedType = cls == InterfaceClass::Disk ? kPeripheralTypeDisk : kPeripheralTypeCdRom;
    std::vector<int> found;

    std::error_code ec;
    fs::directory_iterator it(sysfsRoot / "class" / "scsi_generic", ec);
    size_t visited = 0;
    for (; !ec && it != fs::directory_iterator() && visited < kMaxScsiGenericEntries; it.increment(ec), ++visited) {
        std::optional<int> number = SgNumber(it->path().filename().string());
        if (!number) {
            continue;
        }
        const fs::path scsiDevice = it->path() / "device";
        if (ReadIntAttribute(scsiDevice / "type") != wantedType || IsGone(scsiDevice)) {
            continue;
        }
        std::optional<std::string> driver = OwningDriver(scsiDevice);
        if (driver == "usb-storage" || driver == "uas") {
            found.push_back(*number);
        }
    }

    std::sort(found.begin(), found.end());
    std::vector<std::string> nodes;
    nodes.reserve(found.size());
    for (int number : found) {
        nodes.push_back("/dev/sg" + std::to_string(number));
    }
    return nodes;
}

}  // namespace vxe
