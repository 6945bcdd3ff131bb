#include "editor/ParameterLogic.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

TEST(SelectorPosition, FromLevel) {
    struct Case {
        int level;
        int positions;
        int expected;
    };
    const Case cases[] = {
        {0, 5, 0},       // bottom
        {768, 4, 3},     // exact step
        {767, 4, 2},     // just below a step
        {1023, 12, 11},  // 1023 div 85 is 12: pulled back to the last item
        {1024, 3, 2},    // full scale, 3 positions
        {341, 3, 1},     // 341 is one step of 341
        {1024, 16, 15},  // full scale, 16 positions
        {1 << 19, 4, 3}, // corrupt level far above full scale
        {-5, 4, 0},      // below the scale
        {512, 0, -1},    // no positions at all
    };
    for (const Case& c : cases)
        EXPECT_EQ(selectorPositionForLevel(c.level, c.positions), c.expected)
            << c.level << " of " << c.positions;
}

TEST(RoutingCodes, PositionsOfCodes) {
    struct Case {
        int code;
        int source;
        int footswitch;
        int led;
    };
    const Case cases[] = {
        {0, 0, -1, 0},     {3, 3, -1, 3},   {4, 4, -1, 4},    {8, 8, 0, -1},
        {9, 9, 1, -1},     {10, 10, 2, -1}, {11, 11, -1, -1}, {12, -1, -1, -1},
        {254, -1, -1, -1}, {255, 12, 3, 4}, {-1, -1, -1, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sourcePositionForCode(c.code), c.source) << c.code;
        EXPECT_EQ(footswitchPositionForCode(c.code), c.footswitch) << c.code;
        EXPECT_EQ(ledPositionForCode(c.code), c.led) << c.code;
    }
}

TEST(RoutingCodes, CodesOfPositionsNameTheListItems) {
    // Every item but "--" maps to a code that maps back to it.
    const QStringList sources = assignSourceNames();
    for (int p = 0; p < sources.size(); ++p) {
        const int code = sourceCodeForPosition(p);
        EXPECT_EQ(sourcePositionForCode(code), p) << sources[p].toStdString();
    }
    const QStringList feet = footswitchNames();
    for (int p = 0; p < feet.size(); ++p)
        EXPECT_EQ(footswitchPositionForCode(footswitchCodeForPosition(p)), p);
    EXPECT_EQ(footswitchCodeForPosition(0), 8); // FS
    EXPECT_EQ(footswitchCodeForPosition(1), 9); // FL
    EXPECT_EQ(ledCodeForPosition(NoLedPosition), NoAssignment);
    EXPECT_EQ(sources.last(), QStringLiteral("--"));
    EXPECT_EQ(readbackLedNames().indexOf(QStringLiteral("--")), NoLedPosition);
    EXPECT_EQ(feet.indexOf(QStringLiteral("--")), NoFootswitchPosition);
    // Nothing selected is nothing assigned.
    EXPECT_EQ(sourceCodeForPosition(-1), NoAssignment);
    EXPECT_EQ(footswitchCodeForPosition(-1), NoAssignment);
    EXPECT_EQ(ledCodeForPosition(-1), NoAssignment);
}

TEST(AssignContent, FillsEverythingBeyondTheCountsWithNone) {
    std::array<int, 16> sources{};
    sources.fill(5); // B1 everywhere, even in slots the effect does not have
    sources[1] = -1; // nothing selected
    const std::array<int, 4> leds{3, 1, 0, 2};
    const AssignContent content = assignContent(sources, 2, leds, 2, 10, 8);
    EXPECT_EQ(content.frame().text, QStringLiteral("04") + QStringLiteral("05FF") +
                                        QStringLiteral("FF").repeated(14) +
                                        QStringLiteral("0301FFFF") + QStringLiteral("0A08"));
    EXPECT_EQ(content.frame().byteCount, 23);
}

} // namespace
} // namespace kestra
