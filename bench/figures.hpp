#pragma once

// The figures of the benchmark, each measured against its baseline.

#include <string>
#include <vector>

#include "measure.hpp"

namespace tralvex::bench {

struct Settings {
    int repetitions = 7;
    // Multiplies the number of calls in each repetition; below 1 for a quick
    // look, which makes the figures noisier.
    double scale = 1.0;
    std::string program;     // the tralvex-ip executable
    std::string bareWindow;  // the bare Qt window of the same size
    std::string display;     // an X display (Xvfb) to measure on as well; may be empty

    int Calls(int full) const { return full * scale < 1 ? 1 : static_cast<int>(full * scale); }
};

// Each adds its rows, and notes that explain them.
void MeasureStatusFetch(const Settings& settings, std::vector<Row>& rows,
                        std::vector<std::string>& notes);
void MeasureStatusSearch(const Settings& settings, std::vector<Row>& rows,
                         std::vector<std::string>& notes);
void MeasureLoginCookie(const Settings& settings, std::vector<Row>& rows,
                        std::vector<std::string>& notes);
void MeasureChangeIpRun(const Settings& settings, std::vector<Row>& rows,
                        std::vector<std::string>& notes);
void MeasureWindowStart(const Settings& settings, std::vector<Row>& rows,
                        std::vector<std::string>& notes);

// Ends the benchmark when a measured operation did not do its work: a figure
// of a failing operation would mean nothing.
void Require(bool condition, const std::string& what);

}  // namespace tralvex::bench
