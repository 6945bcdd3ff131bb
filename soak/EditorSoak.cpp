// kestra-soak: a seeded random walk through what a player and the pedal do,
// on the real windows (offscreen) against the virtual pedal, with the test
// clock so that a run is fast and the same seed replays it exactly. After
// every step it checks what must always hold (soak/SoakChecks.h), that no
// operation runs past its time limit, and it stops at the first fault with
// the seed and the last steps.
//   kestra-soak [--actions N] [--seed S] [--verbose]
#include "app/EditorApplication.h"
#include "core/MakerSite.h"
#include "core/UserFolders.h"
#include "soak/SoakChecks.h"
#include "tests/support/TestClock.h"
#include "tests/support/TestDialogs.h"
#include "tests/support/VirtualPedalControl.h"
#include "ui/ConsoleWindow.h"
#include "ui/EffectInfoWindow.h"
#include "ui/FirmwareWindow.h"
#include "ui/MainWindow.h"
#include "ui/ParameterWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDataStream>
#include <QFile>
#include <QGroupBox>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <iostream>
#include <random>
#include <unistd.h>

namespace kestra::soak {
namespace {

using test::TestClock;
using test::TestDialogs;
using test::VirtualPedalControl;

// The longest any operation may run: a firmware upgrade with retries is
// well inside it.
constexpr qint64 TimeLimitMs = 120000;
// How long the pedal's status text may take to reach the editor after the
// pedal changed its effect by itself: the latency timer and the line.
constexpr qint64 HearingMs = 100;
constexpr std::size_t RecentSteps = 20;

// Written by the signal handler: prepared before each step, because a
// crashing program can format nothing.
char crashReport[16384];

extern "C" void onCrash(int signal) {
    const ssize_t written = ::write(STDERR_FILENO, crashReport, std::strlen(crashReport));
    static_cast<void>(written);
    ::_exit(128 + signal);
}

// Menu entries the soak leaves alone: they reach outside the program (the
// browser, the updater) or swap the pedal for another one.
const QStringList OutsideEntries = {"Support", "Update Now", "Use USB Port", "Use Virtual Pedal"};

class Soak {
public:
    Soak(quint64 seed, bool verbose) : seed_(seed), random_(seed), verbose_(verbose) {
        qputenv("KESTRA_D2XX_LIBRARY", test::virtualD2xxPath().toUtf8());
        setDocumentsFolder(documents_.path());
        setMakerSite(QStringLiteral("http://127.0.0.1:1"));
        pedal_.command(QStringLiteral("reset"));
        writeImpulseResponse();
        editor_ = std::make_unique<EditorApplication>(false);
        editor_->completeStartup();
        main().show();
    }
    ~Soak() {
        editor_.reset();
        pedal_.command(QStringLiteral("reset"));
        setDocumentsFolder(QString());
        setMakerSite(QString());
    }

    // Runs up to actions steps; the exit code is 0 when nothing broke.
    int run(long actions) {
        long done = 0;
        QStringList faults;
        int hangs = 0;
        while (done < actions && faults.isEmpty()) {
            prepareCrashReport(done + 1);
            const QString step = takeStep();
            remember(QStringLiteral("%1: %2").arg(done + 1).arg(step));
            ++done;
            if (!letTimePass()) {
                ++hangs;
                faults << QStringLiteral("hang: %1 still runs after %2 ms")
                              .arg(editor_->connection().operation())
                              .arg(TimeLimitMs);
                break;
            }
            faults << brokenInvariants();
        }
        if (!faults.isEmpty()) {
            std::cout << "soak: fault after step " << done << " (seed " << seed_ << "):\n";
            for (const QString& fault : faults)
                std::cout << "  " << fault.toStdString() << "\n";
            std::cout << "last steps:\n";
            for (const QString& step : recent_)
                std::cout << "  " << step.toStdString() << "\n";
            std::cout << "replay: kestra-soak --seed " << seed_ << " --actions " << done
                      << " --verbose\n";
        }
        const int broken = static_cast<int>(faults.size()) - hangs;
        std::cout << "soak: " << done << " actions, 0 crashes, " << hangs << " hangs, " << broken
                  << " broken invariants (seed " << seed_ << ")" << std::endl;
        return faults.isEmpty() ? 0 : 1;
    }

private:
    MainWindow& main() { return editor_->mainWindow(); }

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
    template <typename T>
    T pick(const QList<T>& items) {
        return items[below(items.size())];
    }

    QString takeStep() {
        // The player's answers to whatever this step asks.
        dialogs_.answers = {chance(0.6), chance(0.6)};
        dialogs_.files = {chooseFile()};
        const int kind = below(100);
        QString step;
        if (kind < 62)
            step = playerStep();
        else if (kind < 88)
            step = pedalStep();
        else
            step = waitStep();
        dialogs_.answers.clear();
        dialogs_.files.clear();
        return step;
    }

    QString chooseFile() {
        switch (below(4)) {
        case 0:
            return {};
        case 1:
            return documents_.filePath(QStringLiteral("soak.txt"));
        case 2:
            return impulseResponse_;
        default:
            return documents_.filePath(QStringLiteral("missing.wav"));
        }
    }

    // A mono 48 kHz 24-bit WAV of a short decaying click.
    void writeImpulseResponse() {
        impulseResponse_ = documents_.filePath(QStringLiteral("click.wav"));
        QFile file(impulseResponse_);
        if (!file.open(QIODevice::WriteOnly))
            return;
        constexpr quint32 Samples = 256, Rate = 48000;
        QDataStream out(&file);
        out.setByteOrder(QDataStream::LittleEndian);
        out.writeRawData("RIFF", 4);
        out << quint32(36 + Samples * 3);
        out.writeRawData("WAVEfmt ", 8);
        out << quint32(16) << quint16(1) << quint16(1) << Rate << quint32(Rate * 3) << quint16(3)
            << quint16(24);
        out.writeRawData("data", 4);
        out << quint32(Samples * 3);
        for (quint32 i = 0; i < Samples; ++i) {
            const qint32 sample = static_cast<qint32>(8000000.0 / (1 + i));
            out << quint8(sample & 0xFF) << quint8((sample >> 8) & 0xFF)
                << quint8((sample >> 16) & 0xFF);
        }
    }

    // ---- What the player does ----

    QString playerStep() {
        switch (below(10)) {
        case 0:
        case 1:
        case 2:
            return triggerMenuEntry();
        case 3:
        case 4:
        case 5:
            return clickButton();
        case 6:
            return chooseInList(QStringLiteral("Categories"));
        case 7:
            return chooseInList(QStringLiteral("Effects"));
        case 8:
            return moveControl();
        default:
            return openOrCloseWindow();
        }
    }

    static void collectEntries(const QMenu* menu, QList<QAction*>& entries) {
        if (!menu->isEnabled() || !menu->menuAction()->isEnabled())
            return;
        for (QAction* entry : menu->actions()) {
            if (entry->menu())
                collectEntries(entry->menu(), entries);
            else if (!entry->isSeparator() && entry->isEnabled() && entry->isVisible() &&
                     !OutsideEntries.contains(entry->text()))
                entries << entry;
        }
    }

    QString triggerMenuEntry() {
        QList<QAction*> entries;
        for (QAction* top : main().menuBar()->actions())
            if (top->menu())
                collectEntries(top->menu(), entries);
        if (entries.isEmpty())
            return QStringLiteral("no menu entry is enabled");
        QAction* entry = pick(entries);
        const QString text = entry->text();
        entry->trigger();
        return QStringLiteral("menu %1").arg(text);
    }

    QList<QWidget*> openWindows() {
        QList<QWidget*> windows = {&main()};
        for (QWidget* window : {static_cast<QWidget*>(&editor_->parameterWindow()),
                                static_cast<QWidget*>(&editor_->console()),
                                static_cast<QWidget*>(&editor_->firmwareWindow())})
            if (window->isVisible())
                windows << window;
        return windows;
    }

    template <typename W>
    QList<W*> usable(const QList<QWidget*>& windows) {
        QList<W*> found;
        for (QWidget* window : windows)
            for (W* widget : window->findChildren<W*>())
                if (widget->isVisible() && widget->isEnabled())
                    found << widget;
        return found;
    }

    QString clickButton() {
        const QList<QAbstractButton*> buttons = usable<QAbstractButton>(openWindows());
        if (buttons.isEmpty())
            return QStringLiteral("no button is enabled");
        QAbstractButton* button = pick(buttons);
        const QString name = button->accessibleName();
        const QString window = button->window()->windowTitle();
        button->click();
        return QStringLiteral("click %1 in %2").arg(name, window);
    }

    QString chooseInList(const QString& name) {
        for (QListWidget* list : main().findChildren<QListWidget*>()) {
            if (list->accessibleName() != name || !list->isEnabled() || list->count() == 0)
                continue;
            QListWidgetItem* item = list->item(below(list->count()));
            const QString text = item->text();
            list->setCurrentItem(item);
            emit list->itemClicked(item);
            return QStringLiteral("choose %1 in %2").arg(text, name);
        }
        return QStringLiteral("%1 is empty").arg(name);
    }

    QString moveControl() {
        const QList<QWidget*> windows = openWindows();
        const QList<QSlider*> sliders = usable<QSlider>(windows);
        const QList<QComboBox*> boxes = usable<QComboBox>(windows);
        if (!sliders.isEmpty() && (boxes.isEmpty() || chance(0.6))) {
            QSlider* slider = pick(sliders);
            // A drag is a run of values; a click on the groove is one.
            const int moves = chance(0.5) ? 1 : 1 + below(12);
            int value = slider->value();
            for (int i = 0; i < moves; ++i) {
                value = std::uniform_int_distribution<int>(slider->minimum(),
                                                           slider->maximum())(random_);
                slider->setValue(value);
            }
            return QStringLiteral("move %1 to %2").arg(slider->accessibleName()).arg(value);
        }
        if (boxes.isEmpty())
            return QStringLiteral("no control to move");
        QComboBox* box = pick(boxes);
        if (box->count() == 0)
            return QStringLiteral("%1 is empty").arg(box->accessibleName());
        const int index = below(box->count());
        box->setCurrentIndex(index);
        return QStringLiteral("pick %1 in %2").arg(box->itemText(index), box->accessibleName());
    }

    QString openOrCloseWindow() {
        switch (below(6)) {
        case 0:
            editor_->parameterWindow().close();
            return QStringLiteral("close the parameters");
        case 1:
            editor_->console().show();
            return QStringLiteral("show the console");
        case 2:
            editor_->console().close();
            return QStringLiteral("close the console");
        case 3:
            editor_->firmwareWindow().close();
            return QStringLiteral("close Firmware Upgrade");
        case 4:
            editor_->effectInfoWindow().close();
            return QStringLiteral("close the effect info");
        default: {
            const bool closed = main().close();
            main().show();
            return closed ? QStringLiteral("close the editor, start it again")
                          : QStringLiteral("close the editor: refused");
        }
        }
    }

    // ---- What happens at the pedal ----

    QString pedalStep() {
        static const QStringList Switches = {"B1", "B2", "B3"};
        static const QStringList Footswitches = {"FS", "FL", "RMT"};
        QString command;
        switch (below(20)) {
        case 0:
        case 1:
        case 2:
            command = QStringLiteral("knob %1 %2").arg(1 + below(5)).arg(below(1024));
            break;
        case 3:
            command = QStringLiteral("exp %1").arg(below(1024));
            break;
        case 4:
            command =
                QStringLiteral("switch %1 %2").arg(pick(Switches), chance(0.5) ? "on" : "off");
            break;
        case 5:
            command = QStringLiteral("footswitch ") + pick(Footswitches);
            break;
        case 6:
            command = QStringLiteral("effect %1").arg(below(24));
            break;
        case 7:
            command = QStringLiteral("bank %1").arg(below(3));
            break;
        case 8:
            command = chance(0.5) ? "mode bank" : "mode preset";
            break;
        case 9:
            command = chance(0.5) ? "save-button down" : "save-button up";
            break;
        case 10:
            command = QStringLiteral("send ") + randomHex(1 + below(8));
            break;
        case 11:
            command = QStringLiteral("fault garbage ") + randomHex(1 + below(4));
            break;
        case 12:
            command = QStringLiteral("fault truncate %1").arg(below(6));
            break;
        case 13:
            command = QStringLiteral("fault split %1").arg(1 + below(6));
            break;
        case 14:
            command = QStringLiteral("fault nack %1").arg(1 + below(6));
            break;
        case 15:
            silent_ = !silent_;
            command = silent_ ? "fault silent on" : "fault silent off";
            break;
        case 16:
            // Unplugged, the player plugs it back in soon.
            if (!unplugged_ && chance(0.5))
                return waitStep();
            unplugged_ = !unplugged_;
            command = unplugged_ ? "fault unplug" : "fault replug";
            break;
        case 17:
            command = QStringLiteral("fault clear");
            break;
        case 18:
            command = QStringLiteral("send 01%1").arg(below(3));
            break;
        default:
            command = QStringLiteral("send 1%1").arg(below(24), 0, 16).toUpper();
            break;
        }
        try {
            pedal_.command(command);
        } catch (const std::exception& refused) {
            return QStringLiteral("pedal %1 (refused: %2)").arg(command, refused.what());
        }
        return QStringLiteral("pedal ") + command;
    }

    QString randomHex(int bytes) {
        QString hex;
        for (int i = 0; i < bytes; ++i)
            hex += QStringLiteral("%1").arg(below(256), 2, 16, QLatin1Char('0')).toUpper();
        return hex;
    }

    QString waitStep() {
        static const QList<int> Pauses = {2, 20, 150, 1000, 5000};
        const int ms = pick(Pauses);
        clock_.advance(ms);
        return QStringLiteral("wait %1 ms").arg(ms);
    }

    // ---- After each step ----

    // Half the time the player waits for the operation to end, half the time
    // the next step comes in the middle of it. False when an operation has
    // run past the time limit.
    bool letTimePass() {
        // Windows closed on the way are deleted, as the program's loop would.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Connection& connection = editor_->connection();
        if (chance(0.5)) {
            if (!clock_.runUntil([&] { return connection.operation().isEmpty(); }, TimeLimitMs))
                return false;
            clock_.advance(below(120));
        } else {
            clock_.advance(below(40));
        }
        if (connection.operation().isEmpty()) {
            busySince_ = -1;
        } else if (busySince_ < 0) {
            busySince_ = clock_.elapsedMs();
        } else if (clock_.elapsedMs() - busySince_ > TimeLimitMs) {
            return false;
        }
        return true;
    }

    QStringList brokenInvariants() {
        QStringList broken;
        broken << enabledStateBreaks(enabledStates(main().situation()), observedStates());
        const QStringList romWrites = pedal_.command(QStringLiteral("bootloader-writes"))
                                          .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        broken << bootloaderWriteBreaks(romWrites);
        pedal_.clearWrites();
        const ParameterModel& parameters = editor_->parameters();
        broken << parameterWindowBreaks(parameters.stateRead(), parameters.effectName(),
                                        main().storedEffect().name);
        broken << dialogBreaks(dialogs_.errors + dialogs_.messages + dialogs_.questions);
        broken << sessionBreaks(sessionFacts());
        if (verbose_)
            for (const QString& text : dialogs_.errors + dialogs_.messages)
                std::cout << "    shows: " << text.toStdString() << "\n";
        dialogs_.clear();
        return broken;
    }

    SessionFacts sessionFacts() {
        SessionFacts facts;
        std::map<QString, QString> status;
        for (const QString& line : pedal_.command(QStringLiteral("status")).split('\n')) {
            const qsizetype equals = line.indexOf('=');
            if (equals > 0)
                status[line.left(equals)] = line.mid(equals + 1);
        }
        for (const auto& [key, value] : status)
            if (key.startsWith(QLatin1String("image.")) && key != QLatin1String("image.preset"))
                facts.bankImageBytes[key.mid(6)] = value.toInt();
        const PedalSession& session = editor_->session();
        const Connection& connection = editor_->connection();
        const Connection::State state = connection.state();
        facts.idle = state == Connection::State::Linked && connection.operation().isEmpty();
        facts.closed = state == Connection::State::Unlinked || state == Connection::State::Lost;
        facts.uploadPending = session.uploadPending();
        facts.framesWaiting = session.framesWaiting();
        // A read of the pedal's answer: not while an upload or a status
        // text still waits to be read back.
        const StoredEffect& stored = session.storedEffect();
        // Nor before the pedal's word of an effect it changed itself can
        // have arrived.
        const QString running =
            status["effect.slot"] + ' ' + status["effect.number"] + ' ' + status["effect.version"];
        if (running != pedalRunning_) {
            pedalRunning_ = running;
            pedalChangedAt_ = clock_.elapsedMs();
        }
        facts.versionKnown = stored.versionKnown && !stored.none && !session.uploadPending() &&
                             status["mode"] == QLatin1String("app") &&
                             clock_.elapsedMs() - pedalChangedAt_ >= HearingMs;
        facts.storedNumber = stored.number;
        facts.storedVersion = stored.version;
        facts.pedalNumber = status["effect.number"].toInt();
        facts.pedalVersion = status["effect.version"].toInt();
        return facts;
    }

    ObservedStates observedStates() {
        ObservedStates seen;
        for (QAbstractButton* button : main().findChildren<QAbstractButton*>())
            seen[button->accessibleName()] = button->isEnabled();
        for (QGroupBox* box : main().findChildren<QGroupBox*>())
            seen[box->accessibleName()] = box->isEnabled();
        for (QAction* top : main().menuBar()->actions()) {
            if (!top->menu())
                continue;
            for (QAction* entry : top->menu()->actions())
                if (!entry->isSeparator())
                    seen[entry->text()] = entry->isEnabled();
        }
        for (QWidget* window : {static_cast<QWidget*>(&editor_->console()),
                                static_cast<QWidget*>(&editor_->firmwareWindow())})
            for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
                seen[button->accessibleName()] = button->isEnabled();
        return seen;
    }

    void remember(const QString& step) {
        if (verbose_)
            std::cout << step.toStdString() << std::endl;
        recent_.push_back(step);
        if (recent_.size() > RecentSteps)
            recent_.pop_front();
    }

    void prepareCrashReport(long step) {
        std::string text = "soak: crashed in step " + std::to_string(step) + " (seed " +
                           std::to_string(seed_) + "); the steps before it:\n";
        for (const QString& s : recent_)
            text += "  " + s.toStdString() + "\n";
        text += "replay: kestra-soak --seed " + std::to_string(seed_) + " --actions " +
                std::to_string(step) + " --verbose\n";
        text += "soak: " + std::to_string(step) + " actions, 1 crashes, 0 hangs, 0 broken " +
                "invariants (seed " + std::to_string(seed_) + ")\n";
        std::snprintf(crashReport, sizeof crashReport, "%s", text.c_str());
    }

    const quint64 seed_;
    std::mt19937_64 random_;
    const bool verbose_;
    QTemporaryDir documents_;
    QString impulseResponse_;
    TestClock clock_;
    TestDialogs dialogs_;
    VirtualPedalControl pedal_;
    std::unique_ptr<EditorApplication> editor_;
    std::deque<QString> recent_;
    qint64 busySince_ = -1;
    // What the pedal ran when last looked at, and since when.
    QString pedalRunning_;
    qint64 pedalChangedAt_ = 0;
    bool silent_ = false;
    bool unplugged_ = false;
};

} // namespace
} // namespace kestra::soak

int main(int argc, char** argv) {
    long actions = 2000;
    quint64 seed = std::random_device{}();
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--actions" && i + 1 < argc) {
            actions = std::stol(argv[++i]);
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = std::stoull(argv[++i]);
        } else if (arg == "--verbose") {
            verbose = true;
        } else {
            std::cerr << "usage: kestra-soak [--actions N] [--seed S] [--verbose]\n";
            return 2;
        }
    }
    // Qt's own notes (an offscreen window cannot be raised) would bury the
    // steps; --verbose keeps them.
    if (!verbose)
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The same seed takes the same path: no hash order may differ between runs.
    qputenv("QT_HASH_SEED", "0");
    for (const int signal : {SIGSEGV, SIGABRT, SIGFPE, SIGBUS, SIGILL})
        std::signal(signal, kestra::soak::onCrash);
    QApplication application(argc, argv);
    kestra::soak::Soak soak(seed, verbose);
    return soak.run(actions);
}
