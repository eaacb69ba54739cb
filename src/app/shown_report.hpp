#pragma once

// For start-up measurements: when the environment variable
// TRALVEX_REPORT_SHOWN is set, the first time the window has been painted the
// program prints one line "shown <nanoseconds>" on standard output, the time
// of CLOCK_MONOTONIC, which every process on the machine shares. Without the
// variable nothing changes.

#include <QWidget>

namespace tralvex {

inline constexpr const char* kReportShownVariable = "TRALVEX_REPORT_SHOWN";

// Watches `window` for its first paint when the variable is set.
void ReportWhenShown(QWidget& window);

}  // namespace tralvex
