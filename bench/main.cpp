// tralvex-bench: measures the figures of the program beside their baselines
// in one run and prints one table. Run through scripts/bench, which builds it
// in Release.
//
// Usage: tralvex-bench [--repetitions N] [--scale X] [--only LIST]
//                      [--program PATH] [--bare-window PATH] [--display :N]
//   --only takes a comma list of fetch, search, cookie, change-ip, window.

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "figures.hpp"
#include "platform/components.hpp"

namespace tralvex::bench {

void Require(bool condition, const std::string& what) {
    if (condition) return;
    std::fprintf(stderr, "tralvex-bench: %s\n", what.c_str());
    std::exit(1);
}

namespace {

using Measure = void (*)(const Settings&, std::vector<Row>&, std::vector<std::string>&);

const std::vector<std::pair<std::string, Measure>>& Figures() {
    static const std::vector<std::pair<std::string, Measure>> figures = {
        {"fetch", MeasureStatusFetch},  {"search", MeasureStatusSearch},
        {"cookie", MeasureLoginCookie}, {"change-ip", MeasureChangeIpRun},
        {"window", MeasureWindowStart},
    };
    return figures;
}

struct CommandLine {
    Settings settings;
    std::string only;
};

CommandLine Parse(int argc, char** argv) {
    CommandLine line;
    std::map<std::string, std::string*> texts = {{"--program", &line.settings.program},
                                                 {"--bare-window", &line.settings.bareWindow},
                                                 {"--display", &line.settings.display},
                                                 {"--only", &line.only}};
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        Require(i + 1 < argc, option + " needs a value");
        std::string value = argv[++i];
        if (auto text = texts.find(option); text != texts.end()) {
            *text->second = value;
        } else if (option == "--repetitions") {
            line.settings.repetitions = std::max(1, std::atoi(value.c_str()));
        } else if (option == "--scale") {
            line.settings.scale = std::atof(value.c_str());
            Require(line.settings.scale > 0, "--scale must be above 0");
        } else {
            Require(false, "unknown option " + option);
        }
    }
    return line;
}

bool Wanted(const std::string& only, const std::string& name) {
    if (only.empty()) return true;
    return ("," + only + ",").find("," + name + ",") != std::string::npos;
}

}  // namespace
}  // namespace tralvex::bench

int main(int argc, char** argv) {
    using namespace tralvex::bench;
    CommandLine line = Parse(argc, argv);
    tralvex::RegisterPlatformComponents();
    std::vector<Row> rows;
    std::vector<std::string> notes;
    for (const auto& [name, measure] : Figures()) {
        if (!Wanted(line.only, name)) continue;
        std::fprintf(stderr, "measuring %s...\n", name.c_str());
        measure(line.settings, rows, notes);
    }
    notes.insert(notes.begin(),
                 "Each figure: median of " + std::to_string(line.settings.repetitions) +
                     " repetitions, ± half the interquartile range in percent of the median; "
                     "ours and the baseline alternate in every repetition; the ratio is the "
                     "median of the per-repetition ratios.");
    PrintTable(rows, notes);
    return 0;
}
