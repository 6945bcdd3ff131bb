// Real exchange times with the pedal: the virtual pedal delivers its answers
// at 115200 baud after the bridge's latency, and the editor's own pauses and
// quiet periods run on the system clock, as they do with hardware.
#include "port/Communication.h"
#include "protocol/CommandFrames.h"
#include "protocol/ParameterStateReply.h"
#include "protocol/RealTimeFunctions.h"
#include "protocol/SyncReceive.h"
#include "tests/support/VirtualPedalControl.h"

#include <benchmark/benchmark.h>

namespace {

struct LinkedPedal {
    LinkedPedal() {
        library.loadFrom(kestra::test::virtualD2xxPath());
        pedal.command(QStringLiteral("reset"));
        pedal.command(QStringLiteral("timing on"));
        kestra::setPortDefaults(transport.portSettings, kestra::Parity::None);
        transport.errorReportEnabled = false;
        kestra::openAndConfigure(transport, QStringLiteral("KS000001"));
    }
    ~LinkedPedal() { pedal.command(QStringLiteral("reset")); }

    kestra::test::VirtualPedalControl pedal;
    kestra::D2xxLibrary library;
    kestra::D2XXUnit transport{library};
};

void GetStoredEffect(benchmark::State& state) {
    LinkedPedal link;
    for (auto _ : state) {
        kestra::sendFrame(link.transport, kestra::frames::getStoredEffect());
        benchmark::DoNotOptimize(kestra::receiveReply(link.transport, false));
    }
}
BENCHMARK(GetStoredEffect)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void RequestSixteenParameters(benchmark::State& state) {
    LinkedPedal link;
    for (auto _ : state) {
        kestra::sendFrame(link.transport, kestra::frames::requestParameterState(16));
        benchmark::DoNotOptimize(kestra::receiveParameterState(link.transport, false));
    }
}
BENCHMARK(RequestSixteenParameters)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The background receive runs every millisecond; most ticks find nothing.
void IdlePollTick(benchmark::State& state) {
    struct Ignore final : kestra::InboundHandler {
        void selectBankRadio(int) override {}
        void openReportedEffect(std::uint16_t) override {}
        void showUploadComplete(const QString&) override {}
        void applyRealtimeFrame(const kestra::RealtimeFrame&) override {}
        void showEepromDump(const std::uint8_t*) override {}
        void reportInboundError(const QString&) override {}
    } ignore;
    LinkedPedal link;
    kestra::RealTimeFunctions poll(link.transport, ignore);
    for (auto _ : state)
        poll.processIncomingData();
}
BENCHMARK(IdlePollTick);

} // namespace

BENCHMARK_MAIN();
