// Keeps the machine from sleeping or shutting down while the flash is being
// written: a logind "shutdown:sleep" block inhibitor on Linux, the execution
// state on Windows. Where there is no logind or no system bus the guard holds
// nothing and the procedure goes on without it.
#pragma once

namespace vxe {

class SleepInhibitor {
public:
    SleepInhibitor();
    ~SleepInhibitor();
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    bool held() const { return held_; }

private:
    bool held_ = false;
    int fd_ = -1;
};

}  // namespace vxe
