// What stands around the part of a procedure that changes a device's flash,
// for both front ends: every signal that would end the program held back to
// its end, the machine kept from sleeping or shutting down, and every write
// checked to go to the device the procedure started on. The device lock and
// the device's pin are taken earlier, before anything is sent, and held for
// longer; a pin of the device taken then is joined here.
#pragma once

#include <string>
#include <string_view>

#include "app/device_lock.h"
#include "app/identity_watch.h"
#include "app/interruption_guard.h"
#include "app/sleep_inhibitor.h"

namespace vxe {

class WriteGuard {
public:
    explicit WriteGuard(const char* device) : pin_(device) { pin_.beginWriting(); }

    int deferredSignal() const { return interruption_.deferredSignal(); }
    // A write was held back, or the path names another device now: then the
    // reads of the verify may have come from that one, so they prove
    // nothing. Asked once the procedure has ended.
    bool deviceChanged() { return pin_.deviceChanged() || !pin_.stillSameDevice(); }

private:
    InterruptionGuard interruption_;
    SleepInhibitor inhibitor_;
    DevicePin pin_;
};

// "/dev/sg2 now belongs to another device; the update stopped there"
std::string DeviceChangedNote(std::string_view device);
// "/dev/sg2 names another device than the one the device pass found; nothing
// was sent to it"
std::string DeviceChangedBeforeNote(std::string_view device);

// The lock for a device, keyed by what the platform calls its identity (the
// path when the device does not answer). No command is sent. Once it is
// held the platform refreshes what it keeps of the device; a device it
// cannot refresh is not locked (`Unavailable`, with the reason).
DeviceLock LockDevice(const char* device);

// "another procedure is working on /dev/sg2 (lock @vxe-fwupdate/sg2-...);
// nothing was sent". `sent` says what had gone to the device before, when
// something had (the device pass's commands).
std::string LockRefusal(const DeviceLock& lock, std::string_view device,
                        std::string_view sent = "nothing was sent");

}  // namespace vxe
