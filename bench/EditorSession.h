// The whole editor on the virtual pedal with its wire timing on and the
// system clock, for benchmarks that time what a player waits for. The
// application class sees every event the loop dispatches, so a benchmark can
// tell when the event that put a result on screen has returned to the loop,
// and how long the loop was held by any one event.
#pragma once

#include "app/EditorApplication.h"
#include "catalogue/Catalogue.h"
#include "core/Clock.h"
#include "core/Dialogs.h"
#include "core/MakerSite.h"
#include "core/UserFolders.h"
#include "tests/support/VirtualPedalControl.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <stdexcept>

namespace kestra::bench {

// Nanoseconds on one monotonic scale for the whole program.
inline qint64 nowNs() {
    static const QElapsedTimer start = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return start.nsecsElapsed();
}

// CPU time of the calling thread, in nanoseconds.
inline qint64 threadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<qint64>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

inline double toMs(qint64 ns) {
    return static_cast<double>(ns) / 1e6;
}

// One event dispatched from the event loop (not one sent from inside
// another event's handling), once its handling has returned: when it started
// and ended, and the CPU time its handling took. On a busy machine the wall
// time also holds the time the process waited for a core.
struct Dispatch {
    // Only to compare with: the handling may have deleted the receiver.
    const QObject* receiver = nullptr;
    const QMetaObject* receiverClass = nullptr;
    QEvent::Type type = QEvent::None;
    qint64 startNs = 0;
    qint64 endNs = 0;
    qint64 cpuNs = 0;
};

class DispatchWatcher {
public:
    virtual ~DispatchWatcher() = default;
    virtual void dispatched(const Dispatch& dispatch) = 0;
};

class BenchApplication final : public QApplication {
public:
    BenchApplication(int& argc, char** argv) : QApplication(argc, argv) {}

    void setWatcher(DispatchWatcher* watcher) { watcher_ = watcher; }

    bool notify(QObject* receiver, QEvent* event) override {
        const bool timed = depth_++ == 0 && watcher_;
        Dispatch dispatch;
        if (timed) {
            dispatch = {receiver, receiver->metaObject(), event->type(), nowNs(), 0, threadCpuNs()};
        }
        const bool handled = QApplication::notify(receiver, event);
        --depth_;
        if (timed && watcher_) {
            dispatch.endNs = nowNs();
            dispatch.cpuNs = threadCpuNs() - dispatch.cpuNs;
            watcher_->dispatched(dispatch);
        }
        return handled;
    }
    // True while an event is being handled.
    bool dispatching() const { return depth_ > 0; }

private:
    DispatchWatcher* watcher_ = nullptr;
    int depth_ = 0;
};

// Answers as a player who has read the text: every question Yes, every
// offer on the way declined, every file dialog cancelled. Errors are kept:
// a benchmark whose path failed says so.
class BenchDialogs final : public Dialogs {
public:
    BenchDialogs() { Dialogs::setInstance(this); }
    ~BenchDialogs() override { Dialogs::setInstance(nullptr); }
    BenchDialogs(const BenchDialogs&) = delete;
    BenchDialogs& operator=(const BenchDialogs&) = delete;

    void message(const QString& text) override {
        messages.append(text);
        if (onMessage)
            onMessage(text);
    }
    void error(const QString& text) override { errors.append(text); }
    using Dialogs::confirm;
    bool confirm(const QString&, Default) override { return true; }
    Choice offer(const QString&, Default) override { return Choice::No; }
    int choose(const QString&, const QStringList&) override { return 0; }
    QString openFile(const FileDialogOptions&) override { return {}; }
    QString saveFile(const FileDialogOptions&) override { return {}; }

    QStringList messages;
    QStringList errors;
    std::function<void(const QString&)> onMessage;
};

// Counts the firings of every timer of the editor's clock: the line's polls
// and the exchanges' pauses and time limits.
class CountingClock final : public Clock {
public:
    CountingClock() { Clock::setInstance(this); }
    ~CountingClock() override { Clock::setInstance(nullptr); }
    CountingClock(const CountingClock&) = delete;
    CountingClock& operator=(const CountingClock&) = delete;

    qint64 elapsedMs() const override { return system_.elapsedMs(); }
    std::unique_ptr<ClockTimer> createTimer(std::function<void()> onTimeout) override {
        return system_.createTimer([this, callback = std::move(onTimeout)] {
            ++firings;
            callback();
        });
    }

    quint64 firings = 0;

private:
    SystemClock system_;
};

// Runs the event loop until done() is true or limitMs have passed; false on
// the time limit. For setting up a path, not while one is timed: it checks
// every 2 ms.
inline bool spinUntil(const std::function<bool()>& done, int limitMs) {
    if (done())
        return true;
    QEventLoop loop;
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || elapsed.elapsed() > limitMs)
            loop.quit();
    });
    check.start(2);
    loop.exec();
    return done();
}

// Lets the loop run for ms, whatever happens.
inline void spinFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The pedal holds Wobblecat Trem in its preset slot with these settings.
inline const char* const BenchEffect = "Wobblecat Trem";

// The editor started on the virtual pedal, which holds BenchEffect; nothing
// is linked yet.
class EditorSession {
public:
    EditorSession() {
        qputenv("KESTRA_D2XX_LIBRARY", test::virtualD2xxPath().toUtf8());
        if (!documents_.isValid())
            throw std::runtime_error("no temporary folder");
        // The editor's settings go to a folder of the benchmark's own, and
        // the update check finds nobody listening.
        setDocumentsFolder(documents_.path());
        setMakerSite(QStringLiteral("http://127.0.0.1:1"));
        pedal.command(QStringLiteral("reset"));
        loadPedalState();
        pedal.command(QStringLiteral("timing on"));
        editor = std::make_unique<EditorApplication>(false);
        editor->show();
    }
    ~EditorSession() {
        editor.reset();
        pedal.command(QStringLiteral("reset"));
        setDocumentsFolder(QString());
        setMakerSite(QString());
    }
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

    MainWindow& main() { return editor->mainWindow(); }
    Connection& connection() { return editor->connection(); }

    // The control of window whose accessible name is name.
    template <typename W>
    W* control(QWidget* window, const QString& name) {
        for (W* widget : window->findChildren<W*>()) {
            if (widget->accessibleName() == name)
                return widget;
        }
        throw std::runtime_error("no control named " + name.toStdString());
    }
    // A menu entry of the main window by its text.
    QAction* action(const QString& text) {
        for (QAction* a : main().menuBar()->findChildren<QAction*>()) {
            if (a->text() == text)
                return a;
        }
        throw std::runtime_error("no menu entry " + text.toStdString());
    }
    void trigger(const QString& text) {
        QAction* entry = action(text);
        if (!entry->isEnabled())
            throw std::runtime_error("menu entry " + text.toStdString() + " is disabled");
        entry->trigger();
    }

    // Waits until no operation runs and the connection is in state.
    void settle(Connection::State state, int limitMs = 20000) {
        const bool settled = spinUntil(
            [&] { return connection().operation().isEmpty() && connection().state() == state; },
            limitMs);
        if (!settled)
            throw std::runtime_error("the editor did not settle: operation '" +
                                     connection().operation().toStdString() + "'");
    }

    void link() {
        trigger(QStringLiteral("Link"));
        settle(Connection::State::Linked);
        if (!dialogs.errors.isEmpty())
            throw std::runtime_error("Link failed: " + dialogs.errors.join('\n').toStdString());
    }

    // The pedal's state as its state file has it (power cycling keeps it).
    QString pedalStateText() {
        const QString path = documents_.filePath(QStringLiteral("saved.state"));
        pedal.command(QStringLiteral("state save ") + path);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read the pedal's state");
        return QString::fromUtf8(file.readAll());
    }

    CountingClock clock; // before the editor: every timer comes from it
    BenchDialogs dialogs;
    test::VirtualPedalControl pedal;
    std::unique_ptr<EditorApplication> editor;

private:
    void loadPedalState() {
        const std::optional<QString> image = Catalogue().image(QString::fromLatin1(BenchEffect));
        if (!image)
            throw std::runtime_error("no image for the benchmark's effect");
        const QString path = documents_.filePath(QStringLiteral("pedal.state"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write the pedal's state");
        // The state file takes the image after its command byte.
        file.write("image.preset=" + image->mid(2).toLatin1() + "\n" +
                   "values=512,256,768,0,512,0,0,0,0,0,0,0,0,0,0,0\n"
                   "sources=0,1,2,255,255,255,255,255,255,255,255,255,255,255,255,255\n");
        file.close();
        pedal.command(QStringLiteral("state load ") + path);
    }

    QTemporaryDir documents_;
};

} // namespace kestra::bench
