#include "app/interruption_guard.h"

#include <csignal>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vxe {
namespace {

volatile std::sig_atomic_t g_deferred = 0;

#ifndef SIGHUP
constexpr int kHangUp = 1;
#else
constexpr int kHangUp = SIGHUP;
#endif

#ifdef _WIN32
HANDLE g_finished = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            if (g_deferred == 0) g_deferred = SIGINT;
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The process ends when this returns: wait for the procedure as
            // long as the system lets us.
            if (g_deferred == 0) g_deferred = kHangUp;
            if (g_finished != nullptr) ::WaitForSingleObject(g_finished, INFINITE);
            return TRUE;
        default:
            return FALSE;
    }
}
#else
struct sigaction g_previous[3];
constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnSignal(int signal) {
    if (g_deferred == 0) g_deferred = signal;
}
#endif

}  // namespace

InterruptionGuard::InterruptionGuard() {
    g_deferred = 0;
#ifdef _WIN32
    g_finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a held-back signal must not cut a read or a sleep short
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &g_previous[i]);
#endif
}

InterruptionGuard::~InterruptionGuard() {
#ifdef _WIN32
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    if (g_finished != nullptr) {
        ::SetEvent(g_finished);
        ::CloseHandle(g_finished);
        g_finished = nullptr;
    }
#else
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
#endif
}

int InterruptionGuard::deferredSignal() const { return g_deferred; }

int ExitStatusForSignal(int signal) { return signal == 0 ? 0 : 128 + signal; }

std::string SignalName(int signal) {
    if (signal == SIGINT) return "SIGINT";
    if (signal == SIGTERM) return "SIGTERM";
    if (signal == kHangUp) return "SIGHUP";
    return "signal " + std::to_string(signal);
}

std::string InterruptionNote(int signal) {
    return SignalName(signal) + " came while the flash was being written; the procedure was finished first";
}

}  // namespace vxe
