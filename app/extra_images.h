// The images the update engines program besides the one-click image: which
// names exist, and which chips a file under such a name must fit. The build
// checks the images it embeds with this, and so does the simulated bus for
// the images it carries.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vxe {

inline constexpr std::array<std::string_view, 3> kExtraImageNames{"FW849", "FW652A", "FW652B"};
inline constexpr std::string_view kExtraImageType = "FW";

bool IsExtraImageName(std::string_view name);

// The chips (ChipId: family low, revision high) whose procedures program the
// image and whose file check tests a tag. An image must fit at least one.
// FW849 serves families with contradicting tags (RT71849 files must carry
// "849", RT71846 files must not start with "84"), so one image cannot fit
// them all; families whose check takes any file are not counted.
std::vector<uint16_t> ChipsUsingImage(std::string_view name);

// The chips of ChipsUsingImage that the file fits. Runs the firmware file
// check, so a platform must be installed.
std::vector<uint16_t> ChipsFittingImage(std::string_view name, const std::string& file);

// "FW652A" fits none of KSV652 Series rev 1: ... ; empty when it fits one.
std::string ExtraImageProblem(std::string_view name, const std::string& file);

}  // namespace vxe
