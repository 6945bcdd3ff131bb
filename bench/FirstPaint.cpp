// Linked into a program whose start-up is measured: once the first main
// window has been painted and put on screen, prints the monotonic clock
// and the resident memory, then ends the process at once (tear-down is not
// start-up).
//
//   first-paint <monotonic ns> <resident KiB>
#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

class FirstPaint final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!seen_ && event->type() == QEvent::Paint && qobject_cast<QMainWindow*>(watched)) {
            seen_ = true;
            // The window's children paint and the backing store is flushed
            // before a zero timer fires.
            QTimer::singleShot(0, [] {
                std::printf("first-paint %lld %ld\n", monotonicNs(), residentKiB());
                std::fflush(stdout);
                std::_Exit(0);
            });
        }
        return false;
    }

private:
    bool seen_ = false;
};

// A program may make a QCoreApplication before its QApplication (to answer
// --help without a display): only the one that shows windows is watched.
void watchFirstPaint() {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        app->installEventFilter(new FirstPaint);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(watchFirstPaint)
