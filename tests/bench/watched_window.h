// The window with a watch on its message pumps: every time a procedure lets
// it process messages (repaint, input), the simulated and the host clock are
// written down, so that the longest stretch without a pump can be read off.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "sim/clock.h"
#include "tests/bench/host_time.h"
#include "ui/fwupdate.h"

namespace vxe::bench {

class WatchedWindow : public TR84xFwTool {
public:
    explicit WatchedWindow(const sim::Clock& clock) : clock_(clock) {}

    void processMessages() override {
        mark();
        TR84xFwTool::processMessages();
    }

    void startWatch() {
        moments_.clear();
        mark();
    }
    void mark() { moments_.push_back({clock_.nowMs(), HostTime::Now().wallNs}); }

    // The longest stretch between two marks as a real run would see it: the
    // device time the simulated clock passed plus the host's own time.
    double longestGapMs() const {
        double longest = 0;
        for (size_t i = 1; i < moments_.size(); ++i) {
            const double gap = static_cast<double>(moments_[i].simulatedMs - moments_[i - 1].simulatedMs) +
                               Ms(moments_[i].wallNs - moments_[i - 1].wallNs);
            longest = std::max(longest, gap);
        }
        return longest;
    }
    // Pumps between the start and the end of the watch.
    size_t pumps() const { return moments_.size() < 2 ? 0 : moments_.size() - 2; }

private:
    struct Moment {
        uint64_t simulatedMs;
        uint64_t wallNs;
    };
    const sim::Clock& clock_;
    std::vector<Moment> moments_;
};

}  // namespace vxe::bench
