// Frame text conversion and inbound classification: both run on the user
// interface thread for every frame, the largest being a 9472-byte image.
#include "catalogue/CatalogueLists.h"
#include "protocol/HexText.h"
#include "protocol/Inbound.h"

#include <array>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

QString largestImage() {
    kestra::CatalogueLists lists;
    lists.read_file_from_stream(QStringLiteral("CATHEDROME_VERB"));
    return lists.categoryList.value(0);
}

void HexToBytesLargestImage(benchmark::State& state) {
    const QString image = largestImage();
    static std::array<std::uint8_t, 65536> buffer;
    for (auto _ : state)
        benchmark::DoNotOptimize(kestra::hexToBytes(image, buffer.data(), 65536));
    state.SetBytesProcessed(state.iterations() * (image.size() / 2));
}
BENCHMARK(HexToBytesLargestImage);

void BytesToHexEepromDump(benchmark::State& state) {
    std::vector<std::uint8_t> dump(kestra::EepromDumpSize, 0xFF);
    for (auto _ : state)
        benchmark::DoNotOptimize(kestra::bytesToHex(dump.data(), static_cast<int>(dump.size())));
}
BENCHMARK(BytesToHexEepromDump);

void ClassifyRealtimeFrame(benchmark::State& state) {
    const std::uint8_t frame[] = {0xAA, 0x00, 0x03, 0x02, 0x00};
    for (auto _ : state)
        benchmark::DoNotOptimize(kestra::classifyInbound(frame, 5));
}
BENCHMARK(ClassifyRealtimeFrame);

} // namespace

BENCHMARK_MAIN();
