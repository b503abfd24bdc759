#include "flash/backup_file.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace vxe {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const {
        if (file != nullptr) std::fclose(file);
    }
};

}  // namespace

BackupWrite WriteBackupFile(const std::string& name, std::span<const uint8_t> bytes) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (name.empty() || name.size() > kMaxBackupNameLength || fs::is_directory(name, ec)) {
        return BackupWrite::OpenFailed;
    }
    const std::string partial = name + ".partial";
    std::FILE* raw = std::fopen(partial.c_str(), "wb");
    if (raw == nullptr) return BackupWrite::OpenFailed;
    std::unique_ptr<std::FILE, FileCloser> file(raw);

    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size() &&
                         std::fflush(file.get()) == 0;
    const bool closed = std::fclose(file.release()) == 0;
    if (!written || !closed) {
        fs::remove(partial, ec);
        return BackupWrite::WriteFailed;
    }
    fs::rename(partial, name, ec);
    if (ec) {
        fs::remove(partial, ec);
        return BackupWrite::WriteFailed;
    }
    return BackupWrite::Written;
}

}  // namespace vxe
