#include "sim/clock.h"

#include <chrono>
#include <thread>

namespace sim {
namespace {
uint64_t SteadyNs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}
}  // namespace

RealClock::RealClock() : originNs_(SteadyNs()) {}

uint64_t RealClock::nowMs() const { return (SteadyNs() - originNs_) / 1'000'000; }

void RealClock::waitUntil(uint64_t deadlineMs) {
    for (uint64_t now = nowMs(); now < deadlineMs; now = nowMs()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(deadlineMs - now));
    }
}

}  // namespace sim
