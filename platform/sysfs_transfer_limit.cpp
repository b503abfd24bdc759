#include "platform/sysfs_transfer_limit.h"

#include <algorithm>
#include <optional>
#include <system_error>

#include "platform/platform.h"
#include "platform/sysfs_attributes.h"

namespace vxe {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxBlockEntries = 16;
constexpr uint64_t kSectorBytes = 512;
constexpr uint64_t kKibBytes = 1024;

std::optional<uint64_t> PositiveBytes(std::optional<long long> count, uint64_t unit) {
    if (!count || *count <= 0) return std::nullopt;
    return static_cast<uint64_t>(*count) * unit;
}

// The tightest max_hw_sectors_kb among the node's block devices (one, as a rule).
std::optional<uint64_t> QueueLimit(const fs::path& scsiDevice) {
    std::optional<uint64_t> limit;
    std::error_code ec;
    fs::directory_iterator it(scsiDevice / "block", ec);
    for (size_t visited = 0; !ec && it != fs::directory_iterator() && visited < kMaxBlockEntries;
         it.increment(ec), ++visited) {
        const auto bytes = PositiveBytes(ReadSysfsNumber(it->path() / "queue" / "max_hw_sectors_kb"), kKibBytes);
        if (bytes) limit = std::min(limit.value_or(*bytes), *bytes);
    }
    return limit;
}

}  // namespace

uint32_t SgTransferLimit(const fs::path& sysfsRoot, std::string_view devicePath) {
    const size_t slash = devicePath.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? devicePath : devicePath.substr(slash + 1);
    if (!SgNodeNumber(name)) return kNoTransferLimit;

    const fs::path scsiDevice = sysfsRoot / "class" / "scsi_generic" / std::string(name) / "device";
    std::optional<uint64_t> limit = QueueLimit(scsiDevice);
    if (!limit) limit = PositiveBytes(ReadSysfsNumber(scsiDevice / "max_sectors"), kSectorBytes);
    if (!limit) return kNoTransferLimit;
    return static_cast<uint32_t>(std::min<uint64_t>(*limit, kNoTransferLimit));
}

}  // namespace vxe
