#include "platform/sysfs_enumeration.h"

#include "platform/sysfs_attributes.h"

#include <algorithm>
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

constexpr int kPeripheralTypeDisk = 0;
constexpr int kPeripheralTypeCdRom = 5;

// A device the SCSI midlayer is taking away or has given up on is not present.
bool IsGone(const fs::path& scsiDevice) {
    std::optional<std::string> state = ReadSysfsAttribute(scsiDevice / "state");
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
        std::optional<int> number = SgNodeNumber(it->path().filename().string());
        if (!number) {
            continue;
        }
        const fs::path scsiDevice = it->path() / "device";
        if (ReadSysfsNumber(scsiDevice / "type") != wantedType || IsGone(scsiDevice)) {
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
