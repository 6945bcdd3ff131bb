// Where a window opens beside another: always on the screen.
#include "ui/widgets/Placement.h"

#include <gtest/gtest.h>
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

} // namespace
} // namespace kestra
