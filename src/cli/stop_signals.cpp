#include "cli/stop_signals.hpp"

#include <signal.h>

#include <atomic>

namespace tralvex::cli {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Lock-free, so that the handler may touch it.
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free);

void RecordStopSignal(int signal) {
    int none = 0;
    received.compare_exchange_strong(none, signal);
}

bool IsIgnored(int signal) {
    struct sigaction current {};
    return ::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

void InstallStopSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = RecordStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
    for (int signal : kStopSignals) {
        if (!IsIgnored(signal)) ::sigaction(signal, &action, nullptr);
    }
    ::signal(SIGPIPE, SIG_IGN);
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
