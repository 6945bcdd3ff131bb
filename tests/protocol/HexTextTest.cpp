#include "protocol/HexText.h"

#include <array>
#include <gtest/gtest.h>

namespace kestra {
namespace {

struct HexCase {
    const char* text;
    int maxBytes;
    std::vector<std::uint8_t> expected; // bytes converted
};
void PrintTo(const HexCase& c, std::ostream* os) {
    *os << '"' << c.text << "\" at most " << c.maxBytes;
}

class HexToBytes : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexToBytes, ConvertsLeadingPairsAndKeepsTheRest) {
    const HexCase& c = GetParam();
    std::array<std::uint8_t, 8> buffer;
    buffer.fill(0xEE);
    const int n = hexToBytes(QString::fromLatin1(c.text), buffer.data(), c.maxBytes);
    ASSERT_EQ(n, static_cast<int>(c.expected.size()));
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(buffer[static_cast<std::size_t>(i)], c.expected[static_cast<std::size_t>(i)]);
    for (std::size_t i = static_cast<std::size_t>(n); i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], 0xEE) << "byte " << i << " must keep its previous content";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HexToBytes,
    ::testing::Values(HexCase{"0A0100", 8, {0x0A, 0x01, 0x00}},
                      HexCase{"ff7fa0", 8, {0xFF, 0x7F, 0xA0}}, // lower case accepted
                      HexCase{"", 8, {}},                       // empty text
                      HexCase{"0A01", 1, {0x0A}},               // at most maxBytes
                      HexCase{"01025", 8, {0x01, 0x02}},        // lone last digit
                      HexCase{"0102G304", 8, {0x01, 0x02}},     // stops at a bad pair
                      HexCase{"01 203", 8, {0x01}},             // a blank is not a digit
                      HexCase{"0Z", 8, {}}));

TEST(HexText, FormatsFixedWidthUpperCase) {
    EXPECT_EQ(hex2(0x0C), "0C");
    EXPECT_EQ(hex2(0x1FF), "FF"); // only the low byte
    EXPECT_EQ(hex4(0x15A), "015A");
    EXPECT_EQ(hex8(0x007FE000), "007FE000");
    const std::uint8_t bytes[] = {0x00, 0xAB, 0x7F};
    EXPECT_EQ(bytesToHex(bytes, 3), "00AB7F");
    EXPECT_EQ(hexToByteArray(u"0A0B0"), QByteArray("\x0A\x0B", 2));
}

TEST(HexText, RecognisesCleanHexText) {
    EXPECT_TRUE(isHexText(u"00aBcF9"));
    EXPECT_FALSE(isHexText(u""));
    EXPECT_FALSE(isHexText(u"0A 01"));
    EXPECT_FALSE(isHexText(u"0G"));
}

} // namespace
} // namespace kestra
