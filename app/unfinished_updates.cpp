#include "app/unfinished_updates.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "app/kept_header.h"
#include "app/state_folder.h"

namespace vxe {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMarkExtension = ".unfinished";
constexpr std::string_view kIdentityKey = "identity=";
constexpr std::string_view kDeviceKey = "device=";

// One line each: a value with a line break in it could not be read back.
bool FitsOnALine(std::string_view text) { return text.find_first_of("\r\n") == std::string_view::npos; }

}  // namespace

fs::path UnfinishedMarkFor(const fs::path& keptFile) {
    fs::path mark = keptFile;
    mark += kMarkExtension;
    return mark;
}

bool MarkUnfinished(const fs::path& keptFile, std::string_view identity, std::string_view device,
                    std::string& problem) {
    if (!FitsOnALine(identity) || !FitsOnALine(device)) {
        problem = "the device's name holds a line break; its update cannot be marked as begun";
        return false;
    }
    const std::string text = std::string(kIdentityKey) + std::string(identity) + "\n" + std::string(kDeviceKey) +
                             std::string(device) + "\n";
    return RewriteKeptFile(UnfinishedMarkFor(keptFile),
                           std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), problem);
}

void MarkFinished(const fs::path& keptFile) {
    std::error_code ec;
    fs::remove(UnfinishedMarkFor(keptFile), ec);
}

std::vector<UnfinishedUpdate> UnfinishedUpdates() {
    std::vector<UnfinishedUpdate> found;
    const std::optional<fs::path> folder = StateFolderPath();  // looking makes nothing
    if (!folder) return found;
    std::error_code ec;
    for (fs::directory_iterator it(*folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path mark = it->path();
        if (mark.extension() != kMarkExtension || !it->is_regular_file(ec)) continue;
        UnfinishedUpdate update;
        update.mark = mark;
        update.keptFile = mark;
        update.keptFile.replace_extension();
        if (!fs::is_regular_file(update.keptFile, ec)) continue;
        std::ifstream in(mark);
        for (std::string line; std::getline(in, line);) {
            if (line.starts_with(kIdentityKey)) update.identity = line.substr(kIdentityKey.size());
            if (line.starts_with(kDeviceKey)) update.device = line.substr(kDeviceKey.size());
        }
        found.push_back(std::move(update));
    }
    // Kept files are named after the time, so the name orders them, except
    // for two of one second, told apart by a counter.
    std::sort(found.begin(), found.end(), [](const UnfinishedUpdate& a, const UnfinishedUpdate& b) {
        std::error_code x, y;
        const auto ta = fs::last_write_time(a.mark, x), tb = fs::last_write_time(b.mark, y);
        return ta != tb ? ta < tb : a.mark < b.mark;
    });
    return found;
}

bool HasUnfinishedUpdate(std::string_view identity) {
    if (identity.empty()) return false;
    for (const UnfinishedUpdate& update : UnfinishedUpdates()) {
        if (update.identity == identity) return true;
    }
    return false;
}

}  // namespace vxe
