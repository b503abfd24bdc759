#include "bot_target.h"

#include <algorithm>

namespace hil {
namespace {

constexpr uint32_t kCbwSignature = 0x43425355;  // "USBC"
constexpr uint32_t kCswSignature = 0x53425355;  // "USBS"
constexpr uint32_t kBlockSize = 512;

constexpr uint8_t kSenseNoSense = 0x00;
constexpr uint8_t kSenseIllegalRequest = 0x05;
constexpr uint8_t kAscLbaOutOfRange = 0x21;
constexpr uint8_t kAscLunNotSupported = 0x25;

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutBe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

std::array<uint8_t, 18> FixedSense(uint8_t key, uint8_t asc) {
    std::array<uint8_t, 18> sense{};
    sense[0] = 0x70;
    sense[2] = key;
    sense[7] = 0x0A;
    sense[12] = asc;
    return sense;
}

// Copies a reply into the data phase; returns the bytes delivered.
uint32_t Deliver(std::span<uint8_t> data, std::span<const uint8_t> reply) {
    const size_t n = std::min(data.size(), reply.size());
    std::copy_n(reply.begin(), n, data.begin());
    return static_cast<uint32_t>(n);
}

}  // namespace

std::optional<Cbw> ParseCbw(std::span<const uint8_t> bytes) {
    if (bytes.size() != kCbwSize || Le32(bytes.data()) != kCbwSignature) {
        return std::nullopt;
    }
    Cbw cbw;
    cbw.tag = Le32(bytes.data() + 4);
    cbw.dataLength = Le32(bytes.data() + 8);
    cbw.dataIn = (bytes[12] & 0x80) != 0;
    cbw.lun = bytes[13] & 0x0F;
    cbw.cdbLength = bytes[14] & 0x1F;
    if (cbw.cdbLength == 0 || cbw.cdbLength > cbw.cdb.size()) {
        return std::nullopt;
    }
    std::copy_n(bytes.begin() + 15, cbw.cdbLength, cbw.cdb.begin());
    return cbw;
}

std::array<uint8_t, kCswSize> BuildCsw(uint32_t tag, uint32_t residue, CswStatus status) {
    std::array<uint8_t, kCswSize> csw{};
    PutLe32(csw.data(), kCswSignature);
    PutLe32(csw.data() + 4, tag);
    PutLe32(csw.data() + 8, residue);
    csw[12] = static_cast<uint8_t>(status);
    return csw;
}

BotTarget::BotTarget(sim::Bridge& bridge, uint32_t diskBlocks)
    : bridge_(bridge), diskBlocks_(diskBlocks), sense_(FixedSense(kSenseNoSense, 0)) {}

BotResult BotTarget::fail(uint8_t senseKey, uint8_t asc, uint32_t dataLength) {
    sense_ = FixedSense(senseKey, asc);
    return BotResult{CswStatus::Failed, dataLength};
}

BotResult BotTarget::pass(uint32_t delivered, uint32_t dataLength) {
    sense_ = FixedSense(kSenseNoSense, 0);
    return BotResult{CswStatus::Passed, dataLength - std::min(delivered, dataLength)};
}

BotResult BotTarget::execute(const Cbw& cbw, std::span<uint8_t> data, uint32_t timeoutSeconds) {
    data = data.first(std::min<size_t>(data.size(), cbw.dataLength));
    const auto length = static_cast<uint32_t>(data.size());
    if (cbw.dataIn) {
        std::fill(data.begin(), data.end(), 0);
    }
    if (!bridge_.present()) {
        return BotResult{CswStatus::PhaseError, length};
    }
    if (cbw.lun != 0) {
        return fail(kSenseIllegalRequest, kAscLunNotSupported, length);
    }
    if (cbw.cdb[0] == 0x03) {  // REQUEST SENSE: the last command's sense, then none
        const std::array<uint8_t, 18> sense = sense_;
        const uint32_t delivered = Deliver(data, std::span(sense).first(std::min<size_t>(sense.size(), cbw.cdb[4])));
        return pass(delivered, length);
    }
    if (std::optional<BotResult> disk = executeDiskCommand(cbw, data)) {
        return *disk;
    }

    sim::Command command;
    command.cdb = cbw.cdb;
    command.cdbLength = cbw.cdbLength;
    command.dataIn = cbw.dataIn;
    command.length = length;
    command.timeoutSeconds = timeoutSeconds;
    command.exclusiveOpen = false;
    const sim::Reply reply = bridge_.execute(command, data);
    switch (reply.outcome) {
    case sim::Outcome::Good: {
        const uint32_t delivered = std::min(reply.transferred, length);
        if (cbw.dataIn) {
            std::fill(data.begin() + delivered, data.end(), 0);
        }
        return pass(delivered, length);
    }
    case sim::Outcome::CheckCondition:
        if (cbw.dataIn) {
            std::fill(data.begin(), data.end(), 0);
        }
        sense_ = reply.sense;
        return BotResult{CswStatus::Failed, length - std::min(reply.transferred, length)};
    case sim::Outcome::TransportError:
    case sim::Outcome::NotPresent:
        break;
    }
    // The request did not go through: the host sees a phase error, resets the
    // device and fails the request.
    if (cbw.dataIn) {
        std::fill(data.begin(), data.end(), 0);
    }
    return BotResult{CswStatus::PhaseError, length};
}

std::optional<BotResult> BotTarget::executeDiskCommand(const Cbw& cbw, std::span<uint8_t> data) {
    const auto& c = cbw.cdb;
    const auto length = static_cast<uint32_t>(data.size());
    switch (c[0]) {
    case 0x00:  // TEST UNIT READY
    case 0x1B:  // START STOP UNIT
    case 0x1E:  // PREVENT ALLOW MEDIUM REMOVAL
    case 0x35:  // SYNCHRONIZE CACHE(10)
        return pass(0, length);
    case 0x1A: {  // MODE SENSE(6): empty header, not write protected
        const std::array<uint8_t, 4> header{3, 0, 0, 0};
        return pass(Deliver(data, std::span(header).first(std::min<size_t>(header.size(), c[4]))), length);
    }
    case 0x5A: {  // MODE SENSE(10)
        const std::array<uint8_t, 8> header{0, 6, 0, 0, 0, 0, 0, 0};
        const size_t allocation = size_t{c[7]} << 8 | c[8];
        return pass(Deliver(data, std::span(header).first(std::min(header.size(), allocation))), length);
    }
    case 0x25: {  // READ CAPACITY(10)
        std::array<uint8_t, 8> capacity{};
        PutBe32(capacity.data(), diskBlocks_ == 0 ? 0 : diskBlocks_ - 1);
        PutBe32(capacity.data() + 4, kBlockSize);
        return pass(Deliver(data, capacity), length);
    }
    case 0x9E: {  // SERVICE ACTION IN(16)
        if ((c[1] & 0x1F) != 0x10) return std::nullopt;
        std::array<uint8_t, 32> capacity{};
        PutBe32(capacity.data() + 4, diskBlocks_ == 0 ? 0 : diskBlocks_ - 1);
        PutBe32(capacity.data() + 8, kBlockSize);
        const uint32_t allocation = uint32_t{c[10]} << 24 | uint32_t{c[11]} << 16 | uint32_t{c[12]} << 8 | c[13];
        return pass(Deliver(data, std::span(capacity).first(std::min<size_t>(capacity.size(), allocation))), length);
    }
    case 0x28: {  // READ(10): the blank disk reads as zeros
        const uint64_t lba = uint32_t{c[2]} << 24 | uint32_t{c[3]} << 16 | uint32_t{c[4]} << 8 | c[5];
        const uint64_t blocks = uint32_t{c[7]} << 8 | c[8];
        if (lba + blocks > diskBlocks_) {
            return fail(kSenseIllegalRequest, kAscLbaOutOfRange, length);
        }
        return pass(static_cast<uint32_t>(std::min<uint64_t>(blocks * kBlockSize, length)), length);
    }
    default:
        return std::nullopt;
    }
}

}  // namespace hil
