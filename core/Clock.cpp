#include "core/Clock.h"

#include <QElapsedTimer>
#include <QTimer>

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

class SystemTimer final : public ClockTimer {
public:
    explicit SystemTimer(std::function<void()> onTimeout) {
        timer_.setSingleShot(true);
        // Polls and pauses are a few milliseconds: the coarse timer's 5 %
        // slack would be larger than the pauses themselves.
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout,
                         [callback = std::move(onTimeout)] { callback(); });
    }
    void start(int ms) override { timer_.start(ms); }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};
} // namespace

Clock& Clock::instance() {
    return *current;
}

void Clock::setInstance(Clock* clock) {
    current = clock ? clock : &systemClock;
}

qint64 SystemClock::elapsedMs() const {
    return monotonic().elapsed();
}

std::unique_ptr<ClockTimer> SystemClock::createTimer(std::function<void()> onTimeout) {
    return std::make_unique<SystemTimer>(std::move(onTimeout));
}

} // namespace kestra
