// One MakeLoginCookie: a script host (a new Duktape heap) with the stored
// login script, run once, beside a plain Base64 of the same bytes.

#include "changer/login_cookie.hpp"

#include "figures.hpp"
#include "router_sim.hpp"

namespace tralvex::bench {

void MeasureLoginCookie(const Settings& settings, std::vector<Row>& rows,
                        std::vector<std::string>& notes) {
    const Text password = "Router-Pass_2024";
    const std::string expected = routersim::ExpectedCookie(password);
    Require(MakeLoginCookie(password) == expected, "MakeLoginCookie gave a wrong cookie");
    Text cookie;
    const int calls = settings.Calls(200);
    Paired paired = SideBySide(
        settings.repetitions,
        [&] { return MicrosecondsPerCall(calls, [&] { cookie = MakeLoginCookie(password); }); },
        [&] {
            return MicrosecondsPerCall(calls * 100,
                                       [&] { cookie = routersim::ExpectedCookie(password); });
        });
    rows.push_back({"MakeLoginCookie", "µs per cookie", paired.Ours(), paired.Baseline(),
                    "plain Base64 of the same bytes", paired.Ratio(), "", std::nullopt});
    notes.push_back(
        "- MakeLoginCookie: made once per click; nearly all of it is the new Duktape heap and "
        "the compilation of the stored script.");
}

}  // namespace tralvex::bench
