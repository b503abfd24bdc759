// A USB mass-storage (Bulk-Only) interface served from user space through a
// mounted FunctionFS instance: descriptors, the two bulk endpoints and the
// class requests on ep0 (Get Max LUN, Bulk-Only Mass Storage Reset).
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <sys/types.h>

namespace hil {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_ = -1;
};

class FunctionFsStorage {
public:
    // readCommand's answer when `wake` was raised meanwhile.
    static constexpr ssize_t kInterrupted = -2;

    // `stop` is raised by a signal handler; blocking calls give up then.
    explicit FunctionFsStorage(const std::atomic<bool>& stop) : stop_(stop) {}

    // Writes the descriptors and strings to <mount>/ep0, opens ep1 (bulk in)
    // and ep2 (bulk out) and starts answering ep0. False with a message on
    // stderr when any step fails.
    bool open(const std::string& mount);

    // One command wrapper: up to `buffer.size()` bytes of the next transfer
    // on bulk-out. Waits while the function is disabled (host gone). Returns
    // the byte count, kInterrupted once `wake` is raised (by a signal
    // handler), or -1 once stopped or on a hard error.
    ssize_t readCommand(std::span<uint8_t> buffer, const std::atomic<bool>& wake);

    // The whole data-out phase / the whole data-in phase, in pieces the
    // kernel can buffer. False when stopped or the host went away.
    bool readData(std::span<uint8_t> buffer);
    bool writeData(std::span<const uint8_t> buffer);

    // Streams `length` zero bytes in, or drops `length` bytes out, for a data
    // phase too large to hold.
    bool writeZeros(uint64_t length);
    bool discardData(uint64_t length);

    // How often the host has reset the interface so far: a port reset
    // (which disables the function) or a Bulk-Only Mass Storage Reset.
    uint64_t resets() const { return resets_; }

private:
    const std::atomic<bool>& stop_;
    std::atomic<uint64_t> resets_{0};
    UniqueFd ep0_;
    UniqueFd bulkIn_;
    UniqueFd bulkOut_;
};

}  // namespace hil
