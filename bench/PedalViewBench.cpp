// What the pedal picture costs: the linked, idle editor's CPU time with the
// picture hidden and shown, and a knob turned on the pedal as fast as its
// real-time frames come over the line, with the picture hidden and shown:
// how many frames moved the knob and the longest the event loop was held.
//
//   bench_pedal_view [--seconds S]
#include "EditorSession.h"

#include <QAbstractButton>
#include <QCommandLineParser>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace kestra::bench {
namespace {

constexpr double StallGoalMs = 16.0;
constexpr double IdleGoalPercent = 1.0; // more than the picture hidden

qint64 processCpuNs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ns = [](const timeval& t) {
        return static_cast<qint64>(t.tv_sec) * 1000000000 + static_cast<qint64>(t.tv_usec) * 1000;
    };
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}

double idlePercent(int seconds) {
    const qint64 cpu = processCpuNs();
    const qint64 wall = nowNs();
    spinFor(seconds * 1000);
    return 100.0 * static_cast<double>(processCpuNs() - cpu) / static_cast<double>(nowNs() - wall);
}

// The longest handling of any one event.
class LongestDispatch final : public DispatchWatcher {
public:
    void dispatched(const Dispatch& dispatch) override {
        longestNs = std::max(longestNs, dispatch.endNs - dispatch.startNs);
    }
    qint64 longestNs = 0;
};

struct Following {
    double framesPerSecond = 0;
    double longestStallMs = 0;
    double cpuPercent = 0;
};

// Turns knob I back and forth on the pedal: each command the pedal takes
// sends one real-time frame, at line time; a new one is asked for as soon as
// the parameter moved.
Following follow(EditorSession& session, BenchApplication& app, int seconds) {
    LongestDispatch watcher;
    int moves = 0;
    int level = 0;
    const QMetaObject::Connection counting = QObject::connect(
        &session.editor->session(), &PedalSession::parameterMoved, [&moves](int) { ++moves; });
    QTimer turn;
    turn.setTimerType(Qt::PreciseTimer);
    QObject::connect(&turn, &QTimer::timeout, [&] {
        level = (level + 37) % 1024;
        session.pedal.command(QStringLiteral("knob 1 %1").arg(level));
    });
    turn.start(1);
    app.setWatcher(&watcher);
    const qint64 cpu = processCpuNs();
    const qint64 wall = nowNs();
    spinFor(seconds * 1000);
    const double wallNs = static_cast<double>(nowNs() - wall);
    const double cpuNs = static_cast<double>(processCpuNs() - cpu);
    app.setWatcher(nullptr);
    turn.stop();
    QObject::disconnect(counting);
    spinFor(200);
    return {moves / (wallNs / 1e9), toMs(watcher.longestNs), 100.0 * cpuNs / wallNs};
}

void report(const char* what, const Following& f) {
    std::printf("  %-16s %7.1f knob moves/s, longest stall %6.2f ms, %6.2f %% of a core\n", what,
                f.framesPerSecond, f.longestStallMs, f.cpuPercent);
}

} // namespace
} // namespace kestra::bench

int main(int argc, char** argv) {
    using namespace kestra;
    using namespace kestra::bench;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchApplication app(argc, argv);

    QCommandLineParser options;
    options.setApplicationDescription("What the pedal picture costs, idle and following a knob.");
    options.addHelpOption();
    const QCommandLineOption seconds("seconds", "How long each state is measured.", "S", "10");
    options.addOption(seconds);
    options.process(app);
    const int duration = std::max(1, options.value(seconds).toInt());

    try {
        EditorSession session;
        spinFor(2000);
        session.link();
        for (const char* step : {"Get FX Stored on Pedal", "Request"}) {
            session.control<QAbstractButton>(&session.main(), QString::fromLatin1(step))->click();
            session.settle(Connection::State::Linked);
        }
        if (!session.editor->session().stateRead())
            throw std::runtime_error("Request did not read the pedal's state");
        PedalWindow& picture = session.editor->pedalWindow();
        spinFor(1000);
        std::printf("Pedal picture on the virtual pedal, wire timing on, %d s each\n", duration);
        const double hiddenIdle = idlePercent(duration);
        const Following hiddenFollow = follow(session, app, duration);
        picture.show();
        spinFor(1000);
        const double shownIdle = idlePercent(duration);
        const Following shownFollow = follow(session, app, duration);

        std::printf("  idle, linked:    picture hidden %6.3f %%, shown %6.3f %% of a core\n",
                    hiddenIdle, shownIdle);
        report("picture hidden", hiddenFollow);
        report("picture shown", shownFollow);
        const bool idleMet = shownIdle - hiddenIdle <= IdleGoalPercent;
        const bool stallMet = shownFollow.longestStallMs < StallGoalMs;
        std::printf(
            "  goal: idle at most +%.0f %% of a core: %s; every stall under %.0f ms: %s\n\n",
            IdleGoalPercent, idleMet ? "met" : "MISSED", StallGoalMs, stallMet ? "met" : "MISSED");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_pedal_view: %s\n", e.what());
        return 1;
    }
    return 0;
}
