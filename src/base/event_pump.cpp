#include "base/event_pump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cmath>

namespace korvane {

void waitAndDispatch(std::optional<double> maxWait) {
    if (maxWait && *maxWait <= 0.0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // A precise single-shot timer is an event like any other: it wakes the wait on time.
    QTimer wake;
    if (maxWait) {
        wake.setTimerType(Qt::PreciseTimer);
        wake.setSingleShot(true);
        const double ms = std::ceil(*maxWait * 1000.0);
        wake.start(static_cast<int>(std::min(ms, 86'400'000.0)));
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void dispatchPending(std::optional<double>) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void dispatchAllButInput() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace korvane
