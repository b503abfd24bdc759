// The platform over a simulated bus. Sleeping moves the simulated clock,
// message boxes and debug output are recorded, and resources come from a map
// the test controls (starting from the resources built into the program).
// Requests from several threads are carried one at a time; sleeping does not
// hold anything, so separate devices can wait at once.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "sim/bus.h"

namespace vxe {

struct RecordedMessage {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
};

class SimulatedPlatform : public Platform {
public:
    // With `builtInResources` the resources compiled into the program are
    // visible unless a test hides or replaces them.
    SimulatedPlatform(sim::Bus& bus, bool builtInResources = true);

    PassThroughResult passThrough(const PassThroughRequest& request) override;
    std::vector<std::string> enumerateInterfaces(InterfaceClass cls) override;
    uint32_t maxTransferLength(const char* path) override;
    std::string deviceIdentity(const char* path) override;
    // A device whose flash lives in a file reads it again: another process
    // may have written it while this one did not hold the device.
    std::string refreshDevice(const char* path) override;
    void sleepMs(uint32_t milliseconds) override;
    std::span<const uint8_t> findResource(std::string_view name, std::string_view type) override;
    void messageBox(std::string_view text, std::string_view caption, MessageIcon icon) override;
    void debugOutput(std::string_view text) override;

    sim::Bus& bus() { return bus_; }

    void setResource(const std::string& name, const std::string& type, std::vector<uint8_t> bytes);
    void hideResource(const std::string& name, const std::string& type);

    // Another program holds the device open: exclusive opens fail.
    void setHeldElsewhere(const std::string& path, bool held);

    // The most data one request to the device may move, as a USB 2.0 link
    // bounds it on Linux; a longer request is refused without reaching the
    // device. kNoTransferLimit (the default) lifts the bound.
    void setTransferLimit(const std::string& path, uint32_t bytes);

    const std::vector<RecordedMessage>& messages() const { return messages_; }
    const std::vector<std::string>& debugLines() const { return debugLines_; }
    uint64_t sleptMs() const { return sleptMs_; }
    void clearRecords();

    // Optional presenters (the demo shows real boxes); recording happens anyway.
    std::function<void(const RecordedMessage&)> onMessageBox;
    std::function<void(std::string_view)> onDebugOutput;

private:
    // One command on its device, under the lock; `latencyMs`: how long it
    // takes there, to be waited out after the lock is let go.
    PassThroughResult carry(const PassThroughRequest& request, uint32_t& latencyMs);

    std::recursive_mutex mutex_;  // the bus, its bridges and the records
    sim::Bus& bus_;
    bool builtIn_;
    std::map<std::pair<std::string, std::string>, std::vector<uint8_t>> resources_;
    std::vector<std::pair<std::string, std::string>> hidden_;
    std::vector<std::string> held_;
    std::vector<std::pair<std::string, uint32_t>> transferLimits_;
    std::vector<RecordedMessage> messages_;
    std::vector<std::string> debugLines_;
    uint64_t sleptMs_ = 0;
};

}  // namespace vxe
