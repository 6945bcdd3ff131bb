// How the pedal's bytes reach the host: joined and split as the FT230X
// delivers them, the message faults, and the wire timing on an injected clock.
#include "pedal_test_support.h"

#include <cctype>
#include <gtest/gtest.h>

namespace kestra::sim::test {
namespace {

struct FaultCase {
    const char* fault;
    std::vector<Bytes> reads; // what the host reads for "send 0102030405", "send 0607"
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.fault;
}

class MessageFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(MessageFaults, ApplyToTheNextMessageOnly) {
    VirtualPedal pedal;
    connect(pedal);
    command(pedal, GetParam().fault);
    command(pedal, "send 0102030405");
    command(pedal, "send 0607");
    for (const auto& expected : GetParam().reads) {
        EXPECT_EQ(readOnce(pedal), expected);
    }
    EXPECT_EQ(pedal.queueStatus(), 0u);
}

// Without wire timing everything sent so far comes in one read; only a split
// holds the rest of its message back for a later read.
INSTANTIATE_TEST_SUITE_P(Faults, MessageFaults,
                         ::testing::Values(FaultCase{"fault clear", {{1, 2, 3, 4, 5, 6, 7}}},
                                           FaultCase{"fault truncate 2", {{1, 2, 6, 7}}},
                                           FaultCase{"fault garbage FE 00",
                                                     {{0xFE, 0, 1, 2, 3, 4, 5, 6, 7}}},
                                           FaultCase{"fault split 3", {{1, 2, 3}, {4, 5, 6, 7}}},
                                           FaultCase{"fault split 9", {{1, 2, 3, 4, 5, 6, 7}}},
                                           FaultCase{"fault nack 1", {{1, 2, 3, 4, 5, 6, 7}}}));

TEST(MessageFaults, CombinedTruncateGarbageAndSplit) {
    VirtualPedal pedal;
    connect(pedal);
    command(pedal, "fault truncate 4");
    command(pedal, "fault garbage EE");
    command(pedal, "fault split 2");
    command(pedal, "send 0102030405");
    EXPECT_EQ(readOnce(pedal), (Bytes{0xEE, 1}));
    EXPECT_EQ(readOnce(pedal), (Bytes{2, 3, 4}));
}

// The held tail waits for the read that reaches it, however the host slices
// its reads, and bytes sent before the split message come with its head.
TEST(MessageFaults, SplitTailShowsOnlyAfterTheHeadWasRead) {
    VirtualPedal pedal;
    connect(pedal);
    command(pedal, "send AA");
    command(pedal, "fault split 2");
    command(pedal, "send 010203");
    EXPECT_EQ(pedal.queueStatus(), 3u);
    std::uint8_t buffer[8];
    ASSERT_EQ(pedal.read(buffer, 1), 1u);
    EXPECT_EQ(buffer[0], 0xAA);
    EXPECT_EQ(pedal.queueStatus(), 2u);
    ASSERT_EQ(pedal.read(buffer, sizeof buffer), 2u); // the head, never the tail with it
    EXPECT_EQ(buffer[1], 0x02);
    command(pedal, "send 04");
    EXPECT_EQ(readOnce(pedal), (Bytes{3, 4}));
}

TEST(MessageFaults, PurgeDropsAHeldTail) {
    VirtualPedal pedal;
    connect(pedal);
    command(pedal, "fault split 1");
    command(pedal, "send 010203");
    pedal.purgeOutput();
    command(pedal, "send 0405");
    EXPECT_EQ(readOnce(pedal), (Bytes{4, 5}));
}

TEST(MessageFaults, SilentPedalIgnoresWritesAndSendsNothing) {
    VirtualPedal pedal;
    connect(pedal);
    command(pedal, "fault silent on");
    write(pedal, uploadFrame(spec(0x00)));
    write(pedal, {0x06, 0x00});
    command(pedal, "send 01");
    EXPECT_EQ(pedal.queueStatus(), 0u);
    EXPECT_EQ(pedal.writeLog().size(), 2u);
    command(pedal, "fault silent off");
    write(pedal, {0x06, 0x00});
    EXPECT_EQ(textOf(readOnce(pedal)), "255\r\n255\r\n255\r\n3\r\n");
}

// The chip on its own, on a clock the test moves by hand. 115200 8N1 is
// 86.8 us a byte (the 62nd byte is in at 5381 us), 8E1 95.5 us.
class Wire : public ::testing::Test {
protected:
    std::uint64_t now = 1'000'000;
    OutputQueue queue{[this] { return now; }};

    void SetUp() override { queue.setTiming(true); } // the timer starts now
    void send(std::size_t count, unsigned bitsPerByte = 10) {
        queue.push(Bytes(count, 0x55), 115200, bitsPerByte);
    }
};

struct WireCase {
    const char* name;
    unsigned latencyMs;
    unsigned bitsPerByte;
    std::vector<std::pair<std::uint64_t, std::size_t>> sends;  // at us: so many bytes
    std::vector<std::pair<std::uint64_t, std::size_t>> checks; // at us: bytes readable
};

void PrintTo(const WireCase& c, std::ostream* os) {
    *os << c.name;
}

class WireTable : public Wire, public ::testing::WithParamInterface<WireCase> {};

TEST_P(WireTable, BytesReachTheHostInUsbPackets) {
    const auto& c = GetParam();
    queue.setLatency(c.latencyMs);
    const std::uint64_t start = now;
    auto sends = c.sends.begin();
    for (const auto& [at, expected] : c.checks) {
        for (; sends != c.sends.end() && sends->first <= at; ++sends) {
            now = start + sends->first;
            send(sends->second, c.bitsPerByte);
        }
        now = start + at;
        EXPECT_EQ(queue.queueStatus(), expected) << "at " << at << " us";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WireTable,
    ::testing::Values(
        // A short answer waits for the timer, which runs from the last packet.
        WireCase{"short answer", 16, 10, {{0, 5}}, {{0, 0}, {15'999, 0}, {16'000, 5}}},
        WireCase{"short answer, 2 ms", 2, 10, {{0, 5}}, {{1'999, 0}, {2'000, 5}}},
        WireCase{"sent late in the period", 16, 10, {{10'000, 5}}, {{15'999, 0}, {16'000, 5}}},
        WireCase{"read long after", 16, 10, {{20'000, 5}}, {{40'000, 5}}},
        WireCase{"last byte misses the expiry", 16, 10, {{15'600, 5}}, {{16'000, 4}, {32'000, 5}}},
        // Two messages within one period arrive in one read.
        WireCase{"two messages joined", 16, 10, {{0, 3}, {5'000, 2}}, {{16'000, 5}}},
        WireCase{
            "two messages apart", 16, 10, {{15'000, 3}, {17'000, 2}}, {{16'000, 3}, {32'000, 5}}},
        // Full payloads go at once and restart the timer.
        WireCase{
            "long answer",
            16,
            10,
            {{0, 200}},
            {{5'380, 0}, {5'381, 62}, {10'763, 124}, {16'145, 186}, {32'144, 186}, {32'145, 200}}},
        WireCase{"payload in 8E1", 16, 11, {{0, 62}}, {{5'919, 0}, {5'920, 62}}},
        WireCase{"long answer across an expiry",
                 16,
                 10,
                 {{10'000, 100}},
                 {{15'381, 62}, {16'000, 62}, {31'380, 62}, {31'381, 100}}},
        // Expiries over an empty buffer keep the phase.
        WireCase{"after a long idle", 16, 10, {{1'000'005, 5}}, {{1'007'999, 0}, {1'008'000, 5}}},
        // A message waits for the line: its first byte completes the payload.
        WireCase{"queued behind another",
                 16,
                 10,
                 {{0, 61}, {0, 2}},
                 {{5'380, 0}, {5'381, 62}, {21'380, 62}, {21'381, 63}}}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& ch : name) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return name;
    });

TEST_F(Wire, LatencyChangeRestartsTheTimer) {
    send(5);
    now += 10'000;
    queue.setLatency(8);
    now += 7'999;
    EXPECT_EQ(queue.queueStatus(), 0u);
    now += 1;
    EXPECT_EQ(queue.queueStatus(), 5u);
}

// FT_Purge empties the chip and the driver; what is still on the wire comes
// in afterwards, and the host sees the tail of a message it never saw begin.
TEST_F(Wire, PurgeMidMessageLeavesItsTail) {
    Bytes message(100);
    for (std::size_t i = 0; i < message.size(); ++i) {
        message[i] = static_cast<std::uint8_t>(i);
    }
    queue.push(message, 115200, 10);
    now += 2'000; // 23 bytes are in the chip
    queue.purge();
    EXPECT_EQ(queue.pending(), 77u);
    now += 50'000;
    Bytes got(queue.queueStatus());
    got.resize(queue.read(got.data(), got.size()));
    EXPECT_EQ(got, Bytes(message.begin() + 23, message.end()));
}

TEST_F(Wire, TimingOffDeliversWhatIsOnTheWire) {
    send(100);
    EXPECT_EQ(queue.queueStatus(), 0u);
    queue.setTiming(false);
    EXPECT_EQ(queue.queueStatus(), 100u);
}

TEST_F(Wire, ClearForgetsTheWireToo) {
    send(100);
    now += 2'000;
    queue.clear();
    now += 50'000;
    EXPECT_EQ(queue.queueStatus(), 0u);
    EXPECT_TRUE(queue.empty());
    send(1);
    now += 16'000;
    EXPECT_EQ(queue.queueStatus(), 1u);
}

// Through the pedal: its replies ride the same wire.
TEST(WireThroughThePedal, ReplyArrivesAfterTheTimer) {
    std::uint64_t now = 5'000'000;
    VirtualPedal pedal{[&now] { return now; }};
    connect(pedal);
    command(pedal, "timing on");
    write(pedal, {0x06, 0x00});
    EXPECT_EQ(pedal.queueStatus(), 0u);
    now += 16'000;
    EXPECT_EQ(textOf(readOnce(pedal)), "255\r\n255\r\n255\r\n3\r\n");
}

} // namespace
} // namespace kestra::sim::test
