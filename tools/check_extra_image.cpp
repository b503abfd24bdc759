// Build step: an image embedded under an engine resource name must pass the
// firmware file check for a chip whose procedure programs it, or the build
// stops. Prints the chips it fits.
// Usage: check_extra_image <name> <file>
#include <cstdio>
#include <iostream>
#include <string>

#include "app/extra_images.h"
#include "chip/chip_identification.h"
#include "platform/platform.h"

namespace {

// The file check shows a message box when it cannot open the file.
class BuildStepPlatform final : public vxe::Platform {
public:
    vxe::PassThroughResult passThrough(const vxe::PassThroughRequest&) override { return {}; }
    std::vector<std::string> enumerateInterfaces(vxe::InterfaceClass) override { return {}; }
    void sleepMs(uint32_t) override {}
    std::span<const uint8_t> findResource(std::string_view, std::string_view) override { return {}; }
    void messageBox(std::string_view text, std::string_view caption, vxe::MessageIcon) override {
        std::cerr << "check_extra_image: " << caption << ": " << text << '\n';
    }
    void debugOutput(std::string_view) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: check_extra_image <name> <file>\n");
        return 2;
    }
    BuildStepPlatform platform;
    const vxe::ScopedPlatform installed(platform);
    const std::string name = argv[1];
    const std::string problem = vxe::ExtraImageProblem(name, argv[2]);
    if (!problem.empty()) {
        std::cerr << "check_extra_image: " << problem << '\n';
        return 1;
    }
    std::cout << name << " fits";
    for (const uint16_t chipId : vxe::ChipsFittingImage(name, argv[2])) {
        std::cout << ' ' << vxe::ChipFamilyName(vxe::ChipFamilyOf(chipId)) << " rev "
                  << static_cast<int>(vxe::ChipRevisionOf(chipId)) << ';';
    }
    std::cout << '\n';
    return 0;
}
