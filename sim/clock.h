// Time as the simulated devices see it. Tests use the fake clock, which moves
// only when somebody waits on it; the demo uses the real one.
#pragma once

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

class FakeClock final : public Clock {
public:
    uint64_t nowMs() const override { return now_; }
    void waitUntil(uint64_t deadlineMs) override {
        if (deadlineMs > now_) now_ = deadlineMs;
    }
    void advance(uint64_t ms) { now_ += ms; }

private:
    uint64_t now_ = 0;
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
