#include "app/kept_header.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <system_error>

#include "app/state_folder.h"
#include "chip/firmware_image.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vxe {
namespace {

namespace fs = std::filesystem;

// The last plain part of the device path ("sg2", "enclosure").
std::string DeviceTag(std::string_view device) {
    std::string tag;
    for (auto it = device.rbegin(); it != device.rend() && tag.size() < 32; ++it) {
        const char ch = *it;
        if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-')) break;
        tag.insert(tag.begin(), ch);
    }
    return tag.empty() ? "device" : tag;
}

std::string UtcStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &now);
#else
    gmtime_r(&now, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
    return text;
}

#ifndef _WIN32
// A new name in a folder reaches the disk with the folder's own sync.
void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}
#endif

// Creates `file` only if nothing has that name yet (no link is followed) and
// writes the bytes through to the disk. Errno-style result: 0, EEXIST, other.
int WriteNewFile(const fs::path& file, std::span<const uint8_t> bytes) {
#ifdef _WIN32
    std::error_code ec;
    if (fs::exists(file, ec)) return EEXIST;
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return out ? 0 : EIO;
#else
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const bool written = done == bytes.size() && ::fsync(fd) == 0;
    const int error = written ? 0 : (errno != 0 ? errno : EIO);
    ::close(fd);
    if (!written) ::unlink(file.c_str());
    if (written) SyncFolder(file.parent_path());
    return error;
#endif
}

}  // namespace

std::optional<fs::path> KeepOldFlash(std::string_view device, std::span<const uint8_t> bytes, std::string& problem) {
    std::string why;
    const std::optional<fs::path> folder = StateFolder(&why);
    if (!folder) {
        problem = why;
        return std::nullopt;
    }
    const std::string stem = "header-" + DeviceTag(device) + "-" + UtcStamp();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path file = *folder / (stem + (attempt == 0 ? "" : "-" + std::to_string(attempt)) + ".bin");
        const int error = WriteNewFile(file, bytes);
        if (error == 0) return file;
        if (error != EEXIST) {
            problem = file.string() + ": " + std::strerror(error);
            return std::nullopt;
        }
    }
    problem = (*folder / stem).string() + ": too many files of that name";
    return std::nullopt;
}

std::optional<fs::path> KeepOldHeader(std::string_view device, std::span<const uint8_t, 128> header,
                                      std::string& problem) {
    return KeepOldFlash(device, header, problem);
}

bool RewriteKeptFile(const fs::path& file, std::span<const uint8_t> bytes, std::string& problem) {
    // Never left half-written: the new contents go to a file of their own,
    // which then takes the old one's name.
    fs::path fresh = file;
    fresh += ".new";
    std::error_code ec;
    fs::remove(fresh, ec);
    int error = WriteNewFile(fresh, bytes);
    if (error == 0) {
        fs::rename(fresh, file, ec);
        if (ec) {
            error = ec.value();
            fs::remove(fresh, ec);
        }
    }
    if (error != 0) {
        problem = file.string() + ": " + std::strerror(error);
        return false;
    }
#ifndef _WIN32
    SyncFolder(file.parent_path());
#endif
    return true;
}

std::optional<KeptFlash> ReadKeptFlash(const std::string& file, std::string& problem) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        problem = "\"" + file + "\" is not a readable file";
        return std::nullopt;
    }
    const uintmax_t size = fs::file_size(file, ec);
    std::ifstream in(file, std::ios::binary);
    KeptFlash kept;
    in.read(reinterpret_cast<char*>(kept.header.data()), static_cast<std::streamsize>(kept.header.size()));
    if (ec || !in || in.gcount() != static_cast<std::streamsize>(kept.header.size())) {
        problem = "\"" + file + "\" holds fewer than 128 bytes";
        return std::nullopt;
    }
    if (size == kKeptFlashSize) {
        kept.image.resize(kKeptFlashSize);
        in.seekg(0);
        in.read(reinterpret_cast<char*>(kept.image.data()), static_cast<std::streamsize>(kept.image.size()));
        if (!in) {
            problem = "\"" + file + "\" cannot be read";
            return std::nullopt;
        }
    }
    return kept;
}

std::optional<std::array<uint8_t, 128>> ReadKeptHeader(const std::string& file, std::string& problem) {
    std::error_code ec;
    // Only a regular file: opening a FIFO would wait for a writer forever.
    if (!fs::is_regular_file(file, ec)) {
        problem = "\"" + file + "\" is not a readable file";
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    std::array<uint8_t, 128> header{};
    in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    if (!in || in.gcount() != static_cast<std::streamsize>(header.size())) {
        problem = "\"" + file + "\" holds fewer than 128 bytes";
        return std::nullopt;
    }
    if (!HasHeaderSignature(header, FirmwareHeaderSize)) {
        problem = "\"" + file + "\" does not begin with a configuration header (no signature)";
        return std::nullopt;
    }
    return header;
}

}  // namespace vxe
