// Finding effects by part of their name across every category.
#include "catalogue/EffectSearch.h"

#include "tests/catalogue/CatalogueFixtures.h"

namespace kestra {

void PrintTo(const EffectMatch& match, std::ostream* os) {
    *os << match.name.toStdString() << " in category " << match.category;
}

namespace {

struct SearchCase {
    const char* name;
    QString text;
    std::vector<EffectMatch> matches;
};
void PrintTo(const SearchCase& c, std::ostream* os) {
    *os << c.name;
}

class EffectSearch : public ::testing::TestWithParam<SearchCase> {
protected:
    // Gain and Modulation share an effect; Synthesis has no list at all.
    test::CatalogueFolder folder{{
        {"gain", "Grizzle Drive\nGravel X2\n"},
        {"modulation", "Wobblecat Trem\nGravel X2\n"},
        {"filter", "Sweep Wah\n"},
        {"other", "Drive Thru\n"},
    }};
};

TEST_P(EffectSearch, FindsEveryCategorysEffectsByPartOfTheirName) {
    const ResourceStore store = folder.store();
    EXPECT_EQ(searchEffects(Catalogue(store), GetParam().text), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EffectSearch,
    ::testing::Values(
        SearchCase{"PartOfTheName", "ra", {{"Gravel X2", 0}}},
        SearchCase{
            "IgnoresCaseAndCrossesCategories", "DRIVE", {{"Grizzle Drive", 0}, {"Drive Thru", 6}}},
        SearchCase{"AnEffectOfTwoCategoriesOnceInTheFirst", "x2", {{"Gravel X2", 0}}},
        SearchCase{"SpacesAroundTheTextDoNotCount", "  trem ", {{"Wobblecat Trem", 1}}},
        SearchCase{"InTheListsOrder", "w", {{"Wobblecat Trem", 1}, {"Sweep Wah", 3}}},
        SearchCase{"NothingMatches", "fuzz", {}}, SearchCase{"BlankTextFindsNothing", "   ", {}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kestra
