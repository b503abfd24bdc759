#include "sim/simulated_platform.h"

#include <algorithm>
#include <csignal>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "platform/embedded_resources.h"

namespace vxe {
namespace {

// What the storage stack reports when a request does not reach the device
// (ERROR_IO_DEVICE) or its buffer is missing or longer than the device
// takes in one request (ERROR_INVALID_PARAMETER).
constexpr uint32_t kErrorIoDevice = 1117;
constexpr uint32_t kErrorInvalidParameter = 87;

bool SamePath(std::string_view a, std::string_view b) {
    const auto lower = [](unsigned char ch) { return ch >= 'A' && ch <= 'Z' ? ch + ('a' - 'A') : ch; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

sim::InterfaceClass BusClass(InterfaceClass cls) {
    return cls == InterfaceClass::CdRom ? sim::InterfaceClass::CdRom : sim::InterfaceClass::Disk;
}

// To this process, from another one, as a user's kill would send it.
void SendSignal(int signal) {
#ifdef _WIN32
    std::raise(signal);
#else
    const pid_t target = ::getpid();
    const pid_t sender = ::fork();
    if (sender == 0) {
        // Holding none of this process's files (its device lock among them),
        // so that a kill frees them at once.
        ::close_range(3, ~0U, 0);
        ::kill(target, signal);
        ::_exit(0);
    }
    if (sender > 0) {
        int status = 0;
        while (::waitpid(sender, &status, 0) < 0 && errno == EINTR) {
        }
    }
#endif
}

}  // namespace

SimulatedPlatform::SimulatedPlatform(sim::Bus& bus, bool builtInResources) : bus_(bus), builtIn_(builtInResources) {}

PassThroughResult SimulatedPlatform::passThrough(const PassThroughRequest& request) {
    uint32_t latencyMs = 0;
    const PassThroughResult result = carry(request, latencyMs);
    // A command takes its time on its own device only: separate devices on
    // the bus are not held up by it, as on a real bus.
    if (latencyMs > 0) bus_.clock().sleepMs(latencyMs);
    return result;
}

PassThroughResult SimulatedPlatform::carry(const PassThroughRequest& request, uint32_t& latencyMs) {
    const std::lock_guard lock(mutex_);
    PassThroughResult result;
    if (request.path == nullptr) return result;
    const std::string path(request.path);
    sim::BusDevice* device = bus_.find(path);
    if (device == nullptr || !device->plugged || !device->bridge->present()) return result;
    if (device->signalAt && device->bridge->commandCount() == device->signalAt->command) SendSignal(device->signalAt->signal);
    const bool held = std::any_of(held_.begin(), held_.end(), [&](const std::string& p) { return SamePath(p, path); });
    if (held && request.openMode == OpenMode::Exclusive) return result;
    result.opened = true;

    if ((request.dataBuffer == nullptr && request.dataTransferLength > 0) ||
        (request.cdb == nullptr && request.cdbLength > 0) ||
        request.dataTransferLength > maxTransferLength(request.path)) {
        result.errorCode = kErrorInvalidParameter;
        return result;
    }
    sim::Command command;
    command.cdbLength = std::min<uint8_t>(request.cdbLength, static_cast<uint8_t>(command.cdb.size()));
    std::copy_n(request.cdb, command.cdbLength, command.cdb.begin());
    command.dataIn = request.direction == DataDirection::In;
    command.length = request.dataTransferLength;
    command.timeoutSeconds = request.timeoutSeconds;
    command.exclusiveOpen = request.openMode == OpenMode::Exclusive;
    const std::span<uint8_t> data = request.dataBuffer == nullptr
                                        ? std::span<uint8_t>()
                                        : std::span<uint8_t>(request.dataBuffer, request.dataTransferLength);

    const sim::Reply reply = device->bridge->executeWithoutItsTime(command, data);
    if (reply.outcome != sim::Outcome::NotPresent) latencyMs = device->bridge->description().timing.commandMs;
    switch (reply.outcome) {
        case sim::Outcome::NotPresent:
            return PassThroughResult{};
        case sim::Outcome::TransportError:
            result.errorCode = kErrorIoDevice;
            break;
        case sim::Outcome::Good:
        case sim::Outcome::CheckCondition:  // carried: the status byte is the caller's business
            result.callSucceeded = true;
            break;
    }
    result.dataTransferLength = reply.transferred;
    return result;
}

std::string SimulatedPlatform::deviceIdentity(const char* path) {
    const std::lock_guard lock(mutex_);
    if (path == nullptr) return {};
    const sim::BusDevice* device = bus_.find(path);
    if (device == nullptr || !device->plugged || !device->bridge->present()) return {};
    if (device->givenAwayAfter && device->bridge->commandCount() >= *device->givenAwayAfter) {
        return device->identity + "+another";
    }
    return device->identity;
}

std::string SimulatedPlatform::refreshDevice(const char* path) {
    const std::lock_guard lock(mutex_);
    if (path == nullptr) return {};
    sim::BusDevice* device = bus_.find(path);
    if (device == nullptr) return {};
    std::string problem = device->bridge->reloadFlashFile();
    return problem.empty() ? problem : device->path + ": flash-file: " + problem;
}

uint32_t SimulatedPlatform::maxTransferLength(const char* path) {
    const std::lock_guard lock(mutex_);
    if (path == nullptr) return kNoTransferLimit;
    for (const auto& [limited, bytes] : transferLimits_) {
        if (SamePath(limited, path)) return bytes;
    }
    return kNoTransferLimit;
}

void SimulatedPlatform::setTransferLimit(const std::string& path, uint32_t bytes) {
    std::erase_if(transferLimits_, [&](const auto& entry) { return SamePath(entry.first, path); });
    if (bytes != kNoTransferLimit) transferLimits_.emplace_back(path, bytes);
}

std::vector<std::string> SimulatedPlatform::enumerateInterfaces(InterfaceClass cls) {
    const std::lock_guard lock(mutex_);
    return bus_.paths(BusClass(cls));
}

void SimulatedPlatform::sleepMs(uint32_t milliseconds) {
    bus_.clock().sleepMs(milliseconds);
    const std::lock_guard lock(mutex_);
    sleptMs_ += milliseconds;
}

std::span<const uint8_t> SimulatedPlatform::findResource(std::string_view name, std::string_view type) {
    const std::lock_guard lock(mutex_);
    const auto key = std::make_pair(std::string(name), std::string(type));
    if (const auto it = resources_.find(key); it != resources_.end()) return it->second;
    if (std::find(hidden_.begin(), hidden_.end(), key) != hidden_.end()) return {};
    return builtIn_ ? FindBuiltInResource(name, type) : std::span<const uint8_t>();
}

void SimulatedPlatform::setResource(const std::string& name, const std::string& type, std::vector<uint8_t> bytes) {
    const auto key = std::make_pair(name, type);
    std::erase(hidden_, key);
    resources_[key] = std::move(bytes);
}

void SimulatedPlatform::hideResource(const std::string& name, const std::string& type) {
    const auto key = std::make_pair(name, type);
    resources_.erase(key);
    if (std::find(hidden_.begin(), hidden_.end(), key) == hidden_.end()) hidden_.push_back(key);
}

void SimulatedPlatform::setHeldElsewhere(const std::string& path, bool held) {
    std::erase_if(held_, [&](const std::string& p) { return SamePath(p, path); });
    if (held) held_.push_back(path);
}

void SimulatedPlatform::messageBox(std::string_view text, std::string_view caption, MessageIcon icon) {
    const std::lock_guard lock(mutex_);
    RecordedMessage message{std::string(text), std::string(caption), icon};
    messages_.push_back(message);
    if (onMessageBox) onMessageBox(message);
}

void SimulatedPlatform::debugOutput(std::string_view text) {
    const std::lock_guard lock(mutex_);
    debugLines_.emplace_back(text);
    if (onDebugOutput) onDebugOutput(text);
}

void SimulatedPlatform::clearRecords() {
    messages_.clear();
    debugLines_.clear();
    sleptMs_ = 0;
}

}  // namespace vxe
