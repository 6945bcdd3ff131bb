// A full EEPROM dump is 16,384 log lines; the console must show them at once.
#include "console/PrintConsole.h"
#include "port/D2XXUnit.h"

#include <QApplication>
#include <QPushButton>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

void ShowEepromDump(benchmark::State& state) {
    kestra::D2xxLibrary library;
    kestra::D2XXUnit transport(library);
    kestra::TformPrint console(transport);
    console.resize(506, 676);
    console.show();
    std::vector<std::uint8_t> dump(16384, 0x5A);
    for (auto _ : state) {
        console.showEepromDump(dump.data());
        QCoreApplication::processEvents();
        state.PauseTiming();
        console.btnClear->click();
        state.ResumeTiming();
    }
}
BENCHMARK(ShowEepromDump)->Unit(benchmark::kMillisecond);

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
