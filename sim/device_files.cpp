#include "sim/device_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace sim {
namespace {

namespace fs = std::filesystem;

bool SamePath(const std::string& a, const std::string& b) {
    const auto lower = [](unsigned char ch) { return ch >= 'A' && ch <= 'Z' ? ch + ('a' - 'A') : ch; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// The file itself, whatever links or dots lead to it (a file that does not
// exist yet: its folder's).
std::string Canonical(const std::string& name) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(fs::absolute(name, ec), ec);
    std::string text = ec ? fs::absolute(name, ec).lexically_normal().string() : canonical.string();
#ifdef _WIN32
    // Windows' file names are the same in any case.
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + ('a' - 'A')) : ch; });
#endif
    return text;
}

bool SameFile(const std::string& a, const std::string& b) { return a == b || Canonical(a) == Canonical(b); }

}  // namespace

std::vector<DeviceFile> LoadDeviceDirectory(const std::string& directory) {
    std::error_code ec;
    if (!fs::is_directory(directory, ec)) throw DeviceFileError(directory + ": not a directory of device files");
    std::vector<fs::path> names;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == kDeviceFileExtension) names.push_back(it->path());
    }
    if (ec) throw DeviceFileError(directory + ": cannot be read: " + ec.message());
    std::sort(names.begin(), names.end());

    std::vector<DeviceFile> files;
    for (const fs::path& name : names) {
        std::ifstream in(name, std::ios::binary);
        if (!in) throw DeviceFileError(name.string() + ": cannot be read");
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        DeviceFile file = ParseDeviceFile(text, name.string(), directory);
        for (const DeviceFile& earlier : files) {
            if (SamePath(earlier.path, file.path)) {
                throw DeviceFileError(file.fileName + ": path: \"" + file.path + "\" is already the path of " +
                                      earlier.fileName);
            }
            if (!file.flashFile.empty() && !earlier.flashFile.empty() &&
                SameFile(earlier.flashFile, file.flashFile)) {
                throw DeviceFileError(file.fileName + ": flash-file: already the flash of " + earlier.fileName);
            }
        }
        files.push_back(std::move(file));
    }
    return files;
}

bool WantsRealTime(const std::vector<DeviceFile>& files) {
    return std::any_of(files.begin(), files.end(), [](const DeviceFile& file) { return file.realTime; });
}

void AddDevicesToBus(Bus& bus, const std::vector<DeviceFile>& files) {
    for (const DeviceFile& file : files) {
        Bridge& bridge = bus.add(file.path, file.interfaceClass, file.description, file.usbStorage);
        bridge.faults() = file.faults;
        if (BusDevice* added = bus.find(file.path)) {
            // Every name of the description (a link to it or to its folder)
            // is the same device, and takes the same lock.
            added->identity = "file:" + Canonical(file.fileName);
            added->givenAwayAfter = file.givenAwayAfter;
            added->signalAt = file.signalAt;
        }
        if (file.flashFile.empty()) continue;
        const std::string problem = file.fileName + ":" + std::to_string(file.flashFileLine) + ": flash-file: \"" +
                                    file.flashFile + "\" ";
        std::error_code ec;
        if (fs::exists(file.flashFile, ec) && !fs::is_regular_file(file.flashFile, ec)) {
            throw DeviceFileError(problem + "is not a regular file");
        }
        // Padding or cutting a file of another size would pass it off as
        // this device's flash and rewrite it at the first change.
        const uintmax_t size = fs::exists(file.flashFile, ec) ? fs::file_size(file.flashFile, ec) : 0;
        if (!ec && fs::exists(file.flashFile, ec) && size != file.description.flashSize) {
            throw DeviceFileError(problem + "holds " + std::to_string(size) + " bytes, the flash " +
                                  std::to_string(file.description.flashSize));
        }
        bool attached = false;
        try {
            attached = bridge.attachFlashFile(file.flashFile);
        } catch (const std::exception&) {  // a stream that fails while reading
        }
        if (!attached) throw DeviceFileError(problem + "cannot be read");
    }
}

}  // namespace sim
