#include "catalogue/ControlDescriptor.h"

#include "tests/catalogue/CatalogueFixtures.h"

#include <gtest/gtest.h>
#include <ostream>

namespace kestra {
namespace {

QString parse(const QString& text, ControlDescriptor& out) {
    QString error;
    if (std::optional<ControlDescriptor> d = parseControlDescriptor("Test Effect", text, &error))
        out = *d;
    return error;
}

ControlDescriptor parseOk(const QString& text) {
    ControlDescriptor d;
    const QString error = parse(text, d);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    return d;
}

const QString Example = QStringLiteral(
    "3211\nGain\nTone\nLevel\nClipping:SOFT:HARD\nTap:TAP:TAP@\nTracking;1;2;3;4\nLFO");

TEST(HexDigitValue, OnlySingleUpperCaseDigits) {
    const std::pair<const char*, int> cases[] = {{"0", 0},   {"9", 9},  {"A", 10}, {"F", 15},
                                                 {"a", -1},  {"f", -1}, {"G", -1}, {"", -1},
                                                 {"10", -1}, {" ", -1}, {"-", -1}};
    for (const auto& [digit, value] : cases)
        EXPECT_EQ(hexDigitValue(QString::fromLatin1(digit)), value) << '"' << digit << '"';
}

TEST(ControlDescriptorParse, FourCharacterHeaderCountsReadbacks) {
    const ControlDescriptor d = parseOk(Example);
    EXPECT_EQ(d.numOfPots, 3);
    EXPECT_EQ(d.numOfSwitches, 2);
    EXPECT_EQ(d.numOfMultiSwitches, 1);
    EXPECT_EQ(d.numOfParameters, 6);
    EXPECT_EQ(d.numOfReadbacks, 1);
    EXPECT_EQ(d.parameterNames[0], "Gain");
    EXPECT_EQ(d.parameterNames[2], "Level");
    EXPECT_EQ(d.parameterNames[5], "Tracking;1;2;3;4");
    EXPECT_EQ(d.readbackNames[0], "LFO");
    EXPECT_EQ(d.parameterNames[6], QString());

    const ControlKind kinds[] = {ControlKind::Pot,    ControlKind::Pot,    ControlKind::Pot,
                                 ControlKind::Switch, ControlKind::Button, ControlKind::Selector,
                                 ControlKind::None};
    for (int i = 0; i < int(std::size(kinds)); ++i)
        EXPECT_EQ(d.kindOf(i), kinds[i]) << i;
    EXPECT_EQ(d.kindOf(-1), ControlKind::None);

    EXPECT_EQ(buttonLabel(d.parameterNames[4]), "Tap");
    const SelectorText selector = splitSelectorLine(d.parameterNames[5]);
    EXPECT_EQ(selector.label, "Tracking");
    EXPECT_EQ(selector.positions, (QStringList{"1", "2", "3", "4"}));
}

TEST(ControlDescriptorParse, ThreeCharacterHeaderHasNoReadbacks) {
    const ControlDescriptor d =
        parseOk("211\nDrive\nLevel\nBright:OFF:ON\nMode;A;B\nNot a readback");
    EXPECT_EQ(d.numOfParameters, 4);
    EXPECT_EQ(d.numOfReadbacks, 0);
    EXPECT_EQ(d.readbackNames[0], QString());
}

TEST(ControlDescriptorParse, LongerHeaderHasNoReadbacks) {
    const ControlDescriptor d = parseOk("10010\nLevel\nIgnored");
    EXPECT_EQ(d.numOfPots, 1);
    EXPECT_EQ(d.numOfParameters, 1);
    EXPECT_EQ(d.numOfReadbacks, 0);
}

TEST(ControlDescriptorParse, ColonLessSwitchAfterTenPots) {
    QString text = "A100";
    for (int i = 1; i <= 10; ++i)
        text += QStringLiteral("\nPot %1").arg(i);
    text += "\nBypass";
    const ControlDescriptor d = parseOk(text);
    EXPECT_EQ(d.numOfPots, 10);
    EXPECT_EQ(d.numOfSwitches, 1);
    EXPECT_EQ(d.numOfReadbacks, 0);
    EXPECT_EQ(d.kindOf(10), ControlKind::Switch);
    const SwitchText s = splitSwitchLine(d.parameterNames[10]);
    EXPECT_EQ(s.label, "Bypass");
    EXPECT_EQ(s.offText, "Bypass");
    EXPECT_EQ(s.onText, "Bypass");
}

TEST(ControlDescriptorParse, ButtonsAreSwitchLinesWithAnAt) {
    const ControlDescriptor d = parseOk("1300\nRate\nTap:TAP:TAP@\nSync:-:-@\nHold:OFF:ON");
    EXPECT_EQ(d.kindOf(1), ControlKind::Button);
    EXPECT_EQ(d.kindOf(2), ControlKind::Button);
    EXPECT_EQ(d.kindOf(3), ControlKind::Switch);
    EXPECT_EQ(buttonLabel(d.parameterNames[1]), "Tap");
    EXPECT_EQ(buttonLabel(d.parameterNames[2]), "Sync");
}

TEST(ControlDescriptorParse, SelectorWithOneSemicolonHasOnePosition) {
    const ControlDescriptor d = parseOk("101\nLevel\nMode;Only");
    EXPECT_EQ(d.kindOf(1), ControlKind::Selector);
    EXPECT_EQ(splitSelectorLine(d.parameterNames[1]).positions, QStringList{"Only"});
}

TEST(ControlDescriptorParse, LineEndsAndTrailingLinesDoNotChangeTheState) {
    const ControlDescriptor lf = parseOk(Example);
    QString crlf = Example;
    crlf.replace("\n", "\r\n");
    for (const QString& text : {crlf, Example + "\n", crlf + "\r\n", Example + "\n\n",
                                crlf + "\r\n\r\n", Example + "\nextra\n\nmore"})
        EXPECT_EQ(parseOk(text), lf) << text.toStdString();
}

TEST(ControlDescriptorParse, EmptyLinesWithinTheCountsAreNames) {
    const ControlDescriptor d = parseOk("200\n\nLevel\n");
    EXPECT_EQ(d.parameterNames[0], QString());
    EXPECT_EQ(d.parameterNames[1], "Level");
}

TEST(ControlDescriptorParse, SixteenParametersAndFourReadbacksAreTheLimit) {
    QString text = "F014";
    for (int i = 1; i <= 15; ++i)
        text += QStringLiteral("\nPot %1").arg(i);
    text += "\nMode;A;B\nR1\nR2\nR3\nR4";
    const ControlDescriptor d = parseOk(text);
    EXPECT_EQ(d.numOfParameters, MaxParameters);
    EXPECT_EQ(d.numOfReadbacks, MaxReadbacks);
    EXPECT_EQ(d.parameterNames[15], "Mode;A;B");
    EXPECT_EQ(d.readbackNames[3], "R4");
}

TEST(ControlDescriptorParse, LogsCountsThenEveryLineTaken) {
    const test::LogCapture log;
    parseOk("1101\nGain\nHi:OFF:ON\nMeter\nignored");
    parseOk("100\nLevel");
    EXPECT_EQ(log.lines,
              (QStringList{"num of pots: 1", "num of switches: 1", "num of multi switch: 0",
                           "num of readbacks: 1", "Gain", "Hi:OFF:ON", "Meter", "num of pots: 1",
                           "num of switches: 0", "num of multi switch: 0", "Level"}));
}

struct RefusalCase {
    const char* name;
    QString text;
    const char* reason; // part of the message that says why
    friend void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }
};

class ControlDescriptorRefusal : public testing::TestWithParam<RefusalCase> {};

QString lines(const QString& header, int count, const QString& tail = {}) {
    QString text = header;
    for (int i = 1; i <= count; ++i)
        text += QStringLiteral("\nPot %1").arg(i);
    return text + tail;
}

TEST_P(ControlDescriptorRefusal, IsRefusedWithAClearMessage) {
    ControlDescriptor untouched;
    untouched.numOfPots = 99;
    ControlDescriptor d = untouched;
    const QString error = parse(GetParam().text, d);
    EXPECT_EQ(d, untouched);
    EXPECT_TRUE(error.startsWith("The control descriptor of Test Effect ")) << error.toStdString();
    EXPECT_TRUE(error.contains(QString::fromLatin1(GetParam().reason))) << error.toStdString();
    EXPECT_TRUE(error.endsWith("The effect cannot be edited.")) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Limits, ControlDescriptorRefusal,
    testing::Values(
        RefusalCase{"TwentyFourParametersWithMissingReadback", lines("F901", 24),
                    "declares 24 parameters; the editor can show at most 16"},
        RefusalCase{"SeventeenParameters", lines("F20", 17),
                    "declares 17 parameters; the editor can show at most 16"},
        RefusalCase{"FiveReadbacks", lines("1005", 6),
                    "declares 5 readbacks; the editor can show at most 4"},
        RefusalCase{"NoPotentiometer", "011\nBright:OFF:ON\nMode;A;B", "no potentiometer"},
        RefusalCase{"LowerCaseHex", lines("a00", 10), "upper-case hexadecimal"},
        RefusalCase{"NotHex", lines("1G0", 1), "upper-case hexadecimal"},
        RefusalCase{"NotHexReadbackDigit", lines("100x", 1), "upper-case hexadecimal"},
        RefusalCase{"ShortHeader", "32\nA\nB\nC", "at least three characters"},
        RefusalCase{"EmptyText", "", "at least three characters"},
        RefusalCase{"MissingParameterLine", lines("300", 2), "only 2 of the 3 lines"},
        RefusalCase{"MissingReadbackLine", lines("2001", 2), "only 2 of the 3 lines"},
        RefusalCase{"FinalLineBreakIsNoLine", lines("300", 2, "\n"), "only 2 of the 3 lines"},
        RefusalCase{"SelectorWithoutSemicolon", "101\nLevel\nMode", "selector line \"Mode\""}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

class LoadControlDescriptor : public testing::Test {
protected:
    test::CatalogueFolder folder{{
        {"ECHO_MULT2_CTRLS", Example.toUtf8()},
        {"SIGNAL_PROBE_CTRLS", lines("F901", 24).toUtf8()},
    }};
    ResourceStore store = folder.store();
};

TEST_F(LoadControlDescriptor, FindsTheCtrlsResourceOfTheEffect) {
    QString error;
    EXPECT_EQ(loadControlDescriptor("Echo X2", &error, store), parseOk(Example));
    EXPECT_TRUE(error.isEmpty());
}

TEST_F(LoadControlDescriptor, ARefusalSaysWhy) {
    QString error;
    EXPECT_EQ(loadControlDescriptor("Signal Probe", &error, store), std::nullopt);
    EXPECT_EQ(error,
              "The control descriptor of Signal Probe declares 24 parameters; the editor can show "
              "at most 16. The effect cannot be edited.");
}

TEST_F(LoadControlDescriptor, MissingDescriptorIsAnErrorLoadingTheResource) {
    QString error;
    EXPECT_EQ(loadControlDescriptor("Nothing Here", &error, store), std::nullopt);
    EXPECT_TRUE(error.startsWith("Error loading resource: "));
    EXPECT_TRUE(error.contains("Nothing_Here_ctrls"));
}

struct SwitchCase {
    const char* line;
    const char* label;
    const char* off;
    const char* on;
};

TEST(SplitSwitchLine, LabelOffAndOnTexts) {
    const SwitchCase cases[] = {
        {"Clipping:SOFT:HARD", "Clipping", "SOFT", "HARD"},
        {"SEND to OUT B:IN TIP:IN RING", "SEND to OUT B", "IN TIP", "IN RING"},
        {"Mode:A:B:C", "Mode", "A", "B:C"},
        {"Bypass", "Bypass", "Bypass", "Bypass"},
        {"Level:ON", "Level", "ON", "ON"},
        {"Tap:TAP:TAP@", "Tap", "TAP", "TAP@"},
        {":x:y", "", "x", "y"},
    };
    for (const SwitchCase& c : cases) {
        const SwitchText s = splitSwitchLine(QString::fromLatin1(c.line));
        EXPECT_EQ(s.label, c.label) << c.line;
        EXPECT_EQ(s.offText, c.off) << c.line;
        EXPECT_EQ(s.onText, c.on) << c.line;
    }
}

TEST(SplitButtonLine, AtAnywhereMakesAButton) {
    EXPECT_TRUE(isButtonLine("Tap:TAP:TAP@"));
    EXPECT_TRUE(isButtonLine("@Reset"));
    EXPECT_FALSE(isButtonLine("Hold:OFF:ON"));
    EXPECT_EQ(buttonLabel("Sync:-:-@"), "Sync");
    EXPECT_EQ(buttonLabel("Reset@"), "Reset@");
}

TEST(SplitSelectorLine, OnePositionPerSemicolon) {
    const std::tuple<const char*, const char*, QStringList> cases[] = {
        {"Tracking;1;2;3;4", "Tracking", {"1", "2", "3", "4"}},
        {"Mode;Only", "Mode", {"Only"}},
        {"Mode;", "Mode", {""}},
        {"Wave;;Sine", "Wave", {"", "Sine"}},
        {"NoPositions", "NoPositions", {}},
    };
    for (const auto& [line, label, positions] : cases) {
        const SelectorText s = splitSelectorLine(QString::fromLatin1(line));
        EXPECT_EQ(s.label, label) << line;
        EXPECT_EQ(s.positions, positions) << line;
    }
}

} // namespace
} // namespace kestra
