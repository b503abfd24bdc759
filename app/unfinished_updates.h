// Which updates were cut off before they ended. Before an update changes
// anything it marks its kept file (app/kept_header.h) as unfinished, beside
// it under the state folder, with the identity of the device; when that
// update, or a later one of the same device, ends with the flash verified,
// the mark goes. A mark that stays tells the next update of that device that
// its flash may be half-written and where its old contents are.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vxe {

struct UnfinishedUpdate {
    std::filesystem::path keptFile;
    std::filesystem::path mark;  // "<kept file>.unfinished"
    std::string identity;        // Platform::deviceIdentity of the device
    std::string device;          // the path the update was given
};

// The mark's file for a kept file.
std::filesystem::path UnfinishedMarkFor(const std::filesystem::path& keptFile);

// Writes the mark through to the disk; false with the reason in `problem`.
bool MarkUnfinished(const std::filesystem::path& keptFile, std::string_view identity, std::string_view device,
                    std::string& problem);

// Removes the mark of a kept file, if there is one.
void MarkFinished(const std::filesystem::path& keptFile);

// The marks under the state folder whose kept file is still there, oldest
// first.
std::vector<UnfinishedUpdate> UnfinishedUpdates();

// An update of the device of `identity` was cut off and has not been
// written again since: its flash may look current and not be.
bool HasUnfinishedUpdate(std::string_view identity);

}  // namespace vxe
