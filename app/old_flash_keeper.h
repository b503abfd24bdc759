// YES's way back, for both front ends: what the update reads of the old flash
// is kept in a file and marked unfinished before anything is changed, and the
// mark goes once the flash is verified. An update of a device whose last
// update was cut off writes what that one would have written, from its kept
// file, instead of taking a half-written flash for the device's own (or
// calling it current); and where a cut-off update may have been of this
// device (attached again at the same place or node, so another identity: a
// cable pulled and put back, or another enclosure plugged there) but cannot
// be told to be, and the flash has no header or holds the configuration
// that update kept, it stops and says how to go on.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/unfinished_updates.h"
#include "flash/engine_options.h"

namespace vxe {

class OldFlashKeeper final : public HeaderKeeper {
public:
    struct Settings {
        std::string device;    // the path, as the update was given it
        std::string identity;  // what the device is (DevicePin)
        // A file the user named (update --header-from): a kept whole flash
        // is written again as a cut-off update's; a header is merged when
        // the device's own is gone.
        std::string headerFrom;
        // Told each kept file as soon as it is written.
        std::function<void(const std::filesystem::path&)> announce;
    };

    // Looks for cut-off updates under the state folder; sends nothing.
    explicit OldFlashKeeper(Settings settings);

    // Before the update: the reason it must not run, or empty. The flash
    // read for the up-to-date check is given when there was one, so that a
    // header kept by a cut-off update is recognised in it.
    std::string refusal(std::span<const uint8_t> flashRead = {}) const;
    // A cut-off update of this device is written again (or --header-from
    // named a kept whole flash): the flash must not be called current.
    bool recovering() const { return recovery_.has_value(); }
    // Where the recovered contents come from.
    const std::filesystem::path& recoveredFrom() const { return recoveredFrom_; }

    std::optional<KeptFlash> recovery() override { return recovery_; }
    std::optional<std::array<uint8_t, 128>> fallback() override;
    bool keep(std::span<const uint8_t, 128> header) override;
    bool keepOldFlash(std::span<const uint8_t> flash) override;

    // After the update: a verified flash ends this update's mark and the one
    // it recovered from.
    void finish(bool verified);

    const std::string& keptFile() const { return keptFile_; }
    const std::string& problem() const { return problem_; }
    bool usedFallback() const { return usedFallback_; }

private:
    std::string stopText(const std::vector<UnfinishedUpdate>& cutOff, const std::string& why) const;

    Settings settings_;
    std::optional<KeptFlash> recovery_;
    std::filesystem::path recoveredFrom_;
    std::optional<std::array<uint8_t, 128>> fallback_;
    std::vector<UnfinishedUpdate> others_;  // cut-off updates at this place or node, another identity
    std::string keptFile_;
    std::string problem_;
    bool usedFallback_ = false;
};

}  // namespace vxe
