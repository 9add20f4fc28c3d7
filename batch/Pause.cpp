#include "Pause.h"

#include <QCoreApplication>
#include <QTime>

namespace trelwick {

double secondsSinceMidnight() {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

void Pause(double seconds, const std::function<double()>& timer) {
    const double start = timer();
    for (double now = start; now - start < seconds;) {
        QCoreApplication::processEvents();
        now = timer();
        // The timer restarts at midnight: end there rather than wait a whole day.
        if (now < start) return;
    }
}

}  // namespace trelwick
