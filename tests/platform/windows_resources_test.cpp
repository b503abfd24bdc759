// The Windows programs as built carry the firmware image as their resource
// "VXE720FW" of type "FW", byte for byte the file under resources/, beside
// the window's own icon, manifest and version; the platform finds it there.
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "chip/firmware_image.h"
#include "platform/platform.h"
#include "platform/windows_platform.h"

namespace vxe {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::filesystem::path BesideThisTest(const char* name) {
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(std::wstring(self, length)).parent_path() / name;
}

// A program's resources, read without running it.
class ProgramResources {
public:
    explicit ProgramResources(const std::filesystem::path& program)
        : module_(LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~ProgramResources() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    ProgramResources(const ProgramResources&) = delete;
    ProgramResources& operator=(const ProgramResources&) = delete;

    bool loaded() const { return module_ != nullptr; }
    // Empty when there is no such resource.
    Bytes find(LPCSTR name, LPCSTR type) const {
        HRSRC found = FindResourceA(module_, name, type);
        if (found == nullptr) return {};
        const DWORD size = SizeofResource(module_, found);
        const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module_, found)));
        return data != nullptr ? Bytes(data, data + size) : Bytes();
    }

private:
    HMODULE module_;
};

const Bytes& ImageFile() {
    static const Bytes image = ReadFile(VXE_FIRMWARE_IMAGE_FILE);
    return image;
}

TEST(WindowsResources, EveryProgramCarriesTheImageOfResourcesByteForByte) {
    ASSERT_EQ(ImageFile().size(), 36940u);
    for (const char* program : {VXE_PROGRAMS}) {
        SCOPED_TRACE(program);
        const ProgramResources resources(BesideThisTest(program));
        ASSERT_TRUE(resources.loaded());
        EXPECT_EQ(resources.find("VXE720FW", "FW"), ImageFile());
        // Only the image the programs ship with.
        EXPECT_TRUE(resources.find("FW849", "FW").empty());
        EXPECT_TRUE(resources.find("VXE720FW", MAKEINTRESOURCEA(10)).empty());  // not as RCDATA
    }
}

#ifdef VXE_WINDOW_PROGRAM
TEST(WindowsResources, TheWindowKeepsItsIconManifestAndVersionBesideTheImage) {
    const ProgramResources resources(BesideThisTest(VXE_WINDOW_PROGRAM));
    ASSERT_TRUE(resources.loaded());
    EXPECT_FALSE(resources.find(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14)).empty());  // the icon group
    EXPECT_FALSE(resources.find(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16)).empty());  // the version
    const Bytes manifest = resources.find(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    EXPECT_NE(std::string(manifest.begin(), manifest.end()).find("requireAdministrator"), std::string::npos);
}
#endif

TEST(WindowsResources, ThePlatformFindsTheImageInTheRunningProgram) {
    WindowsPlatform platform;
    const std::span<const uint8_t> image = platform.findResource("VXE720FW", "FW");
    EXPECT_EQ(Bytes(image.begin(), image.end()), ImageFile());
    EXPECT_TRUE(platform.findResource("FW652A", "FW").empty());

    // What the update programs from, at the offsets the procedures use.
    ScopedPlatform installed(platform);
    Bytes buffer(0x10000, 0);
    EXPECT_EQ(LoadEmbeddedImage(buffer, 128, 0), 36940u);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.begin() + 128, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(ImageFile().begin() + 128, ImageFile().end(), buffer.begin() + 128));
}

}  // namespace
}  // namespace vxe
#endif
