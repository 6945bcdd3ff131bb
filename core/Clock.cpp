#include "core/Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace kestra {

namespace {
SystemClock systemClock;
Clock* current = &systemClock;

QElapsedTimer& monotonic() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}
} // namespace

Clock& Clock::instance() {
    return *current;
}

void Clock::setInstance(Clock* clock) {
    current = clock ? clock : &systemClock;
}

void SystemClock::pause(int ms) {
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

qint64 SystemClock::elapsedMs() const {
    return monotonic().elapsed();
}

void SystemClock::waitStep() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QThread::usleep(500);
}

} // namespace kestra
