// A clock whose time passes only when a test says so. Timers fire in the
// order of their due times while time is advanced, so pauses, polls and time
// limits cost nothing and every run takes the same path.
#pragma once

#include "core/Clock.h"
#include "tests/support/QtPrinters.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace kestra::test {

class TestClock final : public Clock {
public:
    TestClock() { Clock::setInstance(this); }
    ~TestClock() override {
        Clock::setInstance(nullptr);
        for (Timer* timer : timers_)
            timer->clock_ = nullptr;
    }
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    qint64 elapsedMs() const override { return now_; }
    std::unique_ptr<ClockTimer> createTimer(std::function<void()> onTimeout) override {
        return std::make_unique<Timer>(*this, std::move(onTimeout));
    }

    // Lets ms pass, firing every timer that falls due on the way.
    void advance(qint64 ms) {
        const qint64 target = now_ + ms;
        while (Timer* next = nextDue(target))
            fire(*next);
        setNow(target);
    }

    // Fires timers in order until done() holds; false when it still does not
    // after limitMs of clock time.
    bool runUntil(const std::function<bool()>& done, qint64 limitMs = 600000) {
        const qint64 limit = now_ + limitMs;
        while (!done()) {
            Timer* next = nextDue(limit);
            if (!next)
                return false;
            fire(*next);
        }
        return true;
    }

    // Fires every timer due within limitMs, including those started on the
    // way, and stops when none is left: the whole program runs until it
    // waits for nothing but time beyond the limit.
    void settle(qint64 limitMs = 600000) { advance(limitMs); }

    // Called with the new time whenever time passes, before the timers due
    // then fire: lets a virtual pedal's wire timing run on this clock.
    void onTimeChange(std::function<void(qint64 nowMs)> observer) {
        observer_ = std::move(observer);
        if (observer_)
            observer_(now_);
    }

    int activeTimers() const {
        return static_cast<int>(std::count_if(timers_.begin(), timers_.end(),
                                              [](const Timer* t) { return t->active_; }));
    }

private:
    class Timer final : public ClockTimer {
    public:
        Timer(TestClock& clock, std::function<void()> onTimeout)
            : clock_(&clock), onTimeout_(std::move(onTimeout)) {
            clock.timers_.push_back(this);
        }
        ~Timer() override {
            if (clock_)
                std::erase(clock_->timers_, this);
        }
        void start(int ms) override {
            if (!clock_)
                return;
            active_ = true;
            due_ = clock_->now_ + std::max(ms, 0);
            order_ = ++clock_->started_;
        }
        void stop() override { active_ = false; }
        bool isActive() const override { return active_; }

        TestClock* clock_;
        std::function<void()> onTimeout_;
        bool active_ = false;
        qint64 due_ = 0;
        quint64 order_ = 0;
    };

    Timer* nextDue(qint64 limit) const {
        Timer* best = nullptr;
        for (Timer* timer : timers_) {
            if (!timer->active_ || timer->due_ > limit)
                continue;
            if (!best || timer->due_ < best->due_ ||
                (timer->due_ == best->due_ && timer->order_ < best->order_))
                best = timer;
        }
        return best;
    }

    void setNow(qint64 now) {
        if (now == now_)
            return;
        now_ = now;
        if (observer_)
            observer_(now_);
    }

    void fire(Timer& timer) {
        setNow(std::max(now_, timer.due_));
        timer.active_ = false;
        // The callback may destroy the timer: keep its function alive.
        const std::function<void()> callback = timer.onTimeout_;
        callback();
    }

    qint64 now_ = 0;
    quint64 started_ = 0;
    std::vector<Timer*> timers_;
    std::function<void(qint64)> observer_;
};

} // namespace kestra::test
