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

#include "platform/forwarding_platform.h"

namespace vxe {

// One trace line (without the newline), e.g.
//   1 in shared cdb=120000002800000000000000 requested=40 transferred=40 timeout=20 result=ok path=/dev/sg2
// `result` is ok, error:CODE (the request did not go through) or not-opened
// (nothing was sent; transferred is then "-").
std::string FormatTraceLine(uint64_t sequence, const PassThroughRequest& request, const PassThroughResult& result);

class TracingPlatform final : public ForwardingPlatform {
public:
    TracingPlatform(Platform& inner, std::ostream& trace) : ForwardingPlatform(inner), trace_(trace) {}

    PassThroughResult passThrough(const PassThroughRequest& request) override;

    uint64_t commandsTraced() const { return sequence_; }

private:
    std::ostream& trace_;
    std::mutex mutex_;
    std::atomic<uint64_t> sequence_{0};
};

}  // namespace vxe
