// Frame text conversion and the cutting of the inbound stream into messages:
// both run on the user interface thread, the largest frame being an effect
// image of several kilobytes and the largest message a 16,385-byte dump.
#include "catalogue/Catalogue.h"
#include "protocol/HexText.h"
#include "protocol/Inbound.h"
#include "protocol/MessageFramer.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

QString largestImage() {
    return kestra::Catalogue().image(QStringLiteral("Cathedrome Verb")).value_or(QString());
}

void HexToBytesLargestImage(benchmark::State& state) {
    const QString image = largestImage();
    if (image.isEmpty()) {
        state.SkipWithError("no image");
        return;
    }
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(image.size() / 2));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            kestra::hexToBytes(image, buffer.data(), static_cast<int>(buffer.size())));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(buffer.size()));
}
BENCHMARK(HexToBytesLargestImage);

void BytesToHexEepromDump(benchmark::State& state) {
    const QByteArray dump(kestra::EepromDumpSize, '\xFF');
    for (auto _ : state)
        benchmark::DoNotOptimize(kestra::bytesToHex(dump));
    state.SetBytesProcessed(state.iterations() * dump.size());
}
BENCHMARK(BytesToHexEepromDump);

// Knobs turned while a dump arrives: real-time frames, the dump, more
// frames, all in one stream as the bridge joins them.
QByteArray joinedStream(int framesAround) {
    QByteArray stream;
    const auto addFrames = [&stream, framesAround] {
        for (int i = 0; i < framesAround; ++i) {
            const int value = (i * 37) % 1025;
            stream.append(static_cast<char>(kestra::RealtimeFrameType));
            stream.append(static_cast<char>(i % 5));  // a knob
            stream.append(static_cast<char>(i % 16)); // a parameter
            stream.append(static_cast<char>(value >> 8));
            stream.append(static_cast<char>(value & 0xFF));
        }
    };
    addFrames();
    stream.append(static_cast<char>(kestra::EepromDumpType));
    for (int i = 0; i < kestra::EepromSize; ++i)
        stream.append(static_cast<char>(i * 7));
    addFrames();
    return stream;
}

// The stream fed in reads of state.range(0) bytes (the whole stream in one
// read, or pieces of a 4 ms latency period at 115200 baud).
void FrameJoinedStream(benchmark::State& state) {
    const QByteArray stream = joinedStream(100);
    const qsizetype piece = state.range(0) ? state.range(0) : stream.size();
    std::size_t messages = 0;
    for (auto _ : state) {
        kestra::MessageFramer framer;
        qint64 now = 0;
        for (qsizetype at = 0; at < stream.size(); at += piece) {
            const auto out = framer.feed(
                QByteArrayView(stream).sliced(at, std::min(piece, stream.size() - at)), now);
            messages += out.size();
            now += 4;
        }
        benchmark::DoNotOptimize(messages);
    }
    state.SetBytesProcessed(state.iterations() * stream.size());
}
BENCHMARK(FrameJoinedStream)->Arg(0)->Arg(46);

// The frames alone, one read each: what live knobs cost.
void FrameRealtimeFrames(benchmark::State& state) {
    const QByteArray stream = joinedStream(1000).first(1000 * kestra::RealtimeFrameSize);
    kestra::MessageFramer framer;
    qint64 now = 0;
    for (auto _ : state) {
        for (qsizetype at = 0; at < stream.size(); at += kestra::RealtimeFrameSize)
            benchmark::DoNotOptimize(
                framer.feed(QByteArrayView(stream).sliced(at, kestra::RealtimeFrameSize), ++now));
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(FrameRealtimeFrames);

} // namespace

BENCHMARK_MAIN();
