#include "flash/backup_file.h"

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace vxe {
namespace {

namespace fs = std::filesystem;

constexpr int kNameAttempts = 100;

#ifdef _WIN32
int CreateExclusive(const std::string& name) {
    int fd = -1;
    const errno_t error =
        _sopen_s(&fd, name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYRW, _S_IREAD | _S_IWRITE);
    if (error != 0) {
        errno = error;
        return -1;
    }
    return fd;
}
int WriteSome(int fd, const uint8_t* bytes, size_t count) {
    return _write(fd, bytes, static_cast<unsigned>(std::min<size_t>(count, 1u << 30)));
}
bool SyncFile(int fd) { return _commit(fd) == 0; }
bool CloseFile(int fd) { return _close(fd) == 0; }
void SyncFolder(const fs::path&) {}  // NTFS keeps the rename with the file's own flush
unsigned long ProcessId() { return static_cast<unsigned long>(_getpid()); }
#else
// O_EXCL with O_CREAT also refuses a symbolic link planted under the name,
// dangling or not; O_NOFOLLOW says so once more.
int CreateExclusive(const std::string& name) {
    return ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}
int WriteSome(int fd, const uint8_t* bytes, size_t count) {
    return static_cast<int>(::write(fd, bytes, std::min<size_t>(count, 1u << 30)));
}
bool SyncFile(int fd) { return ::fsync(fd) == 0; }
bool CloseFile(int fd) { return ::close(fd) == 0; }
// So that the rename itself survives a power loss.
void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}
unsigned long ProcessId() { return static_cast<unsigned long>(::getpid()); }
#endif

// A name beside the target that nobody else uses: the process, a counter
// and the clock make it unlikely to exist, and the exclusive create makes
// sure it did not.
std::string CandidateName(const std::string& name) {
    static std::atomic<unsigned long> counter{0};
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return name + ".partial-" + std::to_string(ProcessId()) + "-" + std::to_string(++counter) + "-" +
           std::to_string(static_cast<unsigned long long>(ticks) % 1000000007ull);
}

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const int n = WriteSome(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

BackupWrite WriteBackupFile(const std::string& name, std::span<const uint8_t> bytes) {
    std::error_code ec;
    if (name.empty() || name.size() > kMaxBackupNameLength || fs::is_directory(name, ec)) {
        return BackupWrite::OpenFailed;
    }
    std::string partial;
    int fd = -1;
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
        partial = CandidateName(name);
        fd = CreateExclusive(partial);
        if (fd < 0 && errno != EEXIST) break;  // the folder refuses us; another name will not help
    }
    if (fd < 0) return BackupWrite::OpenFailed;

    const bool written = WriteAll(fd, bytes) && SyncFile(fd);
    const bool closed = CloseFile(fd);
    if (!written || !closed) {
        fs::remove(partial, ec);
        return BackupWrite::WriteFailed;
    }
    fs::rename(partial, name, ec);
    if (ec) {
        fs::remove(partial, ec);
        return BackupWrite::WriteFailed;
    }
    SyncFolder(fs::path(name).parent_path());
    return BackupWrite::Written;
}

}  // namespace vxe
