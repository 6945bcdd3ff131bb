// The debug console must show a whole EEPROM dump (16,384 lines) at once,
// and keep taking the lines the editor logs while it holds many.
#include "connection/Connection.h"
#include "core/DebugLog.h"
#include "tests/support/FakePort.h"
#include "ui/ConsoleWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <benchmark/benchmark.h>

namespace {

// A console shown on screen, on a connection that is never linked.
struct ShownConsole {
    ShownConsole() {
        console.show();
        QCoreApplication::processEvents();
    }
    void clear() {
        for (QAbstractButton* button : console.findChildren<QAbstractButton*>()) {
            if (button->accessibleName() == QLatin1String("Clear"))
                button->click();
        }
        QCoreApplication::processEvents();
    }

    kestra::test::FakePort port;
    kestra::Connection connection{port};
    kestra::ConsoleWindow console{connection};
};

// From the dump to the console repainted with it.
void ShowEepromDump(benchmark::State& state) {
    ShownConsole shown;
    // Not all 0xFF: an erased dump also opens a message.
    const QByteArray dump(kestra::EepromSize, '\x5A');
    for (auto _ : state) {
        shown.console.showEepromDump(dump);
        QCoreApplication::processEvents();
        state.PauseTiming();
        shown.clear();
        state.ResumeTiming();
    }
}
BENCHMARK(ShowEepromDump)->Unit(benchmark::kMillisecond);

// One line logged (as every read of the line logs one) into a console that
// already holds this many, repainted.
void LogLineIntoLongLog(benchmark::State& state) {
    ShownConsole shown;
    QStringList lines;
    for (int i = 0; i < state.range(0); ++i)
        lines.append(QStringLiteral("%1: 5A").arg(i));
    kestra::DebugLog::appendBatch(lines);
    QCoreApplication::processEvents();
    const QString line = QStringLiteral("Data(ASCII): ????????????????????????????????????????");
    for (auto _ : state) {
        kestra::debugLog(line);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(LogLineIntoLongLog)->Arg(0)->Arg(16384)->Arg(4 * 16384)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
