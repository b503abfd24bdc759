// The guest's verdict lines: one "HIL-CHECK <name>: PASS|FAIL <detail>" per
// check, flushed at once so that the console keeps it even if the guest dies.
#pragma once

#include <cstdio>
#include <string>

namespace hil {

class Checks {
public:
    bool check(const std::string& name, bool passed, const std::string& detail = {}) {
        std::printf("HIL-CHECK %s: %s%s%s\n", name.c_str(), passed ? "PASS" : "FAIL", detail.empty() ? "" : " ",
                    detail.c_str());
        std::fflush(stdout);
        allPassed_ = allPassed_ && passed;
        return passed;
    }
    bool allPassed() const { return allPassed_; }
    int exitCode() const { return allPassed_ ? 0 : 1; }

private:
    bool allPassed_ = true;
};

}  // namespace hil
