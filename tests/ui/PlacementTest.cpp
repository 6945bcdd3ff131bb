// Where a window opens beside another: always on the screen.
#include "ui/widgets/Placement.h"

#include <gtest/gtest.h>
#include <optional>
#include <ostream>

namespace kestra {
namespace {

struct PlacementCase {
    const char* name;
    QSize frame;
    QRect anchor, available;
    QPoint expected;
};

void PrintTo(const PlacementCase& c, std::ostream* os) {
    *os << c.name;
}

class Placement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(Placement, StaysOnTheScreen) {
    const PlacementCase& c = GetParam();
    const QRect placed = placeBeside(c.frame, c.anchor, c.available);
    EXPECT_EQ(placed.topLeft(), c.expected) << placed.x() << "," << placed.y() << " instead of "
                                            << c.expected.x() << "," << c.expected.y();
    EXPECT_EQ(placed.size(), c.frame);
}

const QRect Screen(0, 0, 1600, 1000);
// What a 1600 x 1000 screen offers at scale factor 2.
const QRect Scaled(0, 0, 800, 500);

INSTANTIATE_TEST_SUITE_P(
    Cases, Placement,
    ::testing::Values(
        PlacementCase{
            "RightOfTheAnchorWhenItFits", {400, 300}, {100, 50, 400, 420}, Screen, {500, 50}},
        PlacementCase{
            "LeftOfTheAnchorAtTheRightEdge", {400, 300}, {1100, 50, 400, 420}, Screen, {700, 50}},
        PlacementCase{"AgainstTheRightEdgeWhenNeitherSideFits",
                      {620, 660},
                      {0, 0, 400, 420},
                      Scaled,
                      {180, 0}},
        PlacementCase{"MovedUpToKeepTheBottomOnTheScreen",
                      {400, 600},
                      {100, 700, 400, 200},
                      Screen,
                      {500, 400}},
        PlacementCase{
            "LargerThanTheScreenKeepsItsTopLeftOnIt", {900, 700}, {0, 0, 400, 420}, Scaled, {0, 0}},
        PlacementCase{"ASecondScreenToTheLeft",
                      {400, 300},
                      {-1500, 100, 400, 420},
                      {-1600, 0, 1600, 1000},
                      {-1100, 100}}),
    [](const auto& info) { return std::string(info.param.name); });

// A window among the screens of a desk: beside the main window, or where the
// player left it while that is still on a screen; never larger than the
// screen, never over the main window's menu bar.
struct DeskCase {
    const char* name;
    QSize frame;
    QRect anchor;
    QList<QRect> screens;
    std::optional<QRect> remembered;
    QRect expected;
};

void PrintTo(const DeskCase& c, std::ostream* os) {
    *os << c.name;
}

class Desk : public ::testing::TestWithParam<DeskCase> {};

// The main window's menu bar: the top 22 pixels of its frame.
QRect menuBarOf(const QRect& anchor) {
    return {anchor.topLeft(), QSize(anchor.width(), 22)};
}

TEST_P(Desk, EveryWindowLandsWholeOnAScreen) {
    const DeskCase& c = GetParam();
    const QRect placed =
        placeWindow(c.frame, c.anchor, menuBarOf(c.anchor), c.screens, c.remembered);
    EXPECT_EQ(placed, c.expected) << placed.x() << "," << placed.y() << " " << placed.width() << "x"
                                  << placed.height();
    bool onOne = false;
    for (const QRect& screen : c.screens)
        onOne = onOne || screen.contains(placed);
    EXPECT_TRUE(onOne) << "whole on one screen";
    EXPECT_FALSE(placed.intersects(menuBarOf(c.anchor))) << "clear of the menu bar";
}

// Screens' available areas, the task bar taken off.
const QList<QRect> OneScreen{{0, 0, 1920, 1040}};
const QList<QRect> TwoScreens{{0, 0, 1920, 1040}, {1920, 0, 1920, 1040}};
// A 1920 x 1080 screen at scale factor 2.
const QList<QRect> Doubled{{0, 0, 960, 520}};
const QRect Main(100, 50, 400, 433);

INSTANTIATE_TEST_SUITE_P(
    Screens, Desk,
    ::testing::Values(
        DeskCase{
            "OneScreenBesideTheMainWindow", {480, 400}, Main, OneScreen, {}, {500, 50, 480, 400}},
        DeskCase{"TheFirmwareWindowBesideAMainWindowAtTheCorner",
                 {320, 156},
                 {0, 0, 400, 433},
                 OneScreen,
                 {},
                 {400, 0, 320, 156}},
        DeskCase{"TwoScreensTheMainWindowOnTheSecond",
                 {480, 400},
                 {2000, 100, 400, 433},
                 TwoScreens,
                 {},
                 {2400, 100, 480, 400}},
        DeskCase{"TwoScreensStaysOnTheMainWindowsScreen",
                 {480, 400},
                 {1520, 100, 400, 433},
                 TwoScreens,
                 {},
                 {1040, 100, 480, 400}},
        DeskCase{"DoubledATallWindowShrinksBelowTheMenuBar",
                 {612, 640},
                 {0, 0, 400, 433},
                 Doubled,
                 {},
                 {348, 22, 612, 498}},
        DeskCase{"DoubledBesideTheMainWindowWhenItFits",
                 {480, 300},
                 {0, 0, 400, 433},
                 Doubled,
                 {},
                 {400, 0, 480, 300}},
        DeskCase{"WhereThePlayerLeftItOnTheSecondScreen",
                 {480, 400},
                 Main,
                 TwoScreens,
                 QRect(2500, 300, 480, 400),
                 {2500, 300, 480, 400}},
        DeskCase{"ThePlayersPlaceOnAScreenNoLongerThere",
                 {480, 400},
                 Main,
                 OneScreen,
                 QRect(2500, 300, 480, 400),
                 {500, 50, 480, 400}},
        DeskCase{"ThePlayersPlacePartlyOffTheScreenComesBackWhole",
                 {480, 400},
                 Main,
                 OneScreen,
                 QRect(1700, 900, 480, 400),
                 {1440, 640, 480, 400}},
        DeskCase{"ThePlayersPlaceOnAScreenNowDoubled",
                 {480, 400},
                 {0, 0, 400, 433},
                 Doubled,
                 QRect(1200, 600, 480, 400),
                 {400, 0, 480, 400}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kestra
