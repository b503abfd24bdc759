#include "functionfs.h"

#include <fcntl.h>
#include <pthread.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace hil {
namespace {

// Pieces of a data phase: a multiple of every bulk packet size, small enough
// for the kernel to buffer in one request.
constexpr size_t kChunk = 64 * 1024;

// While the host has the function disabled, endpoint calls fail with
// ESHUTDOWN; poll again after this pause.
constexpr useconds_t kDisabledPollUs = 10'000;

void PutLe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PatchLe32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Interface 08/06/50 (mass storage, SCSI transparent, Bulk-Only) with one
// bulk-in and one bulk-out endpoint.
void PutInterface(std::vector<uint8_t>& out) {
    out.insert(out.end(), {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, 2, USB_CLASS_MASS_STORAGE, 0x06, 0x50, 1});
}

void PutBulkEndpoint(std::vector<uint8_t>& out, uint8_t address, uint16_t maxPacket, bool superSpeed) {
    out.insert(out.end(), {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, address, USB_ENDPOINT_XFER_BULK});
    PutLe16(out, maxPacket);
    out.push_back(0);
    if (superSpeed) {
        out.insert(out.end(), {USB_DT_SS_EP_COMP_SIZE, USB_DT_SS_ENDPOINT_COMP, 0, 0, 0, 0});
    }
}

// Full-, high- and super-speed descriptor sets, so the function binds on a
// controller of any speed.
std::vector<uint8_t> Descriptors() {
    std::vector<uint8_t> out;
    PutLe32(out, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    PutLe32(out, 0);  // length, patched below
    PutLe32(out, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC | FUNCTIONFS_HAS_SS_DESC);
    PutLe32(out, 3);  // full speed: interface + 2 endpoints
    PutLe32(out, 3);  // high speed
    PutLe32(out, 5);  // super speed: with the companion descriptors
    struct Speed {
        uint16_t maxPacket;
        bool super;
    };
    for (Speed speed : {Speed{64, false}, Speed{512, false}, Speed{1024, true}}) {
        PutInterface(out);
        PutBulkEndpoint(out, 1 | USB_DIR_IN, speed.maxPacket, speed.super);
        PutBulkEndpoint(out, 2 | USB_DIR_OUT, speed.maxPacket, speed.super);
    }
    PatchLe32(out, 4, static_cast<uint32_t>(out.size()));
    return out;
}

std::vector<uint8_t> Strings() {
    static constexpr char kInterfaceName[] = "Simulated bridge BOT";
    std::vector<uint8_t> out;
    PutLe32(out, FUNCTIONFS_STRINGS_MAGIC);
    PutLe32(out, 0);
    PutLe32(out, 1);  // strings per language
    PutLe32(out, 1);  // languages
    PutLe16(out, 0x0409);
    out.insert(out.end(), kInterfaceName, kInterfaceName + sizeof(kInterfaceName));
    PatchLe32(out, 4, static_cast<uint32_t>(out.size()));
    return out;
}

bool WriteBlock(int fd, const std::vector<uint8_t>& block, const char* what) {
    if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
        std::fprintf(stderr, "bridge_gadget: writing %s: %s\n", what, std::strerror(errno));
        return false;
    }
    return true;
}

// Class requests on ep0. Runs on its own thread for the life of the program;
// it owns nothing but the descriptor number and ends when ep0 goes away.
// Every reset of the interface is counted in `resets`.
void ServeEp0(int ep0, std::atomic<uint64_t>* resets) {
    std::array<usb_functionfs_event, 4> events{};
    for (;;) {
        ssize_t n = ::read(ep0, events.data(), sizeof(events));
        if (n < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "bridge_gadget: ep0: %s\n", std::strerror(errno));
            return;
        }
        for (size_t i = 0; i < static_cast<size_t>(n) / sizeof(usb_functionfs_event); ++i) {
            const usb_functionfs_event& event = events[i];
            if (event.type != FUNCTIONFS_SETUP) {
                std::fprintf(stderr, "bridge_gadget: ep0 event %u\n", unsigned{event.type});
                if (event.type == FUNCTIONFS_DISABLE) ++*resets;
                continue;
            }
            const usb_ctrlrequest& setup = event.u.setup;
            if (setup.bRequestType == 0xA1 && setup.bRequest == 0xFE) {  // Get Max LUN: one LUN
                const uint8_t maxLun = 0;
                if (::write(ep0, &maxLun, 1) < 0) std::fprintf(stderr, "bridge_gadget: Get Max LUN: %s\n", std::strerror(errno));
            } else if (setup.bRequestType == 0x21 && setup.bRequest == 0xFF) {  // Bulk-Only reset
                std::fprintf(stderr, "bridge_gadget: reset\n");
                if (::read(ep0, nullptr, 0) < 0) std::fprintf(stderr, "bridge_gadget: reset ack: %s\n", std::strerror(errno));
                ++*resets;
            } else if (setup.bRequestType & USB_DIR_IN) {  // anything else: stall
                (void)::read(ep0, nullptr, 0);
            } else {
                (void)::write(ep0, nullptr, 0);
            }
        }
    }
}

}  // namespace

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

bool FunctionFsStorage::open(const std::string& mount) {
    ep0_ = UniqueFd(::open((mount + "/ep0").c_str(), O_RDWR | O_CLOEXEC));
    if (!ep0_.valid()) {
        std::fprintf(stderr, "bridge_gadget: %s/ep0: %s\n", mount.c_str(), std::strerror(errno));
        return false;
    }
    if (!WriteBlock(ep0_.get(), Descriptors(), "descriptors") || !WriteBlock(ep0_.get(), Strings(), "strings")) {
        return false;
    }
    bulkIn_ = UniqueFd(::open((mount + "/ep1").c_str(), O_RDWR | O_CLOEXEC));
    bulkOut_ = UniqueFd(::open((mount + "/ep2").c_str(), O_RDWR | O_CLOEXEC));
    if (!bulkIn_.valid() || !bulkOut_.valid()) {
        std::fprintf(stderr, "bridge_gadget: opening the bulk endpoints: %s\n", std::strerror(errno));
        return false;
    }
    // Signals belong to the main thread, whose blocking calls they interrupt.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    std::thread(ServeEp0, ep0_.get(), &resets_).detach();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return true;
}

ssize_t FunctionFsStorage::readCommand(std::span<uint8_t> buffer, const std::atomic<bool>& wake) {
    while (!stop_) {
        if (wake) return kInterrupted;
        ssize_t n = ::read(bulkOut_.get(), buffer.data(), buffer.size());
        if (n >= 0) return n;
        if (errno == ESHUTDOWN) {
            ::usleep(kDisabledPollUs);
        } else if (errno != EINTR) {
            std::fprintf(stderr, "bridge_gadget: reading a command: %s\n", std::strerror(errno));
            return -1;
        }
    }
    return -1;
}

bool FunctionFsStorage::readData(std::span<uint8_t> buffer) {
    size_t done = 0;
    while (done < buffer.size() && !stop_) {
        const size_t piece = std::min(kChunk, buffer.size() - done);
        ssize_t n = ::read(bulkOut_.get(), buffer.data() + done, piece);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::fprintf(stderr, "bridge_gadget: data out ended after %zu of %zu bytes: %s\n", done, buffer.size(),
                         n < 0 ? std::strerror(errno) : "short");
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return done == buffer.size();
}

bool FunctionFsStorage::writeData(std::span<const uint8_t> buffer) {
    size_t done = 0;
    while (done < buffer.size() && !stop_) {
        const size_t piece = std::min(kChunk, buffer.size() - done);
        ssize_t n = ::write(bulkIn_.get(), buffer.data() + done, piece);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::fprintf(stderr, "bridge_gadget: data in ended after %zu of %zu bytes: %s\n", done, buffer.size(),
                         n < 0 ? std::strerror(errno) : "short");
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return done == buffer.size();
}

bool FunctionFsStorage::writeZeros(uint64_t length) {
    std::vector<uint8_t> zeros(static_cast<size_t>(std::min<uint64_t>(length, kChunk)), 0);
    while (length > 0) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(length, zeros.size()));
        if (!writeData(std::span(zeros).first(piece))) return false;
        length -= piece;
    }
    return true;
}

bool FunctionFsStorage::discardData(uint64_t length) {
    std::vector<uint8_t> sink(static_cast<size_t>(std::min<uint64_t>(length, kChunk)));
    while (length > 0) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(length, sink.size()));
        if (!readData(std::span(sink).first(piece))) return false;
        length -= piece;
    }
    return true;
}

}  // namespace hil
