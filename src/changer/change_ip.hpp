#pragma once

// One IP change: log in to the router's status page, read its WAN address,
// make it disconnect and reconnect, poll until a non-zero address shows, and
// cycle again while the router hands back the old address.

#include <optional>

#include "changer/change_ip_view.hpp"
#include "text/text.hpp"

namespace tralvex {

// The three requests a run sends to the router.
enum class RouterRequest { Status, Disconnect, Connect };

// The time-outs of one request in milliseconds, in the order the request
// object takes them; 0 means no limit.
struct RequestTimeouts {
    int resolve = 0;
    int connect = 0;
    int send = 0;
    int receive = 0;

    bool operator==(const RequestTimeouts&) const = default;
};

// Limits a front end may put on a run. The window puts none: its run ends only
// with a new address or a failed login.
class RunGuard {
  public:
    virtual ~RunGuard() = default;
    // Asked before each disconnect request; false ends the run. The router is
    // connected whenever this is asked.
    virtual bool MayCycle() { return true; }
    // Asked before each status poll after a reconnection; false ends the run.
    // The connect request has been sent whenever this is asked.
    virtual bool MayPoll() { return true; }
    // Whether the address read after a reconnection counts as a repeat.
    virtual bool IsRepeat(const Text& newAddress, const Text& oldAddress) {
        return newAddress == oldAddress;
    }
    // Asked before each request is sent: the time-outs to send it with, or
    // none to leave the request object's as they are.
    virtual std::optional<RequestTimeouts> TimeoutsFor(RouterRequest /*request*/) {
        return std::nullopt;
    }
};

struct RunResult {
    enum class Outcome { NewAddress, LoginFailed, Stopped };

    Outcome outcome = Outcome::LoginFailed;
    Text oldAddress;
    Text newAddress;
    int cycles = 0;  // disconnect/connect pairs sent
    int polls = 0;   // status requests after a reconnection
};

// The worker of one click: runs until a new address shows or the login fails.
void ChangeIp(ChangeIpView& view);

// The same run with the limits of `guard`, telling how it ended.
RunResult ChangeIp(ChangeIpView& view, RunGuard& guard);

// Starts ChangeIp(view) on a new detached thread and returns at once. A thread
// that cannot be started is ignored: the click then has no effect.
void StartChangeIp(ChangeIpView& view);

}  // namespace tralvex
