// Times MakeLoginCookie on our script control: each call makes its own
// script host (a new Duktape heap), adds the login script and runs it.
// Usage: login_cookie_bench [calls]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "changer/login_cookie.hpp"
#include "platform/scriptcontrol/script_control_component.hpp"

int main(int argc, char** argv) {
    using Clock = std::chrono::steady_clock;
    const int calls = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    tralvex::RegisterScriptControlComponent();

    const tralvex::Text password = "Router-Pass_2024";
    const tralvex::Text expected = tralvex::MakeLoginCookie(password);  // also warms up
    std::vector<double> microseconds;
    microseconds.reserve(static_cast<std::size_t>(calls));
    for (int i = 0; i < calls; ++i) {
        Clock::time_point start = Clock::now();
        tralvex::Text cookie = tralvex::MakeLoginCookie(password);
        Clock::time_point end = Clock::now();
        if (cookie != expected) {
            std::fprintf(stderr, "cookie changed: %s\n", cookie.c_str());
            return 1;
        }
        microseconds.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(microseconds.begin(), microseconds.end());
    auto at = [&](double fraction) {
        return microseconds[static_cast<std::size_t>(fraction * (microseconds.size() - 1))];
    };
    std::printf("MakeLoginCookie(\"%s\") -> %s\n", password.c_str(), expected.c_str());
    std::printf("%d calls: median %.1f us, min %.1f us, 90th percentile %.1f us\n", calls, at(0.5),
                microseconds.front(), at(0.9));
    return 0;
}
