#include "app/interruption_guard.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vxe {
namespace {

std::atomic<int> g_deferred{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch a lock-free flag");

std::mutex g_mutex;
int g_depth = 0;           // guards installed now
int g_interruptible = 0;   // InterruptibleReads alive now

void Note(int signal) {
    int none = 0;
    g_deferred.compare_exchange_strong(none, signal);
}

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
            Note(SIGINT);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The process ends when this returns: wait for the procedure as
            // long as the system lets us.
            Note(kHangUp);
            if (g_finished != nullptr) ::WaitForSingleObject(g_finished, INFINITE);
            return TRUE;
        default:
            return FALSE;
    }
}

void Install() {
    g_finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void Restore() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    if (g_finished != nullptr) {
        ::SetEvent(g_finished);
        ::CloseHandle(g_finished);
        g_finished = nullptr;
    }
}

void SetRestart(bool) {}

#else
// Every signal whose default action ends the process. SIGKILL cannot be
// caught; SIGSTOP, SIGTSTP, SIGTTIN and SIGTTOU only stop it, and SIGCHLD,
// SIGURG, SIGWINCH and SIGCONT are ignored by default.
constexpr int kStandardSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT, SIGBUS, SIGFPE,
                                    SIGUSR1, SIGSEGV, SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM, SIGSTKFLT,
                                    SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSYS};

// Signals the processor raises for the instruction at hand. Held back, a
// real fault would come again at once, so only one sent by another process
// is held back; a fault, or one the program raised itself (abort), meets
// the handler that was there before.
bool RaisedByFaults(int signal) {
    return signal == SIGILL || signal == SIGTRAP || signal == SIGABRT || signal == SIGBUS || signal == SIGFPE ||
           signal == SIGSEGV || signal == SIGSYS;
}

struct sigaction g_previous[NSIG];
volatile std::sig_atomic_t g_installed[NSIG];

extern "C" void OnSignal(int signal, siginfo_t* info, void*) {
    if (RaisedByFaults(signal) && (info == nullptr || info->si_code > 0 || info->si_pid == ::getpid())) {
        const int saved = errno;
        sigaction(signal, &g_previous[signal], nullptr);
        if (info != nullptr && info->si_code <= 0) ::raise(signal);  // delivered again once this returns
        errno = saved;
        return;
    }
    Note(signal);
}

template <typename Each>
void ForEachSignal(Each each) {
    for (const int signal : kStandardSignals) each(signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) each(signal);
}

struct sigaction OurAction(bool restart) {
    struct sigaction action {};
    action.sa_sigaction = OnSignal;
    sigemptyset(&action.sa_mask);
    // A held-back signal must not cut a read, a write or a sleep short,
    // unless a question is waiting for its answer.
    action.sa_flags = SA_SIGINFO | (restart ? SA_RESTART : 0);
    return action;
}

void Install() {
    const struct sigaction action = OurAction(g_interruptible == 0);
    ForEachSignal([&](int signal) {
        struct sigaction current {};
        g_installed[signal] = 0;
        if (sigaction(signal, nullptr, &current) != 0) return;
        // Whoever started the program asked for it to be ignored: so it stays.
        if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN) return;
        g_previous[signal] = current;
        g_installed[signal] = 1;
        if (sigaction(signal, &action, nullptr) != 0) g_installed[signal] = 0;
    });
}

void Restore() {
    ForEachSignal([](int signal) {
        if (g_installed[signal]) sigaction(signal, &g_previous[signal], nullptr);
        g_installed[signal] = 0;
    });
}

void SetRestart(bool restart) {
    const struct sigaction action = OurAction(restart);
    ForEachSignal([&](int signal) {
        if (g_installed[signal]) sigaction(signal, &action, nullptr);
    });
}
#endif

}  // namespace

InterruptionGuard::InterruptionGuard() {
    const std::lock_guard lock(g_mutex);
    if (g_depth++ > 0) return;
    g_deferred = 0;
    Install();
}

InterruptionGuard::~InterruptionGuard() {
    const std::lock_guard lock(g_mutex);
    if (--g_depth > 0) return;
    Restore();
}

int InterruptionGuard::deferredSignal() const { return g_deferred; }

int PendingSignal() {
    const std::lock_guard lock(g_mutex);
    return g_depth > 0 ? g_deferred.load() : 0;
}

InterruptibleReads::InterruptibleReads() {
    const std::lock_guard lock(g_mutex);
    if (g_interruptible++ == 0 && g_depth > 0) SetRestart(false);
}

InterruptibleReads::~InterruptibleReads() {
    const std::lock_guard lock(g_mutex);
    if (--g_interruptible == 0 && g_depth > 0) SetRestart(true);
}

int ExitStatusForSignal(int signal) { return signal == 0 ? 0 : 128 + signal; }

std::string SignalName(int signal) {
    if (signal == SIGINT) return "SIGINT";
    if (signal == SIGTERM) return "SIGTERM";
    if (signal == kHangUp) return "SIGHUP";
#ifndef _WIN32
    if (signal >= SIGRTMIN && signal <= SIGRTMAX) {
        return signal == SIGRTMIN ? "SIGRTMIN" : "SIGRTMIN+" + std::to_string(signal - SIGRTMIN);
    }
    if (const char* name = sigabbrev_np(signal)) return std::string("SIG") + name;
#endif
    return "signal " + std::to_string(signal);
}

std::string InterruptionNote(int signal) {
#ifdef SIGPIPE
    if (signal == SIGPIPE) {
        return "SIGPIPE came while the flash was being written (the output was closed); the procedure was "
               "finished first";
    }
#endif
    return SignalName(signal) + " came while the flash was being written; the procedure was finished first";
}

std::string InterruptedBeforeWritingNote(int signal) {
    return SignalName(signal) + " came before anything was written; nothing was written";
}

}  // namespace vxe
