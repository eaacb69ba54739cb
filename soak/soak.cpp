// tralvex-soak: the IP change worker over a long run and against every fault
// of the router-sim program. Run through scripts/soak (a Release build).
//
// Reconnections: one run against a router that hands back the same address
// after every reconnection (--repeats always --zero-polls 0), stopped by its
// guard after the given number of cycles; the resident memory and the open
// descriptors of this process and of the router are taken after the first
// 1,000 cycles and at the end, and must not grow.
//
// Faults: one run against each misbehaviour of the router, with the request
// time-outs cut to a second: each must end as the worker should, with the
// login failure box or with a new address after polling on.
//
// Usage: tralvex-soak --router-sim PATH [--cycles N] [--only reconnects|faults]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "automation/calls.hpp"
#include "automation/registry.hpp"
#include "changer/change_ip.hpp"
#include "platform/components.hpp"
#include "platform/winhttp/winhttp_component.hpp"
#include "platform/winhttp/winhttp_request.hpp"
#include "process_usage.hpp"
#include "router_process.hpp"
#include "silent_view.hpp"

namespace tralvex::soak {
namespace {

using Clock = std::chrono::steady_clock;
using Outcome = RunResult::Outcome;

constexpr int kFirstMeasure = 1000;
// Growth of the resident memory between the two measurements that counts as
// noise: the allocator's own bookkeeping, pages touched once.
constexpr double kNoiseKb = 1024;
constexpr int kShortTimeoutMs = 1000;

struct Options {
    std::string routerSim;
    int cycles = 20'000;
    std::string only;
};

[[noreturn]] void UsageError(const std::string& problem) {
    std::fprintf(stderr,
                 "tralvex-soak: %s\nUsage: tralvex-soak --router-sim PATH [--cycles N] "
                 "[--only reconnects|faults]\n",
                 problem.c_str());
    std::exit(2);
}

Options Parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 >= argc) UsageError(option + " needs a value");
        std::string value = argv[++i];
        if (option == "--router-sim") {
            options.routerSim = value;
        } else if (option == "--cycles") {
            options.cycles = std::atoi(value.c_str());
            if (options.cycles <= kFirstMeasure) UsageError("--cycles must be above 1000");
        } else if (option == "--only") {
            options.only = value;
        } else {
            UsageError("unknown option " + option);
        }
    }
    if (options.routerSim.empty()) UsageError("--router-sim is needed");
    return options;
}

// Stops a run after a number of cycles and polls, and takes the usage of
// this process and of the router after the first cycles and at the end.
class MeasuringGuard : public RunGuard {
  public:
    MeasuringGuard(int cycles, int polls, pid_t router)
        : cycles_(cycles), polls_(polls), router_(router) {}

    bool MayCycle() override {
        const int done = asked_++;
        if (done == kFirstMeasure) Take(atFirst, routerAtFirst);
        if (done < cycles_) return true;
        Take(atEnd, routerAtEnd);
        return false;
    }
    bool MayPoll() override { return ++polled_ < polls_; }

    Usage atFirst, atEnd, routerAtFirst, routerAtEnd;

  private:
    void Take(Usage& ours, Usage& router) {
        ours = UsageOf();
        if (router_ > 0) router = UsageOf(router_);
    }

    int cycles_;
    int polls_;
    pid_t router_;
    int asked_ = 0;
    int polled_ = 0;
};

bool ReconnectSoak(const Options& options) {
    RouterProcess router(options.routerSim, {"--repeats", "always", "--zero-polls", "0"});
    if (router.Port() == 0) {
        std::printf("reconnects: router-sim did not start\n");
        return false;
    }
    SilentView view(router.Address());
    MeasuringGuard guard(options.cycles, 1'000'000, router.Pid());
    const Clock::time_point start = Clock::now();
    RunResult result = ChangeIp(view, guard);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    const double growthKb = guard.atEnd.residentKb - guard.atFirst.residentKb;
    const double routerGrowthKb = guard.routerAtEnd.residentKb - guard.routerAtFirst.residentKb;
    const bool ran = result.outcome == Outcome::Stopped && result.cycles == options.cycles &&
                     result.polls == options.cycles && view.boxes == 0;
    const bool steady = growthKb <= kNoiseKb && routerGrowthKb <= kNoiseKb &&
                        guard.atEnd.descriptors == guard.atFirst.descriptors &&
                        guard.routerAtEnd.descriptors == guard.routerAtFirst.descriptors;
    std::printf("## Reconnections\n\n");
    std::printf("%d cycles (%d requests) in %.1f s: %.3f ms per cycle\n\n", result.cycles,
                1 + 2 * result.cycles + result.polls, seconds, 1000 * seconds / result.cycles);
    std::printf("| | VmRSS after %d | VmRSS after %d | growth | fds after %d | fds after %d |\n",
                kFirstMeasure, options.cycles, kFirstMeasure, options.cycles);
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    std::printf("| worker process | %.0f KB | %.0f KB | %+.0f KB | %d | %d |\n",
                guard.atFirst.residentKb, guard.atEnd.residentKb, growthKb,
                guard.atFirst.descriptors, guard.atEnd.descriptors);
    std::printf("| router-sim | %.0f KB | %.0f KB | %+.0f KB | %d | %d |\n\n",
                guard.routerAtFirst.residentKb, guard.routerAtEnd.residentKb, routerGrowthKb,
                guard.routerAtFirst.descriptors, guard.routerAtEnd.descriptors);
    std::printf("run as asked: %s; memory and descriptors steady: %s\n\n", ran ? "yes" : "NO",
                steady ? "yes" : "NO");
    return ran && steady;
}

struct Fault {
    const char* name;
    std::vector<std::string> options;
    Outcome expected;
};

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::NewAddress:
            return "new address";
        case Outcome::LoginFailed:
            return "login failure box";
        case Outcome::Stopped:
            break;
    }
    return "stopped by the guard";
}

// Our request object with every time-out cut to a second, so that a router
// that never answers is given up on quickly.
automation::ComponentFactory ShortTimeoutRequests() {
    return [] {
        auto request = std::make_shared<winhttp::WinHttpRequest>();
        automation::CallMethod(
            automation::AutomationObject(request), "SetTimeouts",
            {kShortTimeoutMs, kShortTimeoutMs, kShortTimeoutMs, kShortTimeoutMs});
        return request;
    };
}

bool FaultRuns(const Options& options) {
    const std::vector<Fault> faults = {
        {"refused while reconnecting",
         {"--refuse-while-reconnecting", "--outage-ms", "700"},
         Outcome::NewAddress},
        {"dropped while reconnecting", {"--drop-while-reconnecting"}, Outcome::NewAddress},
        {"first status never answered", {"--hang-on", "first-status"}, Outcome::LoginFailed},
        {"no status ever answered", {"--hang-on", "status"}, Outcome::LoginFailed},
        {"disconnect and connect never answered",
         {"--hang-on", "disconnect,connect"},
         Outcome::NewAddress},
        {"garbage for the first status", {"--garbage", "first-status"}, Outcome::LoginFailed},
        {"garbage for disconnect and connect",
         {"--garbage", "disconnect,connect"},
         Outcome::NewAddress},
        {"garbage for every status", {"--garbage", "status"}, Outcome::LoginFailed},
        {"status pages without the WAN quad", {"--quads", "3"}, Outcome::LoginFailed},
        {"login page for every cookie", {"--login-page"}, Outcome::LoginFailed},
        {"50 MB status pages", {"--page-bytes", "50M"}, Outcome::NewAddress},
    };
    automation::ScopedComponent shortTimeouts(kWinHttpProgId, ShortTimeoutRequests());
    const Usage before = UsageOf();
    bool allAsExpected = true;
    std::printf("## Faults (time-outs %d ms)\n\n", kShortTimeoutMs);
    std::printf(
        "| fault | router-sim options | ended with | boxes | cycles | polls | seconds | "
        "peak VmRSS | as expected |\n");
    std::printf("|---|---|---|---:|---:|---:|---:|---:|---|\n");
    for (const Fault& fault : faults) {
        RouterProcess router(options.routerSim, fault.options);
        if (router.Port() == 0) {
            std::printf("| %s | router-sim did not start | | | | | | | NO |\n", fault.name);
            allAsExpected = false;
            continue;
        }
        SilentView view(router.Address());
        MeasuringGuard guard(3, 200, 0);
        const Clock::time_point start = Clock::now();
        RunResult result = ChangeIp(view, guard);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const bool expected = result.outcome == fault.expected &&
                              view.boxes == (fault.expected == Outcome::LoginFailed ? 1 : 0);
        allAsExpected = allAsExpected && expected;
        std::string flags;
        for (const std::string& option : fault.options) flags += option + " ";
        std::printf("| %s | `%s` | %s | %d | %d | %d | %.1f | %.0f MB | %s |\n", fault.name,
                    flags.substr(0, flags.size() - 1).c_str(), OutcomeName(result.outcome),
                    view.boxes, result.cycles, result.polls, seconds, UsageOf().peakKb / 1024,
                    expected ? "yes" : "NO");
    }
    const Usage after = UsageOf();
    std::printf("\ndescriptors of the worker process before the fault runs %d, after them %d\n\n",
                before.descriptors, after.descriptors);
    return allAsExpected && after.descriptors == before.descriptors;
}

}  // namespace
}  // namespace tralvex::soak

int main(int argc, char** argv) {
    using namespace tralvex::soak;
    Options options = Parse(argc, argv);
    tralvex::RegisterPlatformComponents();
    bool ok = true;
    if (options.only.empty() || options.only == "reconnects") ok = ReconnectSoak(options) && ok;
    if (options.only.empty() || options.only == "faults") ok = FaultRuns(options) && ok;
    std::printf("soak: %s\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}
