#include "editor/FilterCoefficients.h"

#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <numbers>

namespace kestra::filter {
namespace {

TEST(FilterNotes, RunSemitoneBySemitoneFromA1ToGSharp5) {
    const QStringList names = noteNames();
    ASSERT_EQ(names.size(), 48);
    EXPECT_EQ(names[0], "A1");
    EXPECT_EQ(names[1], "A#1");
    EXPECT_EQ(names[2], "B1");
    EXPECT_EQ(names[3], "C2");
    EXPECT_EQ(names[ReferenceNoteIndex], "A2");
    EXPECT_EQ(names[47], "G#5");
    EXPECT_DOUBLE_EQ(noteFrequency(-12), 55.0);
    EXPECT_DOUBLE_EQ(noteFrequency(0), 110.0);
    EXPECT_DOUBLE_EQ(noteFrequency(24), 440.0);
}

TEST(FilterWords, AreCoefficientsTimesTwoToThe23RoundedToEven) {
    const double lsb = 1.0 / 8388608.0;
    const struct {
        double value;
        std::optional<std::uint32_t> word;
    } cases[] = {
        {1.0, 0x00800000u},        {-0.5, 0xFFC00000u},   {0.0, 0u},
        {-1.0, 0xFF800000u},       {0.5 * lsb, 0u},       {1.5 * lsb, 2u},
        {-2.5 * lsb, 0xFFFFFFFEu}, {0.6 * lsb, 1u},       {255.9, 0x7FF33333u},
        {256.0, std::nullopt},     {-256.0, 0x80000000u}, {NAN, std::nullopt},
        {INFINITY, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(coefficientWord(c.value), c.word) << c.value;
    EXPECT_EQ(wordGroups(0x00123456u), "'00', '12', '34', '56'");
    EXPECT_EQ(wordGroups(0xFFC0AB00u), "'FF', 'C0', 'AB', '00'");
}

// |H| at frequency f of the filter as the DSP runs it:
// y = b0 x + b1 x1 + b2 x2 + a1 y1 + a2 y2.
double gainAt(const Coefficients& k, double f) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * f / SampleRate);
    return std::abs((k.b0 + k.b1 * z1 + k.b2 * z1 * z1) / (1.0 - k.a1 * z1 - k.a2 * z1 * z1));
}

TEST(FilterCoefficients, PeakingFilterHasTheBoostAtItsNoteAndUnityFarAway) {
    for (const double boost : {-6.0, 3.0, 12.0}) {
        const Coefficients k = peakingCoefficients(110.0, 1.41, boost, 0.0);
        EXPECT_NEAR(gainAt(k, 110.0), std::pow(10.0, boost / 20.0), 1e-9) << boost;
        EXPECT_NEAR(gainAt(k, 0.0), 1.0, 1e-9) << boost;
    }
    const Coefficients louder = peakingCoefficients(110.0, 1.41, 0.0, 6.0);
    EXPECT_NEAR(gainAt(louder, 1000.0), std::pow(10.0, 6.0 / 20.0), 1e-9);
}

class Calculation : public ::testing::Test {
protected:
    Calculator calculator{QLocale::c()};
    QString error;
};

TEST_F(Calculation, FlatFilterAtStart) {
    const QStringList lines = calculator.calculate("A1", &error);
    ASSERT_EQ(lines.size(), 6) << error.toStdString();
    EXPECT_DOUBLE_EQ(calculator.frequency(), 55.0);
    EXPECT_EQ(lines[0], "A1_0db_boost_Q1.41 : array[0..19] of string =");
    EXPECT_EQ(lines[1], "('00', '80', '00', '00', ");
    const Coefficients k = peakingCoefficients(55.0, 1.41, 0.0, 0.0);
    EXPECT_EQ(lines[2], wordGroups(*coefficientWord(-k.a1)) + ", ") << "b1 = -a1";
    EXPECT_EQ(lines[3], wordGroups(*coefficientWord(-k.a2)) + ", ") << "b2 = -a2";
    EXPECT_EQ(lines[4], wordGroups(*coefficientWord(k.a1)) + ", ");
    EXPECT_EQ(lines[5], wordGroups(*coefficientWord(k.a2)) + ");");
}

TEST_F(Calculation, CutOnA2NamesItInTheHeader) {
    calculator.setNoteIndex(ReferenceNoteIndex);
    ASSERT_TRUE(calculator.setBoost("-6", &error));
    ASSERT_TRUE(calculator.setQ("1.41", &error));
    const QStringList lines = calculator.calculate("A2", &error);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_DOUBLE_EQ(calculator.frequency(), 110.0);
    EXPECT_EQ(lines[0], "A2_6db_cut_Q1.41 : array[0..19] of string =");
    EXPECT_TRUE(lines[1].startsWith("('00', '7F', ")) << "a cut keeps b0 just under 1";
}

TEST_F(Calculation, TextThatIsNotANumberLeavesThePreviousValue) {
    ASSERT_TRUE(calculator.setQ("2.5", &error));
    for (const QString text : {"abc", "", "1,41", "inf"}) {
        EXPECT_FALSE(calculator.setQ(text, &error)) << text.toStdString();
        EXPECT_EQ(calculator.q(), 2.5);
        EXPECT_TRUE(error.contains("'" + text + "'")) << error.toStdString();
        EXPECT_TRUE(error.contains("stays 2.5")) << error.toStdString();
    }
    EXPECT_FALSE(calculator.setBoost("-6 dB", &error));
    EXPECT_EQ(calculator.boost(), 0.0);
}

TEST_F(Calculation, NumbersFollowTheLocale) {
    Calculator german{QLocale(QLocale::German)};
    ASSERT_TRUE(german.setQ("1,41", &error));
    EXPECT_DOUBLE_EQ(german.q(), 1.41);
    EXPECT_EQ(german.calculate("A1", &error).value(0),
              "A1_0db_boost_Q1,41 : array[0..19] of string =");
}

TEST_F(Calculation, ZeroQCannotBeRepresentedAndSaysSo) {
    ASSERT_TRUE(calculator.setQ("0", &error));
    EXPECT_TRUE(calculator.calculate("A1", &error).isEmpty());
    EXPECT_TRUE(error.contains("Choose a Q above 0")) << error.toStdString();
}

} // namespace
} // namespace kestra::filter
