// A status fetch as the IP change worker makes it (Open, SetCookie, Send,
// ResponseBodyText on one HttpRequest, through the automation layer and our
// request component), against router-sim in this process.

#include <string>

#include "bare_curl.hpp"
#include "figures.hpp"
#include "http/http_request.hpp"
#include "router_sim.hpp"

namespace tralvex::bench {

void MeasureStatusFetch(const Settings& settings, std::vector<Row>& rows,
                        std::vector<std::string>& notes) {
    routersim::Scenario scenario;
    scenario.keepRecords = false;
    routersim::Router router(scenario);
    Require(router.Error().empty(), "router-sim: " + router.Error());
    const std::string url =
        "http://127.0.0.1:" + std::to_string(router.Port()) + std::string(routersim::kStatusPath);
    const std::string cookie = routersim::ExpectedCookie(scenario.password);

    HttpRequest request;
    BareCurl bare;
    Text page;
    auto ours = [&] {
        request.Open("GET", url);
        request.SetCookie(cookie);
        request.Send();
        page = request.ResponseBodyText();
    };
    auto baseline = [&] { page = bare.Fetch(url, cookie); };
    ours();
    Require(page.find(scenario.wan) != Text::npos, "HttpRequest fetched no status page");
    baseline();
    Require(page.find(scenario.wan) != Text::npos, "libcurl fetched no status page");

    const int calls = settings.Calls(400);
    Paired paired = SideBySide(
        settings.repetitions, [&] { return MicrosecondsPerCall(calls, ours); },
        [&] { return MicrosecondsPerCall(calls, baseline); });
    const double ratio = paired.Ratio();
    rows.push_back({"Status fetch through HttpRequest, router-sim on loopback", "µs per fetch",
                    paired.Ours(), paired.Baseline(), "bare libcurl easy handle, reused", ratio,
                    "ratio ≤ 1.10", ratio <= 1.10});
    notes.push_back("- Status fetch: " + std::to_string(calls) + " fetches of the " +
                    std::to_string(page.size()) +
                    "-byte status page per repetition, one connection kept throughout; the "
                    "router runs in this process.");
}

}  // namespace tralvex::bench
