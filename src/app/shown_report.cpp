#include "app/shown_report.hpp"

#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace tralvex {
namespace {

void PrintShownTime() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long nanoseconds =
        static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
    std::printf("shown %lld\n", nanoseconds);
    std::fflush(stdout);
}

// Sees the window's first paint event and reports once the event loop has
// finished it, so the time includes the painting itself.
class FirstPaintWatcher : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                PrintShownTime();
                deleteLater();
            });
        }
        return false;
    }
};

}  // namespace

void ReportWhenShown(QWidget& window) {
    if (!std::getenv(kReportShownVariable)) return;
    window.installEventFilter(new FirstPaintWatcher(&window));
}

}  // namespace tralvex
