// A clock whose time passes only when the code under test pauses or waits,
// so time limits and fixed pauses cost nothing in tests.
#pragma once

#include "core/Clock.h"

#include <QCoreApplication>

namespace kestra::test {

class TestClock final : public Clock {
public:
    TestClock() { Clock::setInstance(this); }
    ~TestClock() override { Clock::setInstance(nullptr); }
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    void pause(int ms) override {
        now_ += ms;
        pausedMs_ += ms;
    }
    qint64 elapsedMs() const override { return now_; }
    void waitStep() override {
        QCoreApplication::processEvents();
        now_ += 1;
    }

    void advance(qint64 ms) { now_ += ms; }
    // Sum of all fixed pauses so far.
    qint64 pausedMs() const { return pausedMs_; }

private:
    qint64 now_ = 0;
    qint64 pausedMs_ = 0;
};

} // namespace kestra::test
