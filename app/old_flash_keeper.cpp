#include "app/old_flash_keeper.h"

#include <algorithm>
#include <system_error>

#include "app/kept_header.h"
#include "chip/firmware_image.h"
#include "flash/one_click_update.h"
#include "platform/platform.h"

namespace vxe {
namespace {

namespace fs = std::filesystem;

// The bytes an update leaves as the device had them: a header that agrees
// on all of them came from the same configuration.
bool SameConfiguration(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    for (size_t i = 0; i < FirmwareHeaderSize; ++i) {
        if (!HeaderMergeTable[i] && a[i] != b[i]) return false;
    }
    return true;
}

std::vector<UnfinishedUpdate> KeptWithConfiguration(const std::vector<UnfinishedUpdate>& cutOff,
                                                    std::span<const uint8_t> header) {
    std::vector<UnfinishedUpdate> same;
    for (const UnfinishedUpdate& update : cutOff) {
        std::string ignored;
        const std::optional<KeptFlash> kept = ReadKeptFlash(update.keptFile.string(), ignored);
        if (kept && HasHeaderSignature(kept->header, FirmwareHeaderSize) && SameConfiguration(kept->header, header)) {
            same.push_back(update);
        }
    }
    return same;
}

bool SamePath(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(x) == lower(y);
           });
}

}  // namespace

OldFlashKeeper::OldFlashKeeper(Settings settings) : settings_(std::move(settings)) {
    if (!settings_.headerFrom.empty()) {
        // A kept file of a cut-off update (still marked), or a whole old
        // flash, is written as that update would have; a header alone is
        // merged when the device's own is gone.
        std::error_code ec;
        const bool cutOff = fs::is_regular_file(UnfinishedMarkFor(settings_.headerFrom), ec);
        if (cutOff || (fs::file_size(settings_.headerFrom, ec) == kKeptFlashSize && !ec)) {
            recovery_ = ReadKeptFlash(settings_.headerFrom, problem_);
            recoveredFrom_ = settings_.headerFrom;
        } else {
            fallback_ = ReadKeptHeader(settings_.headerFrom, problem_);
        }
        return;  // the user chose what to write
    }
    for (UnfinishedUpdate& update : UnfinishedUpdates()) {
        if (!recovery_ && !settings_.identity.empty() && update.identity == settings_.identity) {
            std::string ignored;
            recovery_ = ReadKeptFlash(update.keptFile.string(), ignored);
            if (recovery_) {
                recoveredFrom_ = update.keptFile;
                continue;
            }
        }
        // Attached again at the same place (a pulled cable put back), or
        // another enclosure plugged there, or the same node given to it: it
        // may be that update's enclosure, and cannot be told to be.
        const bool samePlace = !settings_.identity.empty() &&
                               IdentityPlace(update.identity) == IdentityPlace(settings_.identity);
        if (update.identity != settings_.identity && (samePlace || SamePath(update.device, settings_.device))) {
            others_.push_back(std::move(update));
        }
    }
}

std::string OldFlashKeeper::stopText(const std::vector<UnfinishedUpdate>& cutOff, const std::string& why) const {
    const UnfinishedUpdate& last = cutOff.back();
    return why + ", and an update of " + (last.device.empty() ? "a device" : last.device) +
           " was cut off before it ended (its old flash is kept in " + last.keptFile.string() +
           "); nothing was written. If this is that enclosure, write it back with: fwupdate-cli update " +
           settings_.device + " --header-from " + last.keptFile.string() + "; if it is not, remove " +
           UnfinishedMarkFor(last.keptFile).string();
}

std::string OldFlashKeeper::refusal(std::span<const uint8_t> flashRead) const {
    if (recovering() || others_.empty() || flashRead.size() < FirmwareHeaderSize) return {};
    const std::span<const uint8_t> header = flashRead.first(FirmwareHeaderSize);
    if (!HasHeaderSignature(header, FirmwareHeaderSize)) {
        return stopText(others_, settings_.device + " holds no configuration header");
    }
    const std::vector<UnfinishedUpdate> same = KeptWithConfiguration(others_, header);
    if (!same.empty()) return stopText(same, settings_.device + " has the configuration kept by a cut-off update");
    return {};
}

std::optional<std::array<uint8_t, 128>> OldFlashKeeper::fallback() {
    usedFallback_ = fallback_.has_value();
    return fallback_;
}

bool OldFlashKeeper::keep(std::span<const uint8_t, 128> header) {
    // A cut-off update's kept file holds it already, and its mark stays until
    // this one is verified.
    if (recovering()) return true;
    // A header the user named is the user's choice; otherwise one that is
    // gone, or one that a cut-off update kept, may be that update's device.
    if (!usedFallback_) {
        if (std::string why = refusal(header); !why.empty()) {
            problem_ = std::move(why);
            return false;
        }
    }
    std::string why;
    const std::optional<fs::path> file = KeepOldFlash(settings_.device, header, why);
    if (!file) {
        problem_ = "the device's configuration header could not be kept, so nothing was written: " + why;
        return false;
    }
    keptFile_ = file->string();
    if (!MarkUnfinished(*file, settings_.identity, settings_.device, why)) {
        problem_ = "the update could not be marked as begun, so nothing was written: " + why;
        return false;
    }
    if (settings_.announce) settings_.announce(*file);
    return true;
}

bool OldFlashKeeper::keepOldFlash(std::span<const uint8_t> flash) {
    std::string why;
    if (recovering()) {
        // The cut-off update ended before it erased anything, so the flash
        // read now is still the old one: kept, in case this one is cut off too.
        if (!recovery_->image.empty() || recoveredFrom_.empty()) return true;
        if (!RewriteKeptFile(recoveredFrom_, flash, why)) {
            problem_ = "the old flash could not be kept, so nothing was written: " + why;
            return false;
        }
        recovery_->image.assign(flash.begin(), flash.end());
        return true;
    }
    if (keptFile_.empty()) return true;
    if (!RewriteKeptFile(keptFile_, flash, why)) {
        problem_ = "the old flash could not be kept, so nothing was written: " + why;
        return false;
    }
    return true;
}

void OldFlashKeeper::finish(bool verified) {
    if (!verified) return;
    if (!keptFile_.empty()) MarkFinished(keptFile_);
    if (!recoveredFrom_.empty()) MarkFinished(recoveredFrom_);
}

}  // namespace vxe
