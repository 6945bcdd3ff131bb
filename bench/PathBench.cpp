// What a player waits for, timed on whole paths: the real editor on the
// virtual pedal with its wire timing on, each path from the click to its
// result on screen, beside the time its bytes take on the line, and the
// longest the event loop was held meanwhile.
//
//   bench_paths [--runs N] [--eeprom-runs N] [--upgrade-runs N]
//               [--paths stored,request,eeprom,upgrade]
#include "EditorSession.h"
#include "firmware/FirmwareImage.h"
#include "operations/PedalOperations.h"
#include "pedal/virtual_pedal.h"
#include "protocol/Inbound.h"
#include "ui/ConsoleWindow.h"
#include "ui/FirmwareWindow.h"
#include "ui/ParameterWindow.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCommandLineParser>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMetaEnum>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

namespace kestra::bench {
namespace {

// The goal for any one stall of the event loop during an exchange.
constexpr double StallGoalMs = 50;
// A result is followed by its window's repaint within this long, or the
// result alone ends the path.
constexpr int RepaintWaitMs = 500;

// Times one path: the click, the event in which the result reached the
// widgets, the repaint of the window that shows it, and the loop's stalls.
class PathProbe final : public DispatchWatcher {
public:
    explicit PathProbe(BenchApplication& app) : app_(app) {
        ticker_.setTimerType(Qt::PreciseTimer);
        ticker_.setInterval(1);
        QObject::connect(&ticker_, &QTimer::timeout, [this] { tick(); });
    }

    // The CPU time of the events of one kind, over every run of a path.
    struct EventCost {
        int count = 0;
        qint64 cpuNs = 0;
    };
    // The kinds of event that took the most CPU time since the last call,
    // most first: "count × kind: CPU ms".
    QStringList takeCosts(int top) {
        std::vector<std::pair<QString, EventCost>> kinds;
        for (auto it = costs_.begin(); it != costs_.end(); ++it)
            kinds.emplace_back(describe(it.key().first, it.key().second), it.value());
        costs_.clear();
        std::sort(kinds.begin(), kinds.end(),
                  [](const auto& a, const auto& b) { return a.second.cpuNs > b.second.cpuNs; });
        QStringList lines;
        for (std::size_t i = 0; i < kinds.size() && i < static_cast<std::size_t>(top); ++i)
            lines.append(QStringLiteral("%1 x %2: %3 ms")
                             .arg(kinds[i].second.count)
                             .arg(kinds[i].first)
                             .arg(toMs(kinds[i].second.cpuNs), 0, 'f', 1));
        return lines;
    }

    struct Sample {
        double elapsedMs = 0;  // click to result on screen
        double repaintMs = -1; // of which the repaint after the result; -1 when none was seen
        double longestGapMs = 0;
        double longestEventMs = 0;
        double longestEventCpuMs = 0; // the CPU time of that event
        double mostEventCpuMs = 0;    // the most CPU time any one event took
        double longestEventAtMs = 0;  // after the click
        QString longestEvent;         // its type and receiver's class, to find what held the loop
    };

    // The result is in the widgets: the event being handled now has put it there.
    void markResult() {
        if (!measuring_ || resultNs_ >= 0 || resultPending_)
            return;
        if (app_.dispatching())
            resultPending_ = true;
        else
            resultNs_ = nowNs();
    }

    // Clicks from the event loop and spins it until the result is on screen.
    // repaintOf is the window whose next repaint shows the result (nullptr:
    // the result itself ends the path).
    Sample run(const std::function<void()>& click, QWidget* repaintOf, int limitMs) {
        repaintOf_ = repaintOf;
        resultPending_ = false;
        resultNs_ = repaintedNs_ = -1;
        longestGapNs_ = longestEventNs_ = longestEventCpuNs_ = mostEventCpuNs_ = 0;
        longestEvent_.clear();
        QEventLoop loop;
        loop_ = &loop;
        QTimer::singleShot(0, Qt::PreciseTimer, &loop, [this, &click] {
            clickNs_ = lastTickNs_ = nowNs();
            measuring_ = true;
            ticker_.start();
            click();
        });
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(limitMs);
        app_.setWatcher(this);
        loop.exec();
        app_.setWatcher(nullptr);
        ticker_.stop();
        measuring_ = false;
        loop_ = nullptr;
        if (resultNs_ < 0)
            throw std::runtime_error("no result within " + std::to_string(limitMs) + " ms");
        const qint64 end = repaintedNs_ >= 0 ? repaintedNs_ : resultNs_;
        Sample sample;
        sample.elapsedMs = toMs(end - clickNs_);
        sample.repaintMs = repaintedNs_ >= 0 ? toMs(repaintedNs_ - resultNs_) : -1;
        sample.longestGapMs = toMs(longestGapNs_);
        sample.longestEventMs = toMs(longestEventNs_);
        sample.longestEventCpuMs = toMs(longestEventCpuNs_);
        sample.mostEventCpuMs = toMs(mostEventCpuNs_);
        // The click's own event starts just before the click is timed.
        sample.longestEventAtMs = std::max(0.0, toMs(longestEventAtNs_ - clickNs_));
        sample.longestEvent = longestEvent_;
        return sample;
    }

    void dispatched(const Dispatch& d) override {
        if (!measuring_)
            return;
        if (d.receiver == &ticker_) {
            // The benchmark's own ticks are not the editor's work.
            finishWhenDone(d.endNs);
            return;
        }
        mostEventCpuNs_ = std::max(mostEventCpuNs_, d.cpuNs);
        EventCost& cost = costs_[{d.type, d.receiverClass}];
        ++cost.count;
        cost.cpuNs += d.cpuNs;
        if (d.endNs - d.startNs > longestEventNs_) {
            longestEventNs_ = d.endNs - d.startNs;
            longestEventCpuNs_ = d.cpuNs;
            longestEventAtNs_ = d.startNs;
            longestEvent_ = describe(d.type, d.receiverClass);
        }
        if (resultNs_ < 0) {
            if (resultPending_)
                resultNs_ = d.endNs;
        } else if (repaintedNs_ < 0 && repaintOf_ && isRepaintOf(d)) {
            repaintedNs_ = d.endNs;
        }
        finishWhenDone(d.endNs);
    }

private:
    static QString describe(QEvent::Type type, const QMetaObject* receiver) {
        const char* typeName = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
        return QStringLiteral("%1 to %2")
            .arg(QLatin1String(typeName ? typeName : "?"), QLatin1String(receiver->className()));
    }

    bool isRepaintOf(const Dispatch& d) const {
        if (d.type != QEvent::UpdateRequest && d.type != QEvent::Expose && d.type != QEvent::Paint)
            return false;
        return d.receiver == repaintOf_ || d.receiver == repaintOf_->windowHandle();
    }

    void tick() {
        const qint64 now = nowNs();
        longestGapNs_ = std::max(longestGapNs_, now - lastTickNs_);
        lastTickNs_ = now;
    }

    void finishWhenDone(qint64 now) {
        if (!loop_ || resultNs_ < 0)
            return;
        const bool waitedEnough = now - resultNs_ > qint64{RepaintWaitMs} * 1000000;
        if (!repaintOf_ || repaintedNs_ >= 0 || waitedEnough) {
            // The gap of the tick that sees the end counts too.
            tick();
            loop_->quit();
            loop_ = nullptr;
            measuring_ = false;
        }
    }

    BenchApplication& app_;
    QTimer ticker_;
    QEventLoop* loop_ = nullptr;
    QWidget* repaintOf_ = nullptr;
    bool measuring_ = false;
    bool resultPending_ = false;
    qint64 clickNs_ = 0;
    qint64 resultNs_ = -1;
    qint64 repaintedNs_ = -1;
    qint64 lastTickNs_ = 0;
    qint64 longestGapNs_ = 0;
    qint64 longestEventNs_ = 0;
    qint64 longestEventAtNs_ = 0;
    qint64 longestEventCpuNs_ = 0;
    qint64 mostEventCpuNs_ = 0;
    QString longestEvent_;
    QHash<std::pair<QEvent::Type, const QMetaObject*>, EventCost> costs_;
};

// The bytes of a path on the line and what the bridge adds: every reply's
// last bytes wait for its latency timer.
struct LineTime {
    qint64 hostBytes = 0;
    qint64 pedalBytes = 0;
    int bitsPerByte = 10;
    int replies = 0;
    // A pause the pedal needs on the way (the bypass settle before an upload).
    int pauseMs = 0;

    double bytesMs(qint64 bytes) const {
        return static_cast<double>(bytes * bitsPerByte) * 1000.0 / PedalBaudRate;
    }
    double ms() const {
        return bytesMs(hostBytes + pedalBytes) + replies * Connection::LatencyTimerMs + pauseMs;
    }
};

qint64 byteCount(const QStringList& hexWrites) {
    qint64 total = 0;
    for (const QString& write : hexWrites)
        total += write.size() / 2;
    return total;
}

// What the pedal sends back for these writes, from a model pedal in the same
// state with its wire timing off.
qint64 answerBytes(const QString& pedalState, const QStringList& hexWrites) {
    sim::VirtualPedal model;
    std::string error;
    if (!model.loadStateText(pedalState.toStdString(), error))
        throw std::runtime_error("model pedal: " + error);
    model.setBaudRate(PedalBaudRate);
    model.setDataCharacteristics(8, 0, 0);
    for (const QString& write : hexWrites) {
        const QByteArray bytes = QByteArray::fromHex(write.toLatin1());
        model.hostWrite(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                  static_cast<std::size_t>(bytes.size())));
    }
    return static_cast<qint64>(model.output().pending());
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double maxOf(const std::vector<double>& values) {
    return *std::max_element(values.begin(), values.end());
}

void report(const char* title, const char* until, const std::vector<PathProbe::Sample>& samples,
            const LineTime& line, const QStringList& costs) {
    std::vector<double> elapsed, repaint, gaps, events, cpu;
    for (const PathProbe::Sample& s : samples) {
        elapsed.push_back(s.elapsedMs);
        if (s.repaintMs >= 0)
            repaint.push_back(s.repaintMs);
        gaps.push_back(s.longestGapMs);
        events.push_back(s.longestEventMs);
        cpu.push_back(s.mostEventCpuMs);
    }
    const double lineMs = line.ms();
    std::printf("%s: click to %s (%zu runs)\n", title, until, samples.size());
    std::printf("  elapsed        min %.1f ms, median %.1f ms, max %.1f ms",
                *std::min_element(elapsed.begin(), elapsed.end()), median(elapsed), maxOf(elapsed));
    if (!repaint.empty())
        std::printf(" (the repaint after the result: median %.1f ms)", median(repaint));
    std::printf("\n");
    std::printf(
        "  line time      %.1f ms: %lld bytes out (%.1f ms), %lld back (%.1f ms) at %d bits a "
        "byte, %d repl%s waiting for the %d ms latency timer\n",
        lineMs, line.hostBytes, line.bytesMs(line.hostBytes), line.pedalBytes,
        line.bytesMs(line.pedalBytes), line.bitsPerByte, line.replies,
        line.replies == 1 ? "y" : "ies", Connection::LatencyTimerMs);
    if (line.pauseMs > 0)
        std::printf("                 and the pedal's %d ms pause\n", line.pauseMs);
    std::printf("  ratio          %.2f (median elapsed / line time)\n", median(elapsed) / lineMs);
    std::printf("  stall          1 ms timer's longest gap: median %.1f ms, max %.1f ms\n",
                median(gaps), maxOf(gaps));
    const auto worst =
        std::max_element(samples.begin(), samples.end(), [](const auto& a, const auto& b) {
            return a.longestEventMs < b.longestEventMs;
        });
    std::printf("                 longest event: median %.1f ms, max %.1f ms (%.1f ms CPU) at "
                "+%.0f ms, %s\n",
                median(events), maxOf(events), worst->longestEventCpuMs, worst->longestEventAtMs,
                qPrintable(worst->longestEvent));
    std::printf("                 most CPU in one event: median %.1f ms, max %.1f ms\n",
                median(cpu), maxOf(cpu));
    if (maxOf(gaps) <= StallGoalMs)
        std::printf("                 goal %.0f ms: met\n", StallGoalMs);
    else
        std::printf("                 goal %.0f ms: MISSED by %.1f ms%s\n", StallGoalMs,
                    maxOf(gaps) - StallGoalMs,
                    maxOf(cpu) <= StallGoalMs ? " of wall time only: the machine is busy" : "");
    std::printf("  CPU by event   (all runs) %s\n",
                qPrintable(costs.join(QStringLiteral("\n                 "))));
    std::printf("\n");
    std::fflush(stdout);
}

class PathBench {
public:
    explicit PathBench(BenchApplication& app) : probe_(app) {}

    void start() {
        session_.link();
        // Link found the stored effect and opened its window.
        if (!parameterWindow().isVisible())
            throw std::runtime_error("Link did not open the stored effect");
    }

    void getStoredEffect(int runs) {
        ParameterWindow& window = parameterWindow();
        ShowWatch shown(window, probe_);
        std::vector<PathProbe::Sample> samples;
        QStringList writes;
        for (int i = 0; i < runs; ++i) {
            window.close();
            clearConsole();
            session_.pedal.clearWrites();
            samples.push_back(probe_.run(
                [this] { click(&session_.main(), QStringLiteral("Get FX Stored on Pedal")); },
                &window, 5000));
            checkNoError();
            if (!window.isVisible() || !window.windowTitle().startsWith(BenchEffect))
                throw std::runtime_error("Get FX Stored on Pedal did not show the effect");
            writes = session_.pedal.writes();
        }
        report("Get FX Stored on Pedal", "the parameter window shown", samples,
               {byteCount(writes), answerBytes(session_.pedalStateText(), writes), 10, 1},
               probe_.takeCosts(4));
    }

    void request(int runs) {
        ParameterWindow& window = parameterWindow();
        if (!window.isVisible())
            throw std::runtime_error("no parameter window for Request");
        auto* rate = session_.control<QSlider>(&window, QStringLiteral("Rate"));
        // The answer is applied in the event that ends the exchange.
        const QMetaObject::Connection ended = QObject::connect(
            &session_.connection(), &Connection::stateChanged, [this](Connection::State state) {
                if (state == Connection::State::Linked)
                    probe_.markResult();
            });
        std::vector<PathProbe::Sample> samples;
        QStringList writes;
        for (int i = 0; i < runs; ++i) {
            // The window shows another value than the pedal holds, so the
            // answer repaints it (nothing is sent for this).
            {
                const QSignalBlocker quiet(rate);
                rate->setValue(rate->value() == rate->minimum() ? rate->maximum()
                                                                : rate->minimum());
            }
            const int before = rate->value();
            clearConsole();
            session_.pedal.clearWrites();
            samples.push_back(probe_.run(
                [this] { click(&session_.main(), QStringLiteral("Request")); }, &window, 5000));
            checkNoError();
            if (rate->value() == before)
                throw std::runtime_error("Request did not apply the pedal's values");
            writes = session_.pedal.writes();
        }
        QObject::disconnect(ended);
        report("Request", "the values applied in the parameter window", samples,
               {byteCount(writes), answerBytes(session_.pedalStateText(), writes), 10, 1},
               probe_.takeCosts(4));
    }

    // Upload Selected Effect of the stored effect, to "Upload complete" in
    // the status label and, with Edit After Upload, to the parameter window
    // live again. The reference is the line time of the bytes out (Bypass
    // and the image) and of "Upload complete", plus the bypass settle.
    void upload(int runs) {
        auto* status = session_.main().findChild<QLabel*>(QStringLiteral("status"));
        ParameterWindow& window = parameterWindow();
        auto* assign =
            session_.control<QAbstractButton>(&session_.main(), QStringLiteral("Assign"));
        const QString complete = QStringLiteral("Upload complete");
        // The stored effect chosen in the list, as the player picks it.
        for (const char* name : {"Categories", "Effects"}) {
            auto* list = session_.control<QListWidget>(&session_.main(), QString::fromLatin1(name));
            const QString entry = QString::fromLatin1(name) == QLatin1String("Categories")
                                      ? QStringLiteral("Modulation")
                                      : QString::fromLatin1(BenchEffect);
            const auto items = list->findItems(entry, Qt::MatchExactly);
            if (items.size() != 1)
                throw std::runtime_error("no " + entry.toStdString() + " to choose");
            emit list->itemClicked(items[0]);
        }
        for (const bool toLive : {false, true}) {
            std::vector<PathProbe::Sample> samples;
            QStringList writes;
            const QMetaObject::Connection shown = QObject::connect(
                &session_.connection(), &Connection::stateChanged, [&](Connection::State state) {
                    if (toLive && state == Connection::State::Linked && assign->isEnabled() &&
                        status->text() == complete)
                        probe_.markResult();
                });
            QTimer watch;
            watch.setInterval(0);
            QObject::connect(&watch, &QTimer::timeout, [&] {
                if (!toLive && status->text() == complete)
                    probe_.markResult();
            });
            for (int i = 0; i < runs; ++i) {
                status->clear();
                clearConsole();
                session_.pedal.clearWrites();
                watch.start();
                samples.push_back(probe_.run(
                    [this] { click(&session_.main(), QStringLiteral("Upload Selected Effect")); },
                    toLive ? &window : nullptr, 10000));
                watch.stop();
                checkNoError();
                writes = session_.pedal.writes();
                session_.settle(Connection::State::Linked);
            }
            QObject::disconnect(shown);
            const qint64 out = byteCount(writes.mid(0, 2));
            report("Upload Selected Effect", toLive ? "live editing" : "Upload complete", samples,
                   {out, static_cast<qint64>(complete.size()), 10, 1, BypassSettleMs},
                   probe_.takeCosts(4));
        }
    }

    void readEeprom(int runs) {
        ConsoleWindow& console = session_.editor->console();
        // Ctrl+Shift+P opens the debug console.
        QKeyEvent press(QEvent::KeyPress, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        QCoreApplication::sendEvent(&session_.main(), &press);
        if (!console.isVisible())
            throw std::runtime_error("Ctrl+Shift+P did not open the debug console");
        auto* address = session_.control<QComboBox>(&console, QStringLiteral("E2P addr"));
        address->setCurrentIndex(address->findText(QStringLiteral("50")));
        auto* log = session_.control<QPlainTextEdit>(&console, QStringLiteral("Debug log"));
        const QMetaObject::Connection dumped = QObject::connect(
            log->document(), &QTextDocument::blockCountChanged, [this](int blocks) {
                if (blocks >= EepromSize)
                    probe_.markResult();
            });
        std::vector<PathProbe::Sample> samples;
        QStringList writes;
        for (int i = 0; i < runs; ++i) {
            clearConsole();
            session_.pedal.clearWrites();
            samples.push_back(
                probe_.run([this, &console] { click(&console, QStringLiteral("Read EEPROM")); },
                           &console, 10000));
            checkNoError();
            writes = session_.pedal.writes();
        }
        QObject::disconnect(dumped);
        report("Read EEPROM", "the dump shown in the debug console", samples,
               {byteCount(writes), answerBytes(session_.pedalStateText(), writes), 10, 1},
               probe_.takeCosts(4));
        console.hide();
    }

    void firmwareUpgrade(int runs) {
        const QString imageName = firmwareImageNames().back();
        QString error;
        const std::optional<QByteArray> image = loadFirmwareImage(imageName, &error);
        if (!image)
            throw std::runtime_error(error.toStdString());
        const int chunks =
            static_cast<int>((image->size() + FirmwareChunkSize - 1) / FirmwareChunkSize);
        // One ACK each for Erase and the global erase; three (command,
        // address, data) for every chunk and the version record; two for Go.
        const int acks = 2 + 3 * (chunks + 1) + 2;

        FirmwareWindow& window = session_.editor->firmwareWindow();
        const QString complete = QStringLiteral("Firmware Upgrade Complete");
        session_.dialogs.onMessage = [this, complete](const QString& text) {
            if (text.startsWith(complete))
                probe_.markResult();
        };
        std::vector<PathProbe::Sample> samples;
        QStringList writes;
        for (int i = 0; i < runs; ++i) {
            enterUpgradeMode();
            session_.trigger(QStringLiteral("Start Firmware Upgrade"));
            auto* images = session_.control<QComboBox>(&window, QStringLiteral("Firmware"));
            images->setCurrentIndex(images->findData(imageName));
            clearConsole();
            session_.pedal.clearWrites();
            samples.push_back(
                probe_.run([this, &window] { click(&window, QStringLiteral("Upgrade Firmware")); },
                           nullptr, 120000));
            checkNoError();
            writes = session_.pedal.writes();
            // After Go the pedal runs its new firmware and the line is the
            // application's again.
            session_.settle(Connection::State::Linked);
        }
        session_.dialogs.onMessage = nullptr;
        report("Firmware upgrade", "Firmware Upgrade Complete", samples,
               {byteCount(writes), acks, 11, acks}, probe_.takeCosts(4));
    }

private:
    // The window shown is the result.
    class ShowWatch final : public QObject {
    public:
        ShowWatch(QWidget& window, PathProbe& probe) : window_(window), probe_(probe) {
            window_.installEventFilter(this);
        }
        ~ShowWatch() override { window_.removeEventFilter(this); }
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (watched == &window_ && event->type() == QEvent::Show)
                probe_.markResult();
            return false;
        }

    private:
        QWidget& window_;
        PathProbe& probe_;
    };

    ParameterWindow& parameterWindow() { return session_.editor->parameterWindow(); }

    // Every run starts from an empty debug console: what earlier paths
    // logged would slow the lines this one logs.
    void clearConsole() {
        click(&session_.editor->console(), QStringLiteral("Clear"));
        spinFor(50);
    }

    // Clicks as a player does: nothing happens on a disabled button.
    void click(QWidget* window, const QString& name) {
        auto* button = session_.control<QAbstractButton>(window, name);
        if (!button->isEnabled())
            throw std::runtime_error(name.toStdString() + " is disabled");
        button->click();
    }

    void checkNoError() {
        if (session_.dialogs.errors.isEmpty())
            return;
        const QString errors = session_.dialogs.errors.join('\n');
        session_.dialogs.errors.clear();
        throw std::runtime_error("the editor reported: " + errors.toStdString());
    }

    // The pedal restarts into its bootloader while SAVE is held.
    void enterUpgradeMode() {
        session_.pedal.command(QStringLiteral("save-button down"));
        session_.trigger(QStringLiteral("Upgrade Mode"));
        session_.settle(Connection::State::Bootloader);
        session_.pedal.command(QStringLiteral("save-button up"));
        checkNoError();
    }

    // The probe outlives the editor, whose signals reach it.
    PathProbe probe_;
    EditorSession session_;
};

} // namespace
} // namespace kestra::bench

int main(int argc, char** argv) {
    using namespace kestra::bench;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchApplication app(argc, argv);

    QCommandLineParser options;
    options.setApplicationDescription(
        "Times the editor's paths on the virtual pedal with its wire timing on.");
    options.addHelpOption();
    const QCommandLineOption runs("runs", "Runs of each short path.", "N", "10");
    const QCommandLineOption eepromRuns("eeprom-runs", "Runs of Read EEPROM.", "N", "5");
    const QCommandLineOption upgradeRuns("upgrade-runs", "Runs of the firmware upgrade.", "N", "3");
    const QCommandLineOption paths("paths", "Paths to run, comma separated.", "list",
                                   "stored,request,upload,eeprom,upgrade");
    options.addOptions({runs, eepromRuns, upgradeRuns, paths});
    options.process(app);
    const QStringList chosen = options.value(paths).split(',', Qt::SkipEmptyParts);
    const auto count = [&](const QCommandLineOption& option) {
        return std::max(1, options.value(option).toInt());
    };

    try {
        PathBench bench(app);
        bench.start();
        std::printf(
            "Editor paths on the virtual pedal, wire timing on, 115200 baud, latency timer %d ms.\n"
            "The virtual pedal takes the editor's bytes and sends its own at the line rate, the\n"
            "latter through the bridge's latency timer.\n"
            "Stalls are wall time (CPU time beside): on a busy machine they include the time\n"
            "the process waited for a core.\n\n",
            kestra::Connection::LatencyTimerMs);
        if (chosen.contains("stored"))
            bench.getStoredEffect(count(runs));
        if (chosen.contains("request"))
            bench.request(count(runs));
        if (chosen.contains("upload"))
            bench.upload(count(runs));
        if (chosen.contains("eeprom"))
            bench.readEeprom(count(eepromRuns));
        if (chosen.contains("upgrade"))
            bench.firmwareUpgrade(count(upgradeRuns));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_paths: %s\n", e.what());
        return 1;
    }
    return 0;
}
