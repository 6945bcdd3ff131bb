// What the editor costs while the player does nothing: the process's CPU
// time over wall time with the pedal unlinked, then linked and idle, and how
// often the event loop wakes up meanwhile.
//
//   bench_idle [--seconds S]
#include "EditorSession.h"

#include <QAbstractEventDispatcher>
#include <QCommandLineParser>
#include <cstdio>
#include <sys/resource.h>

namespace kestra::bench {
namespace {

// The goal for the linked, idle editor, in percent of one core.
constexpr double LinkedGoalPercent = 1.0;

qint64 processCpuNs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ns = [](const timeval& t) {
        return static_cast<qint64>(t.tv_sec) * 1000000000 + static_cast<qint64>(t.tv_usec) * 1000;
    };
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}

struct Idle {
    double cpuPercent = 0;
    double wakeUpsPerSecond = 0;
    double clockTimersPerSecond = 0;
};

// Lets the editor idle for seconds; nothing of the benchmark runs meanwhile
// but the counter of the loop's wake-ups.
Idle measure(EditorSession& session, int seconds) {
    quint64 wakeUps = 0;
    const QMetaObject::Connection counting =
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                         [&wakeUps] { ++wakeUps; });
    const quint64 firings = session.clock.firings;
    const qint64 cpu = processCpuNs();
    const qint64 wall = nowNs();
    spinFor(seconds * 1000);
    const double wallNs = static_cast<double>(nowNs() - wall);
    const double cpuNs = static_cast<double>(processCpuNs() - cpu);
    QObject::disconnect(counting);
    const double wallSeconds = wallNs / 1e9;
    return {100.0 * cpuNs / wallNs, static_cast<double>(wakeUps) / wallSeconds,
            static_cast<double>(session.clock.firings - firings) / wallSeconds};
}

void report(const char* what, const Idle& idle) {
    std::printf("  %-9s %6.3f %% of a core, %6.1f loop wake-ups/s, %6.1f clock timers/s\n", what,
                idle.cpuPercent, idle.wakeUpsPerSecond, idle.clockTimersPerSecond);
}

} // namespace
} // namespace kestra::bench

int main(int argc, char** argv) {
    using namespace kestra::bench;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchApplication app(argc, argv);

    QCommandLineParser options;
    options.setApplicationDescription("CPU use of the idle editor, unlinked and linked.");
    options.addHelpOption();
    const QCommandLineOption seconds("seconds", "How long each state is measured.", "S", "10");
    options.addOption(seconds);
    options.process(app);
    const int duration = std::max(1, options.value(seconds).toInt());

    try {
        EditorSession session;
        // The start settles: the windows are painted and the update check,
        // a second after the start, has found nobody listening.
        spinFor(2000);
        std::printf("Idle editor on the virtual pedal, wire timing on, %d s each\n", duration);
        const Idle unlinked = measure(session, duration);
        session.link();
        spinFor(1000);
        const Idle linked = measure(session, duration);
        report("unlinked", unlinked);
        report("linked", linked);
        std::printf("  goal: linked at most %.0f %% of a core: %s\n\n", LinkedGoalPercent,
                    linked.cpuPercent <= LinkedGoalPercent ? "met" : "MISSED");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_idle: %s\n", e.what());
        return 1;
    }
    return 0;
}
