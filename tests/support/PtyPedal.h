// kestra-pedal-sim as a process of its own: the virtual pedal behind a real
// pseudo-terminal, reached through the serial backend as a USB serial device
// would be, and driven through the command language on its standard input.
// Its bytes come through real file descriptors, so tests let the test clock
// run no faster than real time (runPaced) and the event loop run between
// steps, as it does in the program.
#pragma once

#include "tests/support/TestClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>

namespace kestra::test {

class PtyPedal {
public:
    // The simulator, started from state when that names a state file.
    explicit PtyPedal(const QString& state = {}) {
        process_.setProgram(QStringLiteral(KESTRA_PEDAL_SIM));
        if (!state.isEmpty())
            process_.setArguments({state});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        if (!process_.waitForStarted(10000) || !waitForLine()) {
            ADD_FAILURE() << "kestra-pedal-sim did not start";
            return;
        }
        path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    ~PtyPedal() { stop(); }
    PtyPedal(const PtyPedal&) = delete;
    PtyPedal& operator=(const PtyPedal&) = delete;

    // The terminal's path, for --port.
    const QString& path() const { return path_; }

    // Runs a command; its answer. A refused command fails the test.
    QString command(const QString& line) {
        process_.write(line.toUtf8() + '\n');
        process_.waitForBytesWritten(10000);
        QStringList answer;
        while (waitForLine()) {
            const QString text = QString::fromUtf8(process_.readLine()).chopped(1);
            if (text == QLatin1String("ok"))
                return answer.join(QLatin1Char('\n'));
            if (text.startsWith(QLatin1String("error: "))) {
                ADD_FAILURE() << "pedal command '" << line.toStdString()
                              << "': " << text.toStdString();
                return {};
            }
            answer.append(text);
        }
        ADD_FAILURE() << "kestra-pedal-sim did not answer '" << line.toStdString() << "'";
        return {};
    }
    // A key=value line of the pedal's status.
    QString status(const QString& key) {
        for (const QString& line : command(QStringLiteral("status")).split(QLatin1Char('\n')))
            if (line.startsWith(key + QLatin1Char('=')))
                return line.mid(key.size() + 1);
        return {};
    }
    QStringList writes() {
        return command(QStringLiteral("writes")).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void clearWrites() { command(QStringLiteral("clear-writes")); }

    // Ends the simulator: the terminal hangs up under whoever holds it.
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000))
            process_.kill();
        process_.waitForFinished(10000);
    }

private:
    bool waitForLine() {
        QElapsedTimer waited;
        waited.start();
        while (!process_.canReadLine()) {
            if (waited.elapsed() > 10000 || !process_.waitForReadyRead(10000))
                return process_.canReadLine();
        }
        return true;
    }

    QProcess process_;
    QString path_;
};

// Runs the event loop for up to ms of real time; it returns sooner when
// something arrives.
inline void waitForEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Lets the test clock run until done() holds, never ahead of real time, with
// the event loop running between its steps; false when done() still does not
// hold after limitMs.
inline bool runPaced(TestClock& clock, const std::function<bool()>& done, qint64 limitMs = 60000) {
    QElapsedTimer wall;
    wall.start();
    const qint64 start = clock.elapsedMs();
    while (!done()) {
        const qint64 ran = clock.elapsedMs() - start;
        if (ran >= limitMs)
            return false;
        if (ran < wall.elapsed())
            clock.advance(1);
        else
            waitForEvents(1);
        QCoreApplication::processEvents();
    }
    return true;
}

} // namespace kestra::test
