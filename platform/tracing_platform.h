// A platform that writes down every command it carries, one line each, in
// the order sent, and hands everything to the platform it wraps. The command
// line's --trace uses it; a trace read next to a bus analyser's capture shows
// what the utility asked and what came back. Several threads may send at
// once: each line is written whole, numbered in the order the commands ended.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>

#include "platform/platform.h"

namespace vxe {

// One trace line (without the newline), e.g.
//   1 in shared cdb=120000002800000000000000 requested=40 transferred=40 timeout=20 result=ok path=/dev/sg2
// `result` is ok, error:CODE (the request did not go through) or not-opened
// (nothing was sent; transferred is then "-").
std::string FormatTraceLine(uint64_t sequence, const PassThroughRequest& request, const PassThroughResult& result);

class TracingPlatform final : public Platform {
public:
    TracingPlatform(Platform& inner, std::ostream& trace) : inner_(inner), trace_(trace) {}

    PassThroughResult passThrough(const PassThroughRequest& request) override;
    std::vector<std::string> enumerateInterfaces(InterfaceClass cls) override { return inner_.enumerateInterfaces(cls); }
    uint32_t maxTransferLength(const char* path) override { return inner_.maxTransferLength(path); }
    std::string deviceIdentity(const char* path) override { return inner_.deviceIdentity(path); }
    std::string refreshDevice(const char* path) override { return inner_.refreshDevice(path); }
    void sleepMs(uint32_t milliseconds) override { inner_.sleepMs(milliseconds); }
    std::span<const uint8_t> findResource(std::string_view name, std::string_view type) override {
        return inner_.findResource(name, type);
    }
    void messageBox(std::string_view text, std::string_view caption, MessageIcon icon) override {
        inner_.messageBox(text, caption, icon);
    }
    void debugOutput(std::string_view text) override { inner_.debugOutput(text); }

    uint64_t commandsTraced() const { return sequence_; }

private:
    Platform& inner_;
    std::ostream& trace_;
    std::mutex mutex_;
    std::atomic<uint64_t> sequence_{0};
};

}  // namespace vxe
