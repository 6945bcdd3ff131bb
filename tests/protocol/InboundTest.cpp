#include "protocol/Inbound.h"

#include <gtest/gtest.h>
#include <vector>

namespace kestra {
namespace {

using Kind = InboundMessage::Kind;

InboundMessage classify(const QByteArray& bytes) {
    return classifyInbound(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                           static_cast<int>(bytes.size()));
}

struct StatusCase {
    const char* text;
    Kind kind;
    int number;
};

class StatusTexts : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusTexts, AreClassifiedWithTheirNumber) {
    const InboundMessage m = classify(QByteArray(GetParam().text));
    EXPECT_EQ(m.kind, GetParam().kind) << GetParam().text;
    EXPECT_EQ(m.number, GetParam().number) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Cases, StatusTexts,
                         ::testing::Values(StatusCase{"02", Kind::BankStatus, 2},
                                           StatusCase{"05", Kind::BankStatus, 5},
                                           StatusCase{"011", Kind::BankStatus, 11},
                                           // "1" is followed by the effect number in hexadecimal.
                                           StatusCase{"11A", Kind::EffectStatus, 0x1A},
                                           StatusCase{"1A", Kind::EffectStatus, 0x0A},
                                           StatusCase{"11a", Kind::EffectStatus, 0x1A},
                                           // Only the low 16 bits of a longer number count.
                                           StatusCase{"1ABCDEF", Kind::EffectStatus, 0xCDEF},
                                           StatusCase{"Upload complete", Kind::UploadComplete, 0},
                                           StatusCase{"Upload complete\r\n", Kind::Unknown, 0},
                                           StatusCase{"upload complete", Kind::Unknown, 0},
                                           StatusCase{"Hello", Kind::Unknown, 0}));

TEST(Inbound, StatusTextWithoutANumberIsAnError) {
    const InboundMessage bare = classify("0");
    EXPECT_EQ(bare.kind, Kind::Invalid);
    EXPECT_EQ(bare.error, "'' is not a valid integer value");
    const InboundMessage lineEnd = classify("1\r\n");
    EXPECT_EQ(lineEnd.kind, Kind::Invalid);
    EXPECT_EQ(lineEnd.error, "'\r\n' is not a valid integer value");
    EXPECT_EQ(classify("0x2").kind, Kind::Invalid);
    EXPECT_EQ(classify("1G").kind, Kind::Invalid);
}

TEST(Inbound, RealtimeFrameCarriesSourceParameterAndUnshiftedValue) {
    const InboundMessage m = classify(QByteArray::fromHex("AA08030400"));
    ASSERT_EQ(m.kind, Kind::Realtime);
    EXPECT_EQ(m.frame.source, 8);
    EXPECT_EQ(m.frame.parameter, 3);
    EXPECT_EQ(m.frame.value, 1024);
    // A second frame in the same read is not looked at.
    const InboundMessage two = classify(QByteArray::fromHex("AA00010155AA00020000"));
    ASSERT_EQ(two.kind, Kind::Realtime);
    EXPECT_EQ(two.frame.parameter, 1);
    EXPECT_EQ(two.frame.value, 0x155);
}

TEST(Inbound, EepromDumpNeedsAllItsBytes) {
    QByteArray dump(EepromDumpSize, '\xFF');
    dump[0] = '\xAB';
    EXPECT_EQ(classify(dump).kind, Kind::EepromDump);
    EXPECT_EQ(classify(dump.left(100)).kind, Kind::Unknown);
}

TEST(Inbound, AsciiTextReplacesHighBytes) {
    const std::uint8_t bytes[] = {'O', 'K', 0xAA, 0x7F};
    EXPECT_EQ(inboundAsciiText(bytes, 4), QString::fromLatin1("OK?\x7F"));
}

} // namespace
} // namespace kestra
