#include "cli/limits_guard.hpp"

#include <algorithm>
#include <limits>

#include "cli/stop_signals.hpp"

namespace tralvex::cli {

LimitsGuard::LimitsGuard(const Limits& limits, const AddressHistory& history)
    : limits_(limits), history_(history) {}

bool LimitsGuard::MayCycle() {
    if (StopsHere()) return false;
    if (limits_.maxCycles && cycles_ >= *limits_.maxCycles) return Stop(StopReason::MaxCycles);
    ++cycles_;
    return true;
}

bool LimitsGuard::MayPoll() { return !StopsHere(); }

bool LimitsGuard::IsRepeat(const Text& newAddress, const Text& oldAddress) {
    return RunGuard::IsRepeat(newAddress, oldAddress) ||
           (limits_.avoid > 0 && history_.SeenInLastChanges(newAddress, limits_.avoid));
}

std::optional<RequestTimeouts> LimitsGuard::TimeoutsFor(RouterRequest request) {
    if (!limits_.deadline) return std::nullopt;
    if (request == RouterRequest::Connect) return kStandardTimeouts;
    const int left = MillisecondsLeft();
    // The standard resolve time-out is none at all.
    return RequestTimeouts{left, std::min(kStandardTimeouts.connect, left),
                           std::min(kStandardTimeouts.send, left),
                           std::min(kStandardTimeouts.receive, left)};
}

bool LimitsGuard::DeadlinePassed() const {
    return limits_.deadline && Clock::now() >= *limits_.deadline;
}

bool LimitsGuard::StopsHere() {
    if (ReceivedStopSignal() != 0) return !Stop(StopReason::Signal);
    if (DeadlinePassed()) return !Stop(StopReason::Timeout);
    return false;
}

// Records the first reason; false, for the question that ends the run.
bool LimitsGuard::Stop(StopReason reason) {
    if (!reason_) reason_ = reason;
    return false;
}

int LimitsGuard::MillisecondsLeft() const {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*limits_.deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 1, std::numeric_limits<int>::max()));
}

}  // namespace tralvex::cli
