// The answer to Request, decoded and read for every parameter and readback
// count (out-of-range counts included: the reader clamps them). Either any
// bytes, or numbers the input picks written the pedal's way (decimal, CR LF
// after each, perhaps a leading LF), which must decode to exactly those
// numbers.
//
// A level is a 32-bit word of four numbers shifted right by 13, and nothing
// clamps it: the reader guarantees 0..(2^32-1)>>13 = 0..524287, not the
// 0..1024 of the scale, for a pedal that sends a word above 1024 << 13.
#include "fuzz/FuzzSupport.h"
#include "protocol/ParameterStateReply.h"

#include <algorithm>

namespace kestra::fuzz {
namespace {

constexpr int LevelMax = static_cast<int>(0xFFFFFFFFu >> frames::ValueShift);

void checkState(const std::vector<int>& numbers, int parameterCount, int readbackCount) {
    const int parameters = std::clamp(parameterCount, 0, frames::MaxParameters);
    const int readbacks = std::clamp(readbackCount, 0, frames::MaxReadbacks);
    QString error;
    const std::optional<ParameterState> state =
        interpretParameterState(numbers, parameterCount, readbackCount, &error);
    const auto needed = static_cast<std::size_t>(parameterStateSize(parameters));
    FUZZ_CHECK(state.has_value() == (numbers.size() >= needed));
    FUZZ_CHECK(state.has_value() == error.isEmpty());
    if (!state)
        return;
    const auto at = [&](int index) { return numbers[static_cast<std::size_t>(index)]; };
    for (int i = 0; i < frames::MaxParameters; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        const int level = state->parameterValues[slot];
        FUZZ_CHECK_MSG(level >= 0 && level <= LevelMax, std::to_string(level));
        if (i < parameters) {
            const std::uint32_t word = static_cast<std::uint32_t>(at(4 * i)) << 24 |
                                       static_cast<std::uint32_t>(at(4 * i + 1)) << 16 |
                                       static_cast<std::uint32_t>(at(4 * i + 2)) << 8 |
                                       static_cast<std::uint32_t>(at(4 * i + 3));
            FUZZ_CHECK(level == static_cast<int>(word >> frames::ValueShift));
            FUZZ_CHECK(state->sources[slot] == at(4 * parameters + i));
        } else {
            FUZZ_CHECK(level == 0 && state->sources[slot] == 0xFF);
        }
        FUZZ_CHECK(state->sources[slot] >= 0 && state->sources[slot] <= 0xFF);
        const int flag = at(4 * parameters + 22 + i);
        FUZZ_CHECK(state->reverse[slot] == (flag == 1      ? std::optional<bool>(true)
                                            : flag == 0xFF ? std::optional<bool>(false)
                                                           : std::nullopt));
    }
    for (int k = 0; k < frames::MaxReadbacks; ++k) {
        const int led = state->leds[static_cast<std::size_t>(k)];
        FUZZ_CHECK(k < readbacks ? led == at(4 * parameters + 18 + k) : led == 0xFF);
    }
    FUZZ_CHECK(!state->midiChannel || (*state->midiChannel >= 0 && *state->midiChannel <= 16));
    FUZZ_CHECK(state->bankOrPresetNumber >= 0 && state->bankOrPresetNumber <= 0xFF);
}

} // namespace
} // namespace kestra::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestra;
    using namespace kestra::fuzz;
    FuzzedDataProvider in(data, size);
    const int parameters = in.ConsumeIntegralInRange(-1, frames::MaxParameters + 1);
    const int readbacks = in.ConsumeIntegralInRange(-1, frames::MaxReadbacks + 1);
    QByteArray reply;
    std::optional<std::vector<int>> written;
    if (in.ConsumeBool()) {
        written.emplace();
        if (in.ConsumeBool())
            reply += '\n';
        while (in.remaining_bytes() > 0) {
            const int number = in.ConsumeIntegralInRange(0, 255);
            const int width = in.ConsumeIntegralInRange(1, 3);
            written->push_back(number);
            reply += QByteArray::number(number).rightJustified(width, '0') + "\r\n";
        }
    } else {
        const std::string rest = in.ConsumeRemainingBytesAsString();
        reply = QByteArray(rest.data(), static_cast<qsizetype>(rest.size()));
    }

    QString error;
    const std::optional<std::vector<int>> numbers = decodeParameterState(reply, &error);
    FUZZ_CHECK(numbers.has_value() == error.isEmpty());
    if (written)
        FUZZ_CHECK_MSG(numbers == written, shown(reply));
    if (!numbers)
        return 0;
    for (int n : *numbers)
        FUZZ_CHECK(n >= 0 && n <= 0xFF);
    checkState(*numbers, parameters, readbacks);
    const auto parsed = parseParameterState(reply, parameters, readbacks);
    const auto interpreted = interpretParameterState(*numbers, parameters, readbacks);
    FUZZ_CHECK(parsed.has_value() == interpreted.has_value());
    if (parsed)
        FUZZ_CHECK(parsed->parameterValues == interpreted->parameterValues &&
                   parsed->sources == interpreted->sources && parsed->leds == interpreted->leds);
    return 0;
}
