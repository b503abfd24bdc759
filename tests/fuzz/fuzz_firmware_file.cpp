// The firmware file check over arbitrary file contents: every chip family
// with the revision the input names, and any 16-bit chip id at all.
//
// Input: two bytes of chip id (low byte family, high byte revision), then
// the file's contents.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "chip/firmware_image.h"
#include "tests/fuzz/quiet_platform.h"

namespace {

constexpr uint16_t kFamilies = 19;

const std::string& ScratchFile() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("vxe-fuzz-firmware-" + std::to_string(getpid()) + ".bin"))
            .string();
    return path;
}

bool WriteScratch(const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(ScratchFile().c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vxe::fuzz::QuietPlatform platform;
    static const vxe::ScopedPlatform installed(platform);
    if (size < 2) return 0;
    const uint16_t anyId = static_cast<uint16_t>(data[0] | data[1] << 8);
    if (!WriteScratch(data + 2, size - 2)) std::abort();

    const uint16_t revision = data[1];
    for (uint16_t family = 0; family < kFamilies; ++family) {
        const int fits = vxe::CheckFirmwareFile(ScratchFile().c_str(), static_cast<uint16_t>(revision << 8 | family));
        if (fits != 0 && fits != 1) std::abort();
    }
    const int fits = vxe::CheckFirmwareFile(ScratchFile().c_str(), anyId);
    if (fits != 0 && fits != 1) std::abort();
    // A file that opened is never reported as unopenable.
    if (platform.messages != 0) std::abort();
    return 0;
}
