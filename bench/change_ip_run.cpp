// A whole IP change as a click makes it, against router-sim with no delay:
// several reconnections that bring back the old address, each followed by
// polls that show 0.0.0.0 a few times, until a new address shows. What the
// run costs beyond its 200 ms pauses between polls is its own work: the
// requests, the searches, the cookie and the view updates.

#include "changer/change_ip.hpp"

#include <string>
#include <thread>
#include <vector>

#include "bare_curl.hpp"
#include "figures.hpp"
#include "router_sim.hpp"
#include "silent_view.hpp"

namespace tralvex::bench {
namespace {

constexpr int kRepeats = 4;    // reconnections that bring back the old address
constexpr int kZeroPolls = 3;  // polls that show 0.0.0.0 after each connect
constexpr double kPauseMicroseconds = 200'000;

}  // namespace

void MeasureChangeIpRun(const Settings& settings, std::vector<Row>& rows,
                        std::vector<std::string>& notes) {
    routersim::Scenario scenario;
    scenario.keepRecords = false;
    scenario.zeroPolls = kZeroPolls;
    scenario.repeats = kRepeats;
    scenario.repeatsEachChange = true;
    routersim::Router router(scenario);
    Require(router.Error().empty(), "router-sim: " + router.Error());
    const std::string host = "127.0.0.1:" + std::to_string(router.Port());
    const std::string cookie = routersim::ExpectedCookie(scenario.password);

    const int cycles = kRepeats + 1;
    const int polls = cycles * (kZeroPolls + 1);
    const int pauses = cycles * kZeroPolls;
    const int requests = 1 + 2 * cycles + polls;

    auto ours = [&] {
        SilentView view(host);
        RunGuard unlimited;
        Clock::time_point start = Clock::now();
        RunResult result = ChangeIp(view, unlimited);
        double elapsed = MicrosecondsSince(start);
        Require(result.outcome == RunResult::Outcome::NewAddress && result.cycles == cycles &&
                    result.polls == polls,
                "ChangeIp did not run as the scenario says");
        return elapsed - pauses * kPauseMicroseconds;
    };
    // The same requests in the same order on a new connection, without the
    // pauses and without reading the pages.
    auto baseline = [&] {
        BareCurl bare;
        const std::string status = "http://" + host + std::string(routersim::kStatusPath);
        const std::string disconnect = status + "?Disconnect=%E6%96%AD%20%E7%BA%BF&wan=1";
        const std::string connect = status + "?Connect=%E8%BF%9E%20%E6%8E%A5&wan=1";
        Clock::time_point start = Clock::now();
        bare.Fetch(status, cookie);
        for (int cycle = 0; cycle < cycles; ++cycle) {
            bare.Fetch(disconnect, cookie);
            bare.Fetch(connect, cookie);
            for (int poll = 0; poll <= kZeroPolls; ++poll) bare.Fetch(status, cookie);
        }
        return MicrosecondsSince(start);
    };
    Paired run = SideBySide(settings.repetitions, ours, baseline);
    // How much longer than asked a pause of the worker's length sleeps here.
    std::vector<double> oversleep;
    for (int i = 0; i < 3; ++i) {
        Clock::time_point start = Clock::now();
        std::this_thread::sleep_for(
            std::chrono::microseconds(static_cast<int>(kPauseMicroseconds)));
        oversleep.push_back(MicrosecondsSince(start) - kPauseMicroseconds);
    }
    auto scaled = [](const Paired& paired, int by) {
        Paired per = paired;
        for (double& value : per.ours) value /= by * 1000.0;
        for (double& value : per.baseline) value /= by * 1000.0;
        return per;
    };
    const Paired perPoll = scaled(run, polls);
    const Paired perRequest = scaled(run, requests);
    const double pollMs = perPoll.Ours().median;
    rows.push_back({"ChangeIp run, beyond the 200 ms pauses", "ms per poll", perPoll.Ours(),
                    perPoll.Baseline(), "the same requests, bare libcurl", perPoll.Ratio(),
                    "< 2 ms per poll", pollMs < 2.0});
    rows.push_back({"ChangeIp run, beyond the 200 ms pauses", "ms per request", perRequest.Ours(),
                    perRequest.Baseline(), "the same requests, bare libcurl", perRequest.Ratio(),
                    "", std::nullopt});
    notes.push_back(
        "- ChangeIp run: " + std::to_string(cycles) + " reconnections (" +
        std::to_string(kRepeats) + " bring back the old address), " + std::to_string(kZeroPolls) +
        " polls showing 0.0.0.0 after each, so " + std::to_string(polls) + " polls, " +
        std::to_string(pauses) + " pauses and " + std::to_string(requests) +
        " requests per run; the run's time less 200 ms per pause, divided by the "
        "polls or the requests. The cookie, the first status page and the "
        "oversleeping of each pause count in it (a 200 ms sleep took " +
        std::to_string(static_cast<int>(Summarize(oversleep).median)) + " µs longer here).");
}

}  // namespace tralvex::bench
