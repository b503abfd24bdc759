#include "app/sleep_inhibitor.h"

#ifdef _WIN32
#include <windows.h>
#elif defined(VXE_HAVE_SD_BUS)
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>
#endif

namespace vxe {
namespace {

#if !defined(_WIN32) && defined(VXE_HAVE_SD_BUS)
// A logind that does not answer must not hold up the update for long.
constexpr uint64_t kInhibitTimeoutUsec = 2'000'000;

int TakeLogindInhibitor() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return -1;
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int fd = -1;
    if (sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "Inhibit") >= 0 &&
        sd_bus_message_append(call, "ssss", "shutdown:sleep", "vxe-fwupdate",
                              "Writing firmware to a USB storage enclosure", "block") >= 0 &&
        sd_bus_call(bus, call, kInhibitTimeoutUsec, &error, &reply) >= 0) {
        int received = -1;
        // The descriptor belongs to the reply; keep a copy of our own.
        if (sd_bus_message_read(reply, "h", &received) >= 0 && received >= 0) {
            fd = fcntl(received, F_DUPFD_CLOEXEC, 3);
        }
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
    sd_bus_flush_close_unref(bus);
    return fd;
}
#endif

}  // namespace

SleepInhibitor::SleepInhibitor() {
#ifdef _WIN32
    held_ = ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0;
#elif defined(VXE_HAVE_SD_BUS)
    fd_ = TakeLogindInhibitor();
    held_ = fd_ >= 0;
#endif
}

SleepInhibitor::~SleepInhibitor() {
#ifdef _WIN32
    if (held_) ::SetThreadExecutionState(ES_CONTINUOUS);
#elif defined(VXE_HAVE_SD_BUS)
    if (fd_ >= 0) ::close(fd_);  // closing the descriptor releases the inhibitor
#endif
}

}  // namespace vxe
