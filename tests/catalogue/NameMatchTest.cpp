#include "catalogue/NameMatch.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

const QStringList Effects{"Glimmerwave Chorus", "Driftglass Chorus", "Wobblecat Trem",
                          "Lunar-Tide Trem", "Fuzzmoth"};

TEST(NameMatch, MatchesWholeNamesWhateverTheCase) {
    EXPECT_EQ(matchName(Effects, "glimmerwave chorus"), "Glimmerwave Chorus");
    EXPECT_EQ(matchName(Effects, " WOBBLECAT TREM "), "Wobblecat Trem");
    EXPECT_EQ(matchName(Effects, "glimmerwave"), std::nullopt) << "a part is no match";
    EXPECT_EQ(matchName(Effects, ""), std::nullopt);
}

struct SuggestionCase {
    const char* typed;
    QStringList suggested;
};

class NameSuggestion : public ::testing::TestWithParam<SuggestionCase> {};

TEST_P(NameSuggestion, OffersTheClosestNames) {
    EXPECT_EQ(closestNames(Effects, GetParam().typed), GetParam().suggested) << GetParam().typed;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NameSuggestion,
    ::testing::Values(SuggestionCase{"glimerwave", {"Glimmerwave Chorus"}},  // a letter left out
                      SuggestionCase{"glimmerwave", {"Glimmerwave Chorus"}}, // the first word
                      SuggestionCase{"Wobblecta Trem", {"Wobblecat Trem"}},  // two swapped
                      SuggestionCase{"fuzmoth", {"Fuzzmoth"}},               // one missing
                      SuggestionCase{"chorus", {"Glimmerwave Chorus", "Driftglass Chorus"}},
                      SuggestionCase{"trem", {"Wobblecat Trem", "Lunar-Tide Trem"}},
                      SuggestionCase{"reverb", {}}, // nothing near
                      SuggestionCase{"xq", {}},     // too short to guess
                      SuggestionCase{"", {}}));

TEST(NameMatch, DistanceCountsEditsToTheStartOfAWord) {
    EXPECT_EQ(nameDistance("glimmerwave chorus", "Glimmerwave Chorus"), 0);
    EXPECT_EQ(nameDistance("glimerwave", "Glimmerwave Chorus"), 1);
    EXPECT_EQ(nameDistance("chrous", "Glimmerwave Chorus"), 1);
    EXPECT_EQ(nameDistance("abc", ""), 3);
}

} // namespace
} // namespace kestra
