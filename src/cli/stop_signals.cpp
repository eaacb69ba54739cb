#include "cli/stop_signals.hpp"

#include <signal.h>

#include <atomic>
#include <thread>

namespace tralvex::cli {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The first stop signal received.
std::atomic<int> received{0};

bool IsIgnored(int signal) {
    struct sigaction current {};
    return ::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// Takes every stop signal as it comes and keeps the first: a thread waiting
// for them sees them in the order they arrive.
void TakeStopSignals(sigset_t caught) {
    for (;;) {
        int signal = 0;
        if (sigwait(&caught, &signal) != 0) continue;
        int none = 0;
        received.compare_exchange_strong(none, signal);
    }
}

}  // namespace

void CatchStopSignals() {
    sigset_t caught;
    sigemptyset(&caught);
    bool any = false;
    for (int signal : kStopSignals) {
        if (IsIgnored(signal)) continue;
        sigaddset(&caught, signal);
        any = true;
    }
    ::signal(SIGPIPE, SIG_IGN);
    if (!any) return;
    // Blocked before any other thread starts, so that every thread inherits
    // the mask and only the waiting thread takes a stop signal.
    pthread_sigmask(SIG_BLOCK, &caught, nullptr);
    std::thread(TakeStopSignals, caught).detach();
}

int ReceivedStopSignal() { return received.load(); }

const char* StopSignalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        default:
            return "SIGHUP";
    }
}

}  // namespace tralvex::cli
