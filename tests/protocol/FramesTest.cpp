#include "protocol/Frames.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

struct FrameCase {
    const char* name;
    HexFrame frame;
    const char* text;
    int byteCount;
    bool purge;
    int pauseMs;
};
void PrintTo(const FrameCase& c, std::ostream* os) {
    *os << c.name;
}

class FrameTable : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameTable, ComposesTextLengthPurgeAndPause) {
    const FrameCase& c = GetParam();
    EXPECT_EQ(c.frame.text, QString::fromLatin1(c.text));
    EXPECT_EQ(c.frame.byteCount, c.byteCount);
    EXPECT_EQ(c.frame.purgeFirst, c.purge);
    EXPECT_EQ(c.frame.pauseMs, c.pauseMs);
}

std::array<int, 16> sources(std::initializer_list<int> used) {
    std::array<int, 16> all;
    all.fill(frames::NoRouting);
    std::copy(used.begin(), used.end(), all.begin());
    return all;
}

const std::array<int, 4> noLeds{0xFF, 0xFF, 0xFF, 0xFF};

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, FrameTable,
    ::testing::Values(
        FrameCase{"LiveOn", frames::liveMode(true), "0A0100", 3, false, 0},
        FrameCase{"LiveOff", frames::liveMode(false), "0A0000", 3, false, 0},
        FrameCase{"PotAt512", frames::setParameter("015A", frames::potentiometerValue(512), true),
                  "01015A00400000", 7, false, 1},
        FrameCase{"SwitchOn", frames::setParameter("0200", frames::switchValue(true), false),
                  "01020000800000", 7, false, 0},
        FrameCase{"Request5", frames::requestParameterState(5), "0205", 2, true, 0},
        FrameCase{"Request7", frames::requestParameterState(7), "0207", 2, true, 0},
        FrameCase{"Request16", frames::requestParameterState(16), "0210", 2, true, 0},
        FrameCase{"Store12", frames::storeSettings(12), "030C", 2, true, 100},
        FrameCase{"AssignTwo", frames::assign(sources({0, 8}), noLeds, 0xFF, 0xFF),
                  "040008FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", 23, false, 0},
        // 5 parameters, 0 on KI and 3 on EXP, readback on RED, bypass on FS.
        FrameCase{
            "AssignRouting",
            frames::assign(sources({0, 0xFF, 0xFF, 11, 0xFF}), {2, 0xFF, 0xFF, 0xFF}, 8, 0xFF),
            "0400FFFF0BFFFFFFFFFFFFFFFFFFFFFFFF02FFFFFF08FF", 23, false, 0},
        FrameCase{"EnterBootloader", frames::enterBootloader(), "0500010203040506", 8, false, 100},
        FrameCase{"GetStoredEffect", frames::getStoredEffect(), "0600", 2, true, 0},
        FrameCase{"MidiOmni", frames::midiChannel(0), "0700", 2, false, 0},
        FrameCase{"Midi9", frames::midiChannel(9), "0709", 2, false, 0},
        FrameCase{"Midi12", frames::midiChannel(12), "070C", 2, false, 0},
        FrameCase{"Midi16", frames::midiChannel(16), "0710", 2, false, 0},
        FrameCase{"ReverseOn3", frames::reverse(true, 3), "080103", 3, false, 0},
        FrameCase{"ReverseOff10", frames::reverse(false, 10), "08FF0A", 3, false, 0},
        FrameCase{"Erase50", frames::eraseEeprom("50"), "0B50000000", 5, true, 100},
        FrameCase{"Read51", frames::readEeprom("51"), "0C5100000000", 6, false, 0},
        // Before an address is chosen the frames are one byte shorter.
        FrameCase{"EraseNoAddress", frames::eraseEeprom(""), "0B000000", 4, true, 100},
        FrameCase{"ReadNoAddress", frames::readEeprom(""), "0C00000000", 5, false, 0},
        FrameCase{"BypassOn", frames::bypass(true), "0D01", 2, false, 0},
        FrameCase{"BypassOff", frames::bypass(false), "0D00", 2, false, 0},
        FrameCase{"UploadPreset", frames::uploadEffect("0005AABB"), "0005AABB", 4, false, 0},
        FrameCase{"UploadBankII", frames::uploadEffect("0005AABB", frames::BankII), "0F05AABB", 4,
                  false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct ValueCase {
    std::uint32_t value;
    std::uint32_t expected;
};
void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << QStringLiteral("%1").arg(c.expected, 8, 16, QLatin1Char('0')).toStdString();
}

class ParameterValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ParameterValues, AreLevelsShiftedBy13) {
    EXPECT_EQ(GetParam().value, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, ParameterValues,
    ::testing::Values(ValueCase{frames::potentiometerValue(0), 0x00000000},
                      ValueCase{frames::potentiometerValue(512), 0x00400000},
                      ValueCase{frames::potentiometerValue(1023), 0x007FE000},
                      // Nearest integer, ties to the even neighbour.
                      ValueCase{frames::potentiometerValue(511.5), 512u << 13},
                      ValueCase{frames::potentiometerValue(512.5), 512u << 13},
                      ValueCase{frames::potentiometerValue(0.4), 0},
                      // The top of a track bar never reaches the switch's value.
                      ValueCase{frames::potentiometerValue(1023.4), 0x007FE000},
                      ValueCase{frames::switchValue(true), 0x00800000},
                      ValueCase{frames::switchValue(false), 0},
                      ValueCase{frames::selectorValue(1, 2), 0x00400000},
                      ValueCase{frames::selectorValue(0, 2), 0},
                      ValueCase{frames::selectorValue(2, 3), 0x00554000},
                      ValueCase{frames::selectorValue(2, 4), 0x00400000},
                      ValueCase{frames::selectorValue(3, 12), 0x001FE000},
                      ValueCase{frames::selectorValue(15, 16), 0x00780000}));

// What goes on the line is what the text spells, never more than the
// frame's length and never bytes the text does not give.
TEST(FrameBytes, AreTheLeadingDigitPairsUpToTheLength) {
    EXPECT_EQ(frames::liveMode(true).bytes(), QByteArray::fromHex("0A0100"));
    EXPECT_EQ((HexFrame{QStringLiteral("0A0100FF"), 3}).bytes(), QByteArray::fromHex("0A0100"));
    // A hand-typed frame stops at its first pair that is no hex byte.
    EXPECT_EQ(frames::setParameterTyped(QStringLiteral("01"), QStringLiteral("0G00")).bytes(),
              QByteArray::fromHex("0101"));
    EXPECT_TRUE((HexFrame{QString(), 2}).bytes().isEmpty());
}

} // namespace
} // namespace kestra
