// Every fixed pause and every wait of the editor goes through one clock, so
// that tests can make time pass instantly instead of sleeping.
#pragma once

#include <QtGlobal>

namespace kestra {

class Clock {
public:
    virtual ~Clock() = default;

    // Blocks for ms milliseconds without processing window messages.
    virtual void pause(int ms) = 0;
    // Monotonic milliseconds, for time limits.
    virtual qint64 elapsedMs() const = 0;
    // One turn of a waiting loop: processes pending window messages and lets
    // a moment pass, so a wait neither freezes the window nor spins the CPU.
    virtual void waitStep() = 0;

    // The clock in force; the system clock unless a test installed another.
    static Clock& instance();
    // Installs clock (nullptr restores the system clock). Not owned.
    static void setInstance(Clock* clock);
};

class SystemClock final : public Clock {
public:
    void pause(int ms) override;
    qint64 elapsedMs() const override;
    void waitStep() override;
};

} // namespace kestra
