// How the pedal's messages reach the host: message faults and the wire
// timing model, the latter on an injected clock.
#include "pedal_test_support.h"

#include <gtest/gtest.h>

namespace kestra::sim::test {
namespace {

struct FaultCase {
    const char* fault;
    std::vector<Bytes> messages; // what the host sees for "send 0102030405"
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.fault;
}

class MessageFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(MessageFaults, ApplyToTheNextMessageOnly) {
    VirtualPedal pedal;
    command(pedal, GetParam().fault);
    command(pedal, "send 0102030405");
    command(pedal, "send 0607");
    for (const auto& expected : GetParam().messages) {
        EXPECT_EQ(nextMessage(pedal), expected);
    }
    EXPECT_EQ(nextMessage(pedal), (Bytes{6, 7}));
    EXPECT_EQ(pedal.queueStatus(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Faults, MessageFaults,
                         ::testing::Values(FaultCase{"fault truncate 2", {{1, 2}}},
                                           FaultCase{"fault garbage FE 00",
                                                     {{0xFE, 0, 1, 2, 3, 4, 5}}},
                                           FaultCase{"fault split 3", {{1, 2, 3}, {4, 5}}},
                                           FaultCase{"fault split 9", {{1, 2, 3, 4, 5}}},
                                           FaultCase{"fault nack 1", {{1, 2, 3, 4, 5}}}));

TEST(MessageFaults, CombinedTruncateAndSplit) {
    VirtualPedal pedal;
    command(pedal, "fault truncate 4");
    command(pedal, "fault split 1");
    command(pedal, "send 0102030405");
    EXPECT_EQ(nextMessage(pedal), Bytes{1});
    EXPECT_EQ(nextMessage(pedal), (Bytes{2, 3, 4}));
}

TEST(MessageFaults, SilentPedalIgnoresWritesAndSendsNothing) {
    VirtualPedal pedal;
    command(pedal, "fault silent on");
    write(pedal, uploadFrame(spec(0x00)));
    write(pedal, {0x06, 0x00});
    command(pedal, "send 01");
    EXPECT_EQ(pedal.queueStatus(), 0u);
    EXPECT_EQ(pedal.writeLog().size(), 2u);
    command(pedal, "fault silent off");
    write(pedal, {0x06, 0x00});
    EXPECT_EQ(textOf(nextMessage(pedal)), "255\r\n255\r\n255\r\n3\r\n");
}

TEST(MessageFaults, ClearDropsPendingFaults) {
    VirtualPedal pedal;
    command(pedal, "fault truncate 1");
    command(pedal, "fault garbage AA");
    command(pedal, "fault clear");
    command(pedal, "send 0102");
    EXPECT_EQ(nextMessage(pedal), (Bytes{1, 2}));
}

// Wire timing, on a clock the test moves by hand.
class WireTimingModel : public ::testing::Test {
protected:
    std::uint64_t now = 1'000'000;
    VirtualPedal pedal{[this] { return now; }};

    void SetUp() override { command(pedal, "timing on"); }
};

struct TimingCase {
    std::uint8_t parity;
    unsigned latencyMs;
    std::size_t size;
    std::uint64_t atUs;
    std::size_t visible;
};

void PrintTo(const TimingCase& c, std::ostream* os) {
    *os << c.size << " bytes, parity " << int{c.parity} << ", latency " << c.latencyMs << " ms, at "
        << c.atUs << " us";
}

class TimingTable : public WireTimingModel, public ::testing::WithParamInterface<TimingCase> {};

TEST_P(TimingTable, BytesBecomeVisibleAtLineRateAfterLatency) {
    const auto& c = GetParam();
    pedal.setDataCharacteristics(8, 0, c.parity);
    command(pedal, "latency " + std::to_string(c.latencyMs));
    command(pedal, "send " + toHex(Bytes(c.size, 0x55)));
    now += c.atUs;
    EXPECT_EQ(pedal.queueStatus(), c.visible);
}

// 8N1: 10 bits = 86 us a byte; 8E1: 11 bits = 95 us. Short answers wait for
// the latency timer; 62-byte USB payloads go out as soon as they are full.
INSTANTIATE_TEST_SUITE_P(Table, TimingTable,
                         ::testing::Values(TimingCase{0, 16, 5, 0, 0},
                                           TimingCase{0, 16, 5, 5 * 86 + 15'999, 0},
                                           TimingCase{0, 16, 5, 5 * 86 + 16'000, 5},
                                           TimingCase{0, 2, 5, 5 * 86 + 2'000, 5},
                                           TimingCase{2, 16, 5, 5 * 86 + 16'000, 0},
                                           TimingCase{2, 16, 5, 5 * 95 + 16'000, 5},
                                           TimingCase{0, 16, 200, 62 * 86 - 1, 0},
                                           TimingCase{0, 16, 200, 62 * 86, 62},
                                           TimingCase{0, 16, 200, 130 * 86, 124},
                                           TimingCase{0, 16, 200, 200 * 86 + 16'000, 200}));

TEST_F(WireTimingModel, NextMessageStartsWhenTheLineIsFree) {
    command(pedal, "send " + toHex(Bytes(100, 1)));
    command(pedal, "send 0203");
    now += 100 * 86 + 16'000;
    EXPECT_EQ(nextMessage(pedal).size(), 100u);
    EXPECT_EQ(pedal.queueStatus(), 0u); // its two bytes follow the first hundred
    now += 2 * 86;
    EXPECT_EQ(pedal.queueStatus(), 2u);
    command(pedal, "send 04");
    EXPECT_EQ(nextMessage(pedal), (Bytes{2, 3}));
    EXPECT_EQ(pedal.queueStatus(), 0u);
    now += 86 + 16'000;
    EXPECT_EQ(pedal.queueStatus(), 1u);
}

TEST_F(WireTimingModel, OffMeansEverythingAtOnce) {
    command(pedal, "timing off");
    command(pedal, "send 0102");
    EXPECT_EQ(pedal.queueStatus(), 2u);
}

} // namespace
} // namespace kestra::sim::test
