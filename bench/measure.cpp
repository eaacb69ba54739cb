#include "measure.hpp"

#include <algorithm>
#include <cstdio>

namespace tralvex::bench {
namespace {

// The value at `fraction` of the sorted values, between neighbours.
double Quantile(const std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) return 0;
    double at = fraction * static_cast<double>(sorted.size() - 1);
    auto below = static_cast<std::size_t>(at);
    std::size_t above = std::min(below + 1, sorted.size() - 1);
    double weight = at - static_cast<double>(below);
    return sorted[below] * (1 - weight) + sorted[above] * weight;
}

std::string Figure(const Summary& summary) {
    char text[64];
    const char* format = summary.median >= 100 ? "%.0f ±%.0f%%" : "%.3g ±%.0f%%";
    std::snprintf(text, sizeof text, format, summary.median, summary.spreadPercent);
    return text;
}

}  // namespace

Summary Summarize(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    Summary summary;
    summary.median = Quantile(values, 0.5);
    double halfRange = (Quantile(values, 0.75) - Quantile(values, 0.25)) / 2;
    summary.spreadPercent = summary.median > 0 ? 100 * halfRange / summary.median : 0;
    return summary;
}

double Paired::Ratio() const {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < ours.size() && i < baseline.size(); ++i) {
        if (baseline[i] > 0) ratios.push_back(ours[i] / baseline[i]);
    }
    return Summarize(ratios).median;
}

Paired SideBySide(int repetitions, const std::function<double()>& ours,
                  const std::function<double()>& baseline) {
    ours();
    baseline();
    Paired paired;
    for (int i = 0; i < repetitions; ++i) {
        paired.ours.push_back(ours());
        paired.baseline.push_back(baseline());
    }
    return paired;
}

double MicrosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

double MicrosecondsPerCall(int calls, const std::function<void()>& operation) {
    Clock::time_point start = Clock::now();
    for (int i = 0; i < calls; ++i) operation();
    return MicrosecondsSince(start) / calls;
}

void PrintTable(const std::vector<Row>& rows, const std::vector<std::string>& notes) {
    std::printf("| Figure | Unit | Ours | Baseline | Baseline is | Ratio | Target | Met |\n");
    std::printf("|---|---|---:|---:|---|---:|---|---|\n");
    for (const Row& row : rows) {
        char ratio[32] = "";
        if (row.ratio) std::snprintf(ratio, sizeof ratio, "%.2f", *row.ratio);
        const char* met = !row.met ? "" : *row.met ? "yes" : "**no**";
        std::printf("| %s | %s | %s | %s | %s | %s | %s | %s |\n", row.figure.c_str(),
                    row.unit.c_str(), Figure(row.ours).c_str(),
                    row.baseline ? Figure(*row.baseline).c_str() : "", row.baselineName.c_str(),
                    ratio, row.target.c_str(), met);
    }
    if (!notes.empty()) std::printf("\n");
    for (const std::string& note : notes) std::printf("%s\n", note.c_str());
}

}  // namespace tralvex::bench
