// The search of a status page for its dotted quads as the IP change worker
// makes it: RegexMatcher Create + Execute + MatchText(4), through the
// automation layer and our regular-expression component, beside the same
// compile, JIT and scan made with PCRE2's 16-bit library directly.

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <string>
#include <vector>

#include "figures.hpp"
#include "pages.hpp"
#include "regex/regex_matcher.hpp"

namespace tralvex::bench {
namespace {

constexpr char kPattern[] = R"(\d+\.\d+\.\d+\.\d+)";
constexpr char kWan[] = "203.0.113.7";

Text OurFourthQuad(const Text& page) {
    RegexMatcher matcher;
    matcher.Create(kPattern);
    matcher.Execute(page);
    return matcher.MatchText(4);
}

// Widens the bytes to 16-bit code units (the page is ASCII where the quads
// are), compiles the pattern with the options the worker asks for (ignore
// case, multi-line), collects every match as the component does, and takes
// the fourth.
Text BareFourthQuad(const Text& page) {
    std::u16string subject(page.size(), u'\0');
    for (std::size_t i = 0; i < page.size(); ++i) {
        subject[i] = static_cast<unsigned char>(page[i]);
    }
    const std::u16string pattern(std::begin(kPattern), std::end(kPattern) - 1);
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     PCRE2_CASELESS | PCRE2_MULTILINE, &error, &offset, nullptr);
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
    std::vector<std::pair<std::size_t, std::size_t>> matches;
    const auto* text = reinterpret_cast<PCRE2_SPTR>(subject.data());
    std::size_t from = 0;
    while (pcre2_match(code, text, subject.size(), from, 0, data, nullptr) > 0) {
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
        matches.emplace_back(ovector[0], ovector[1]);
        from = ovector[1] > ovector[0] ? ovector[1] : ovector[1] + 1;
    }
    pcre2_match_data_free(data);
    pcre2_code_free(code);
    if (matches.size() < 4) return {};
    return page.substr(matches[3].first, matches[3].second - matches[3].first);
}

std::string SizeName(std::size_t bytes) {
    return bytes >= 1024 * 1024 ? std::to_string(bytes / (1024 * 1024)) + " MB"
                                : std::to_string(bytes / 1024) + " KB";
}

}  // namespace

void MeasureStatusSearch(const Settings& settings, std::vector<Row>& rows,
                         std::vector<std::string>& notes) {
    struct Size {
        std::size_t bytes;
        int calls;
    };
    for (Size size : {Size{4 * 1024, 2000}, Size{64 * 1024, 300}, Size{1024 * 1024, 20}}) {
        routersim::pages::StatusView view;
        view.address = kWan;
        view.padTo = size.bytes;
        const Text page = routersim::pages::StatusPage(view);
        Require(OurFourthQuad(page) == kWan, "RegexMatcher missed the WAN address");
        Require(BareFourthQuad(page) == kWan, "PCRE2 missed the WAN address");
        const int calls = settings.Calls(size.calls);
        Paired paired = SideBySide(
            settings.repetitions,
            [&] { return MicrosecondsPerCall(calls, [&] { OurFourthQuad(page); }); },
            [&] { return MicrosecondsPerCall(calls, [&] { BareFourthQuad(page); }); });
        const double ratio = paired.Ratio();
        rows.push_back({"Status page search, " + SizeName(size.bytes) + " page", "µs per search",
                        paired.Ours(), paired.Baseline(), "bare PCRE2-16 compile, JIT, scan", ratio,
                        "ratio ≤ 1.3", ratio <= 1.3});
    }
    notes.push_back(
        "- Status page search: router-sim's status page padded to the size (8 dotted quads, "
        "the padding an HTML comment); the baseline widens the bytes to 16-bit units itself and "
        "collects every match, as the component must.");
}

}  // namespace tralvex::bench
