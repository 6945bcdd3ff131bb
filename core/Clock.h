// Every pause, time limit and poll of the editor goes through one clock, so
// that tests make time pass instantly and decide exactly when timers fire.
// Nothing here blocks: a pause is a timer that fires later, from the event
// loop, never a wait inside a handler.
#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>

namespace kestra {

// A single-shot timer of a clock. Destroying it stops it.
class ClockTimer {
public:
    virtual ~ClockTimer() = default;
    // Fires once, ms from now; a running timer starts over.
    virtual void start(int ms) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

class Clock {
public:
    virtual ~Clock() = default;

    // Monotonic milliseconds, for time limits.
    virtual qint64 elapsedMs() const = 0;
    // A timer that calls onTimeout from the event loop.
    virtual std::unique_ptr<ClockTimer> createTimer(std::function<void()> onTimeout) = 0;

    // The clock in force; the system clock unless a test installed another.
    static Clock& instance();
    // Installs clock (nullptr restores the system clock). Not owned.
    static void setInstance(Clock* clock);
};

class SystemClock final : public Clock {
public:
    qint64 elapsedMs() const override;
    std::unique_ptr<ClockTimer> createTimer(std::function<void()> onTimeout) override;
};

} // namespace kestra
