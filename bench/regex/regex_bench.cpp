// Times Create + Execute + MatchText(4) of RegexMatcher with the dotted-quad
// pattern on a 64 KB router status page, as the IP change worker runs them
// for every page it fetches. Prints the median, the fastest and the slowest
// of a number of rounds.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/codepage/codepage.hpp"
#include "platform/regexp/regexp_component.hpp"
#include "regex/regex_matcher.hpp"
#include "support/sample_status_page.hpp"

namespace {

using Clock = std::chrono::steady_clock;

tralvex::Text StatusPage(std::size_t size) {
    tralvex::Text chunk = tralvex::FromUtf8(tralvex::testing::SampleStatusPageUtf8());
    tralvex::Text page;
    while (page.size() < size) page += chunk;
    return page;
}

double MicrosecondsOfOneSearch(const tralvex::Text& page, tralvex::Text& fourth) {
    auto start = Clock::now();
    tralvex::RegexMatcher matcher;
    matcher.Create(R"(\d+\.\d+\.\d+\.\d+)");
    matcher.Execute(page);
    fourth = matcher.MatchText(4);
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
    if (rounds < 1) rounds = 1;
    tralvex::RegisterRegExpComponent();
    tralvex::Text page = StatusPage(64 * 1024);

    std::vector<double> times;
    tralvex::Text fourth;
    for (int i = 0; i < rounds; ++i) times.push_back(MicrosecondsOfOneSearch(page, fourth));
    std::sort(times.begin(), times.end());

    std::printf("page %zu bytes, fourth dotted quad \"%s\", %d rounds\n", page.size(),
                fourth.c_str(), rounds);
    std::printf("Create+Execute+MatchText(4): median %.1f us, min %.1f us, max %.1f us\n",
                times[times.size() / 2], times.front(), times.back());
    return fourth.empty() ? 1 : 0;
}
