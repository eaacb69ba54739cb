#pragma once

// Measuring one figure against its baseline in the same run: the two are
// timed in alternation, repetition by repetition, so that whatever else the
// machine does at a moment weighs on both alike. Each figure is reported as
// the median of its repetitions and a spread, half the interquartile range in
// percent of the median.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tralvex::bench {

using Clock = std::chrono::steady_clock;

struct Summary {
    double median = 0;
    double spreadPercent = 0;
};

Summary Summarize(std::vector<double> values);

// The values of one figure and of its baseline, one of each per repetition.
struct Paired {
    std::vector<double> ours;
    std::vector<double> baseline;

    Summary Ours() const { return Summarize(ours); }
    Summary Baseline() const { return Summarize(baseline); }
    // The median of the per-repetition ratios, which a slow moment of the
    // machine moves less than a ratio of medians.
    double Ratio() const;
};

// Runs `ours` and then `baseline` once per repetition, after one warm-up
// round of each; each gives the value of its figure for that repetition.
Paired SideBySide(int repetitions, const std::function<double()>& ours,
                  const std::function<double()>& baseline);

// Microseconds per call of `operation`, run `calls` times in a row.
double MicrosecondsPerCall(int calls, const std::function<void()>& operation);

double MicrosecondsSince(Clock::time_point start);

// One line of the table.
struct Row {
    std::string figure;
    std::string unit;
    Summary ours;
    std::optional<Summary> baseline;
    std::string baselineName;
    std::optional<double> ratio;
    std::string target;
    std::optional<bool> met;  // empty when the figure has no target
};

// Prints the rows as one Markdown table, and after it the notes.
void PrintTable(const std::vector<Row>& rows, const std::vector<std::string>& notes);

}  // namespace tralvex::bench
