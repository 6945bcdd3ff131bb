#include "catalogue/ResourceNames.h"

#include <gtest/gtest.h>
#include <ostream>

namespace kestra {
namespace {

struct NameCase {
    const char* display;
    const char* resource;
    friend void PrintTo(const NameCase& c, std::ostream* os) { *os << '"' << c.display << '"'; }
};

class FormatResourceName : public testing::TestWithParam<NameCase> {};

TEST_P(FormatResourceName, ReplacesInOrder) {
    EXPECT_EQ(format_resource_name(QString::fromLatin1(GetParam().display)).toStdString(),
              GetParam().resource);
}

INSTANTIATE_TEST_SUITE_P(Examples, FormatResourceName,
                         testing::Values(NameCase{"Example Drive", "Example_Drive"},
                                         NameCase{"Alpha + Beta", "Alpha_plus_Beta"},
                                         NameCase{"Two-Part Tone", "Two_Part_Tone"},
                                         NameCase{"Crossfader", "Crossfader"},
                                         NameCase{"Echo X2", "Echo_mult2"},
                                         NameCase{"A-B+C X", "A_BplusC_mult"},
                                         NameCase{"Impulse Response", "Impulse_Response"},
                                         NameCase{"Cab 4x12", "Cab_4x12"},
                                         NameCase{"XX--  ++", "multmult____plusplus"},
                                         NameCase{"", ""}));

struct LinesCase {
    const char* name;
    const char* text;
    QStringList lines;
    friend void PrintTo(const LinesCase& c, std::ostream* os) { *os << c.name; }
};

class SplitLines : public testing::TestWithParam<LinesCase> {};

TEST_P(SplitLines, SplitsAtEveryLineBreakKind) {
    EXPECT_EQ(splitLines(QString::fromLatin1(GetParam().text)), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitLines,
    testing::Values(LinesCase{"Empty", "", {}}, LinesCase{"OneLine", "a", {"a"}},
                    LinesCase{"OnlyBreak", "\r\n", {""}}, LinesCase{"CrLf", "a\r\nb", {"a", "b"}},
                    LinesCase{"CrLfFinal", "a\r\nb\r\n", {"a", "b"}},
                    LinesCase{"Lf", "a\nb", {"a", "b"}}, LinesCase{"LfFinal", "a\nb\n", {"a", "b"}},
                    LinesCase{"Cr", "a\rb", {"a", "b"}}, LinesCase{"CrFinal", "a\rb\r", {"a", "b"}},
                    LinesCase{"Mixed", "a\rb\nc\r\nd", {"a", "b", "c", "d"}},
                    LinesCase{"LfCrIsTwoBreaks", "a\n\rb", {"a", "", "b"}},
                    LinesCase{"EmptyLinesKept", "a\n\n\nb\n", {"a", "", "", "b"}},
                    LinesCase{"FinalEmptyLine", "a\r\n\r\n", {"a", ""}}),
    [](const testing::TestParamInfo<LinesCase>& info) { return info.param.name; });

} // namespace
} // namespace kestra
