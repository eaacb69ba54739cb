#pragma once

// Small helpers shared by the widget tests.

#include <QString>
#include <QTest>
#include <string>

#include "platform/codepage/codepage.hpp"

namespace tralvex::testing {

// Processes events until `condition` holds. The bound only keeps a broken
// build from hanging; it is no measure of speed.
template <typename Condition>
bool ProcessEventsUntil(Condition condition) {
    constexpr int kHangBoundMs = 60000;
    return QTest::qWaitFor(condition, kHangBoundMs);
}

// The widget's text as code page 936 bytes, for byte-exact comparisons.
inline std::string Bytes(const QString& text) { return Utf16ToAnsi(text.toStdU16String()); }

}  // namespace tralvex::testing
