#pragma once

// The limits of a run from the command line: a number of cycles, a time
// limit, the addresses of the history to avoid, and the stop signals. Each is
// acted on only where the worker asks the guard, when the router is connected
// (before a disconnect request, or before a poll once the connect request has
// been sent), so a run never ends with the router left disconnected.

#include <chrono>
#include <optional>

#include "changer/change_ip.hpp"
#include "cli/address_history.hpp"

namespace tralvex::cli {

using Clock = std::chrono::steady_clock;

// The time-outs of the request object when nobody sets them, which every
// request of the window's runs has.
inline constexpr RequestTimeouts kStandardTimeouts{0, 60000, 30000, 30000};

struct Limits {
    std::optional<int> maxCycles;
    std::optional<Clock::time_point> deadline;
    int avoid = 0;  // the changes of the history whose addresses count as repeats
};

enum class StopReason { MaxCycles, Timeout, Signal };

class LimitsGuard : public RunGuard {
  public:
    LimitsGuard(const Limits& limits, const AddressHistory& history);

    bool MayCycle() override;
    bool MayPoll() override;
    bool IsRepeat(const Text& newAddress, const Text& oldAddress) override;
    // Without a time limit none, so that the requests go out as the window's
    // do. With one, each time-out no longer than the time left (at least 1 ms),
    // except for the connect request, which keeps the standard ones.
    std::optional<RequestTimeouts> TimeoutsFor(RouterRequest request) override;

    // Why the guard ended the run; nothing while it has not.
    std::optional<StopReason> Reason() const { return reason_; }
    bool DeadlinePassed() const;

  private:
    // Whether a stop signal or the time limit ends the run here.
    bool StopsHere();
    bool Stop(StopReason reason);
    int MillisecondsLeft() const;

    Limits limits_;
    const AddressHistory& history_;
    int cycles_ = 0;
    std::optional<StopReason> reason_;
};

}  // namespace tralvex::cli
