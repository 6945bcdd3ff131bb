#include "protocol/ParameterStateReply.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

// The pedal's way of writing numbers: decimal, each followed by CR LF.
QByteArray linesOf(const std::vector<int>& numbers) {
    QByteArray text;
    for (int n : numbers)
        text += QByteArray::number(n) + "\r\n";
    return text;
}

// A complete answer for parameters parameters, every value 0, routing none,
// reverse off, preset mode, preset 0, OMNI; then the overrides by index.
std::vector<int> answerFor(int parameters, const std::vector<std::pair<int, int>>& overrides = {}) {
    std::vector<int> numbers(static_cast<std::size_t>(parameterStateSize(parameters)), 0);
    const int b = 4 * parameters;
    for (int i = b; i < b + 38; ++i)
        numbers[static_cast<std::size_t>(i)] = 255;
    for (auto [at, value] : overrides)
        numbers[static_cast<std::size_t>(at)] = value;
    return numbers;
}

TEST(DecodeParameterState, ScansNumbersOutOfTheReply) {
    struct Case {
        const char* name;
        QByteArray reply;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"plain", "0\r\n64\r\n255\r\n", {0, 64, 255}},
        {"leading line feed", "\n7\r\n12\r\n", {7, 12}},
        {"no leading line feed", "7\r\n12\r\n", {7, 12}},
        {"four digits repeat the previous number", "7\r\n1234\r\n9\r\n", {7, 7, 9}},
        {"empty line repeats the previous number", "7\r\n\r\n", {7, 7}},
        {"three digits modulo 256", "300\r\n", {44}},
        {"CR without LF", "5\r6\r", {5, 6}},
        {"tail without CR is dropped", "5\r\n6", {5}},
        {"empty reply", "", {}},
    };
    for (const Case& c : cases) {
        QString error;
        const auto numbers = decodeParameterState(c.reply, &error);
        ASSERT_TRUE(numbers) << c.name << ": " << error.toStdString();
        EXPECT_EQ(*numbers, c.expected) << c.name;
    }
}

TEST(DecodeParameterState, RefusesANumberThatIsNotDecimal) {
    for (const QByteArray& reply :
         {QByteArray("12\r\nK\r\n"), QByteArray("1x\r\n"), QByteArray("2\r\n1.5\r\n")}) {
        QString error;
        EXPECT_FALSE(decodeParameterState(reply, &error)) << reply.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("is not a decimal number")))
            << error.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("Nothing was changed"))) << error.toStdString();
    }
}

TEST(InterpretParameterState, ValuesAreBigEndianWordsShiftedDown) {
    const auto state =
        interpretParameterState(answerFor(3, {{1, 64}, {5, 128}, {8, 1}, {10, 32}, {11, 1}}), 3, 0);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->parameterValues[0], 512);
    EXPECT_EQ(state->parameterValues[1], 1024);
    EXPECT_EQ(state->parameterValues[2], 2049); // 0x01002001 >> 13: every byte counts
    EXPECT_EQ(state->parameterValues[3], 0);    // beyond the effect
}

TEST(InterpretParameterState, ReadsTheRoutingBlockAfterTheValues) {
    const int p = 2;
    const int b = 4 * p;
    const auto state =
        interpretParameterState(answerFor(p, {{b + 0, 11},
                                              {b + 1, 255},
                                              {b + 2, 3}, // third source is beyond p
                                              {b + 16, 9},
                                              {b + 17, 255}, // bypass FL, preset none
                                              {b + 18, 2},
                                              {b + 19, 1}, // second LED is beyond the count
                                              {b + 22, 1},
                                              {b + 23, 255},
                                              {b + 24, 7}, // reverse on, off, unknown
                                              {b + 38, 1},
                                              {b + 39, 2},
                                              {b + 40, 16}}),
                                p, 1);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->sources[0], 11);
    EXPECT_EQ(state->sources[1], 255);
    EXPECT_EQ(state->sources[2], 255);
    EXPECT_EQ(state->bypassSource, 9);
    EXPECT_EQ(state->presetSource, 255);
    EXPECT_EQ(state->leds[0], 2);
    EXPECT_EQ(state->leds[1], 255);
    EXPECT_EQ(state->reverse[0], std::optional<bool>(true));
    EXPECT_EQ(state->reverse[1], std::optional<bool>(false));
    EXPECT_EQ(state->reverse[2], std::nullopt);
    EXPECT_EQ(state->bankMode, std::optional<bool>(true));
    EXPECT_EQ(state->bankOrPresetNumber, 2);
    EXPECT_EQ(state->midiChannel, std::optional<int>(16));
}

TEST(InterpretParameterState, ModeAndMidiChannelCodes) {
    struct Case {
        int code;
        std::optional<bool> bankMode;
        std::optional<int> channel;
    };
    const Case cases[] = {{0, false, 0},
                          {1, true, 1},
                          {16, std::nullopt, 16},
                          {255, std::nullopt, 0},
                          {200, std::nullopt, std::nullopt},
                          {17, std::nullopt, std::nullopt}};
    const int b = 4;
    for (const Case& c : cases) {
        const auto state =
            interpretParameterState(answerFor(1, {{b + 38, c.code}, {b + 40, c.code}}), 1, 0);
        ASSERT_TRUE(state);
        EXPECT_EQ(state->bankMode, c.bankMode) << c.code;
        EXPECT_EQ(state->midiChannel, c.channel) << c.code;
    }
}

TEST(InterpretParameterState, RefusesAnIncompleteAnswer) {
    std::vector<int> numbers = answerFor(16);
    numbers.resize(45);
    QString error;
    EXPECT_FALSE(interpretParameterState(numbers, 16, 0, &error));
    EXPECT_EQ(error, QStringLiteral("The pedal's answer to Request was incomplete: 45 of 105 "
                                    "values arrived. Nothing was changed; try Request again."));

    numbers = answerFor(2);
    numbers.pop_back();
    EXPECT_FALSE(interpretParameterState(numbers, 2, 0));
    numbers.push_back(0);
    EXPECT_TRUE(interpretParameterState(numbers, 2, 0));
}

TEST(ParseParameterState, DecodesAWholeReply) {
    const auto state = parseParameterState(linesOf(answerFor(1, {{1, 64}, {4 + 40, 5}})), 1, 0);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->parameterValues[0], 512);
    EXPECT_EQ(state->midiChannel, std::optional<int>(5));
}

} // namespace
} // namespace kestra
