#include "sim/bridge.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "sim/bridge_impl.h"

namespace sim {
namespace {

constexpr uint64_t kDefaultTimeoutMs = 20'000;

}  // namespace

bool CommandMatch::matches(const Command& command) const {
    if (command.cdb[0] != opcode) return false;
    if (!subCommand) return true;
    if (opcode == 0xFF) return command.cdb[1] == 0x04 && command.cdb[2] == *subCommand;
    if (opcode == 0xDF) return command.cdb[11] == *subCommand;
    return true;
}

Bridge::Bridge(DeviceDescription description, Clock& clock)
    : description_(std::move(description)), clock_(clock), flash_(description_.flashSize, 0xFF) {}

bool Bridge::present() const { return !(faults_.vanishFrom && commandCount_ >= *faults_.vanishFrom); }

bool Bridge::flashBusy() const {
    if (faults_.stuckBusyFrom && commandCount_ >= *faults_.stuckBusyFrom) return true;
    return clock_.nowMs() < busyUntilMs_;
}

void Bridge::powerCycle() {
    busyUntilMs_ = 0;
    jedecLatch_ = {};
    parallelEraseCycles_ = {};
    parallelEraseArmed_ = false;
}

void Bridge::setFlash(uint32_t offset, std::span<const uint8_t> bytes) {
    if (offset > flash_.size()) return;
    const size_t n = std::min(bytes.size(), flash_.size() - offset);
    std::copy_n(bytes.begin(), n, flash_.begin() + offset);
    if (!flashFile_.empty()) saveFlashFile();
}

void Bridge::fillFlash(uint8_t value) {
    std::fill(flash_.begin(), flash_.end(), value);
    if (!flashFile_.empty()) saveFlashFile();
}

bool Bridge::attachFlashFile(const std::string& path) {
    std::fill(flash_.begin(), flash_.end(), 0xFF);
    flashFile_.clear();
    if (!readFlashFile(path).empty()) {
        std::fill(flash_.begin(), flash_.end(), 0xFF);
        return false;
    }
    flashFile_ = path;
    return true;
}

std::string Bridge::reloadFlashFile() { return flashFile_.empty() ? std::string() : readFlashFile(flashFile_); }

std::string Bridge::readFlashFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        std::fill(flash_.begin(), flash_.end(), 0xFF);
        return {};
    }
    const std::string named = "\"" + path + "\" ";
    if (status.type() != fs::file_type::regular) return named + "is not a regular file";
    std::ifstream in(path, std::ios::binary);
    if (!in) return named + "cannot be read";
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return named + "cannot be read";
    if (bytes.size() != flash_.size()) {
        return named + "holds " + std::to_string(bytes.size()) + " bytes, the flash " + std::to_string(flash_.size());
    }
    std::copy(bytes.begin(), bytes.end(), flash_.begin());
    return {};
}

// Written to a file of its own beside the target and renamed over it, so
// that a crash leaves the old file or the new one, never half of one, and
// two processes saving the same flash never write into one temporary file.
bool Bridge::saveFlashFile() {
    static std::atomic<uint64_t> saves{0};
    const std::string temporary = flashFile_ + ".tmp-" + std::to_string(std::random_device{}()) + "-" +
                                  std::to_string(++saves);
    std::error_code ec;
    bool written = false;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(flash_.data()), static_cast<std::streamsize>(flash_.size()));
        written = static_cast<bool>(out.flush());
    }
    if (written) std::filesystem::rename(temporary, flashFile_, ec);
    if (!written || ec) {
        std::filesystem::remove(temporary, ec);
        if (flashFileProblem_.empty()) flashFileProblem_ = "\"" + flashFile_ + "\" could not be written";
        return false;
    }
    return true;
}

Reply Bridge::execute(const Command& command, std::span<uint8_t> data) {
    const Reply reply = executeWithoutItsTime(command, data);
    if (reply.outcome != Outcome::NotPresent && description_.timing.commandMs > 0) {
        clock_.sleepMs(description_.timing.commandMs);
    }
    return reply;
}

Reply Bridge::executeWithoutItsTime(const Command& command, std::span<uint8_t> data) {
    if (!present()) return Reply{.outcome = Outcome::NotPresent};
    const uint64_t index = commandCount_++;
    const uint64_t arrivedMs = clock_.nowMs();
    Impl impl(*this, command, data.first(std::min<size_t>(data.size(), command.length)), index);
    const Reply reply = impl.run();
    log_.push_back(LogEntry{index, arrivedMs, command, reply});
    if (impl.flashChanged && !flashFile_.empty()) saveFlashFile();
    return reply;
}

// --- one command ----------------------------------------------------------

Reply Bridge::Impl::run() {
    const Faults& faults = b.faults_;
    if (faults.failCommandAt == index) return TransportError();
    for (const CommandMatch& match : faults.failMatching) {
        if (match.matches(cmd)) return TransportError();
    }
    const uint8_t opcode = cmd.cdb[0];
    const bool vendor = opcode == 0xE0 || opcode == 0xDF || opcode == 0xFF;
    if (vendor && (!b.description_.answersVendorCommands || faults.checkConditionOnVendorCommands)) {
        return CheckCondition(kAscInvalidOpcode);
    }
    const Decoded decoded = decode();
    if (decoded.handler == nullptr) return CheckCondition(decoded.asc);
    // A data phase in the other direction than the command has is a phase
    // error on the wire: the host resets the device and the request fails.
    if (cmd.length > 0 && decoded.phase != DataPhase::None &&
        (decoded.phase == DataPhase::In) != cmd.dataIn) {
        return TransportError();
    }
    if (decoded.flashCommand && !waitForFlash()) return TransportError();
    return (this->*decoded.handler)();
}

Reply Bridge::Impl::Good(uint32_t transferred) { return Reply{.outcome = Outcome::Good, .transferred = transferred}; }

Reply Bridge::Impl::CheckCondition(uint8_t asc) {
    Reply reply{.outcome = Outcome::CheckCondition};
    reply.sense[0] = 0x70;
    reply.sense[2] = kSenseIllegalRequest;
    reply.sense[7] = 0x0A;
    reply.sense[12] = asc;
    return reply;
}

Reply Bridge::Impl::TransportError() { return Reply{.outcome = Outcome::TransportError}; }

Reply Bridge::Impl::deliver(std::span<const uint8_t> bytes) {
    size_t n = std::min(bytes.size(), data.size());
    if (b.faults_.shortReadAt == index) {
        const size_t limit = data.size() - std::min<size_t>(data.size(), std::max<uint32_t>(b.faults_.shortReadMissing, 1));
        n = std::min(n, limit);
    }
    std::copy_n(bytes.begin(), n, data.begin());
    return Good(static_cast<uint32_t>(n));
}

uint32_t Bridge::Impl::accepted() const { return cmd.dataIn ? 0 : static_cast<uint32_t>(data.size()); }

bool Bridge::Impl::writeIgnored() const { return b.faults_.ignoreWriteAt == index; }

bool Bridge::Impl::stuckBusy() const { return b.faults_.stuckBusyFrom && index >= *b.faults_.stuckBusyFrom; }

bool Bridge::Impl::busyNow() const { return stuckBusy() || b.clock_.nowMs() < b.busyUntilMs_; }

uint64_t Bridge::Impl::timeoutMs() const {
    return cmd.timeoutSeconds > 0 ? uint64_t{cmd.timeoutSeconds} * 1000 : kDefaultTimeoutMs;
}

bool Bridge::Impl::waitForFlash() {
    Clock& clock = b.clock_;
    const uint64_t now = clock.nowMs();
    if (stuckBusy() || b.busyUntilMs_ - std::min(b.busyUntilMs_, now) > timeoutMs()) {
        clock.waitUntil(now + timeoutMs());
        return false;
    }
    clock.waitUntil(b.busyUntilMs_);
    return true;
}

void Bridge::Impl::busyFor(uint64_t ms) {
    b.busyUntilMs_ = std::max(b.busyUntilMs_, b.clock_.nowMs()) + ms;
}

void Bridge::Impl::erase(uint32_t start, uint32_t length) {
    std::vector<uint8_t>& flash = b.flash_;
    if (start >= flash.size()) return;
    const size_t end = std::min<size_t>(flash.size(), size_t{start} + length);
    std::fill(flash.begin() + start, flash.begin() + static_cast<std::ptrdiff_t>(end), 0xFF);
    flashChanged = true;
}

// NOR programming only clears bits; addresses past the end wrap, as the
// address lines above the flash's size are not connected.
void Bridge::Impl::program(uint32_t address, std::span<const uint8_t> bytes) {
    std::vector<uint8_t>& flash = b.flash_;
    if (flash.empty()) return;
    const std::optional<StuckBit>& stuck = b.faults_.stuckBit;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const size_t at = (size_t{address} + i) % flash.size();
        uint8_t keep = 0;
        if (stuck && stuck->address == at) keep = stuck->mask;
        flash[at] = static_cast<uint8_t>(flash[at] & (bytes[i] | keep));
    }
    flashChanged = flashChanged || !bytes.empty();
}

}  // namespace sim
