// Time as the simulated devices see it. Tests use the fake clock, which moves
// only when somebody waits on it; the demo uses the real one.
#pragma once

#include <atomic>
#include <cstdint>

namespace sim {

class Clock {
public:
    virtual ~Clock() = default;
    virtual uint64_t nowMs() const = 0;
    // Returns once the clock reads at least `deadlineMs`.
    virtual void waitUntil(uint64_t deadlineMs) = 0;
    void sleepMs(uint64_t ms) { waitUntil(nowMs() + ms); }
};

// Safe to share between threads: it only ever moves forward.
class FakeClock final : public Clock {
public:
    uint64_t nowMs() const override { return now_.load(); }
    void waitUntil(uint64_t deadlineMs) override {
        uint64_t now = now_.load();
        while (deadlineMs > now && !now_.compare_exchange_weak(now, deadlineMs)) {
        }
    }
    void advance(uint64_t ms) { now_ += ms; }

private:
    std::atomic<uint64_t> now_{0};
};

class RealClock final : public Clock {
public:
    RealClock();
    uint64_t nowMs() const override;
    void waitUntil(uint64_t deadlineMs) override;

private:
    uint64_t originNs_;
};

}  // namespace sim
