#include "app/extra_images.h"

#include <algorithm>
#include <fstream>

#include "chip/chip_identification.h"
#include "chip/firmware_image.h"

namespace vxe {
namespace {

constexpr uint16_t Chip(uint8_t family, uint8_t revision) {
    return static_cast<uint16_t>(family | (revision << 8));
}

std::string ChipText(uint16_t chipId) {
    return std::string(ChipFamilyName(ChipFamilyOf(chipId))) + " rev " + std::to_string(ChipRevisionOf(chipId));
}

}  // namespace

bool IsExtraImageName(std::string_view name) {
    return std::find(kExtraImageNames.begin(), kExtraImageNames.end(), name) != kExtraImageNames.end();
}

std::vector<uint16_t> ChipsUsingImage(std::string_view name) {
    // The flash update (families 1, 4, 7; 3 takes any file) and the
    // parallel-flash update (2, 18), revisions 1 and 2 as the bridges report them.
    if (name == "FW849") {
        return {Chip(1, 1), Chip(1, 2), Chip(4, 1), Chip(4, 2), Chip(7, 1),
                Chip(7, 2), Chip(2, 1), Chip(2, 2), Chip(18, 1), Chip(18, 2)};
    }
    if (name == "FW652A") return {Chip(6, 1)};
    if (name == "FW652B") return {Chip(6, 2)};
    return {};
}

std::vector<uint16_t> ChipsFittingImage(std::string_view name, const std::string& file) {
    std::vector<uint16_t> fitting;
    for (const uint16_t chipId : ChipsUsingImage(name)) {
        if (CheckFirmwareFile(file.c_str(), chipId) != 0) fitting.push_back(chipId);
    }
    return fitting;
}

std::string ExtraImageProblem(std::string_view name, const std::string& file) {
    if (!IsExtraImageName(name)) return std::string(name) + " is not an image the update engines use";
    if (!std::ifstream(file, std::ios::binary)) return "\"" + file + "\" (" + std::string(name) + ") cannot be read";
    if (!ChipsFittingImage(name, file).empty()) return {};
    std::string chips;
    for (const uint16_t chipId : ChipsUsingImage(name)) chips += (chips.empty() ? "" : ", ") + ChipText(chipId);
    return "\"" + file + "\" (" + std::string(name) + ") fits none of the chips that use it: " + chips;
}

}  // namespace vxe
