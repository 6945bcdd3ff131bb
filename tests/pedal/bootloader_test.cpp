// The ROM bootloader behind the pedal, driven byte for byte the way the
// editor's firmware update drives it.
#include "pedal_test_support.h"

#include <cctype>
#include <gtest/gtest.h>

namespace kestra::sim::test {
namespace {

constexpr std::uint8_t ACK = 0x79;
constexpr std::uint8_t NACK = 0x1F;
constexpr std::uint32_t kBase = 0x08000000;

class Bootloader : public ::testing::Test {
protected:
    VirtualPedal pedal;

    void SetUp() override {
        connect(pedal);
        command(pedal, "save-button down");
        write(pedal, {0x05, 0, 1, 2, 3, 4, 5, 6});
        ASSERT_TRUE(pedal.inBootloader());
        connect(pedal, 2);
    }

    // One host write, then everything it produced.
    Bytes send(const Bytes& bytes) {
        write(pedal, bytes);
        return readOnce(pedal);
    }
    // The editor sends these as separate one-byte writes.
    Bytes sendBytewise(const Bytes& bytes) {
        Bytes replies;
        for (auto b : bytes) {
            write(pedal, {b});
            const auto r = readOnce(pedal);
            replies.insert(replies.end(), r.begin(), r.end());
        }
        return replies;
    }
    Bytes address(std::uint32_t a) {
        Bytes bytes{static_cast<std::uint8_t>(a >> 24), static_cast<std::uint8_t>(a >> 16),
                    static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a)};
        bytes.push_back(bytes[0] ^ bytes[1] ^ bytes[2] ^ bytes[3]);
        return bytes;
    }
    void sync() { ASSERT_EQ(send({0x7F}), Bytes{ACK}); }
    void globalErase() {
        ASSERT_EQ(sendBytewise({0x43, 0xBC}), Bytes{ACK});
        ASSERT_EQ(send({0xFF, 0x00}), Bytes{ACK});
    }
    // Write Memory exactly as the editor does; returns the last reply.
    Bytes writeChunk(std::uint32_t at, std::span<const std::uint8_t> data) {
        EXPECT_EQ(sendBytewise({0x31, 0xCE}), Bytes{ACK});
        EXPECT_EQ(send(address(at)), Bytes{ACK});
        EXPECT_EQ(send({static_cast<std::uint8_t>(data.size() - 1)}), Bytes{});
        EXPECT_EQ(send(Bytes(data.begin(), data.end())), Bytes{});
        std::uint8_t sum = static_cast<std::uint8_t>(data.size() - 1);
        for (auto b : data) {
            sum ^= b;
        }
        return send({sum});
    }
    Bytes flashAt(std::uint32_t at, std::size_t n) {
        const auto& flash = pedal.bootloader().flash();
        return Bytes(flash.begin() + (at - kBase), flash.begin() + (at - kBase) + n);
    }
};

struct SyncLineCase {
    std::uint32_t baud;
    std::uint8_t bits;
    std::uint8_t stopBits;
    std::uint8_t parity;
    bool answers;
};

void PrintTo(const SyncLineCase& c, std::ostream* os) {
    *os << c.baud << " baud, " << int{c.bits} << " bits, parity " << int{c.parity} << ", stop code "
        << int{c.stopBits};
}

class SyncLine : public Bootloader, public ::testing::WithParamInterface<SyncLineCase> {};

// The ROM samples 8E1 and measures the baud rate on the sync byte, within
// the 1200..115200 it supports; its ACK goes out at that rate.
TEST_P(SyncLine, SyncIsSeenOnlyAt8E1AndASupportedRate) {
    const auto& c = GetParam();
    pedal.setBaudRate(c.baud);
    pedal.setDataCharacteristics(c.bits, c.stopBits, c.parity);
    EXPECT_EQ(send({0x7F}), c.answers ? Bytes{ACK} : Bytes{});
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SyncLine,
    ::testing::Values(SyncLineCase{115200, 8, 0, 2, true}, SyncLineCase{57600, 8, 0, 2, true},
                      SyncLineCase{1200, 8, 0, 2, true}, SyncLineCase{600, 8, 0, 2, false},
                      SyncLineCase{230400, 8, 0, 2, false}, SyncLineCase{115200, 8, 0, 0, false},
                      SyncLineCase{115200, 8, 0, 1, false}, SyncLineCase{115200, 7, 0, 2, false},
                      SyncLineCase{115200, 8, 2, 2, false}));

TEST_F(Bootloader, KeepsTheRateItMeasured) {
    pedal.setBaudRate(57600);
    ASSERT_EQ(send({0x7F}), Bytes{ACK});
    pedal.setBaudRate(115200);
    EXPECT_EQ(send({0x02, 0xFD}), Bytes{}); // framing errors: lost
    pedal.setBaudRate(57600);
    EXPECT_EQ(send({0x02, 0xFD}), (Bytes{ACK, 0x01, 0x04, 0x10, ACK}));
    // A new ROM session measures again.
    command(pedal, "bootloader");
    pedal.setBaudRate(115200);
    EXPECT_EQ(send({0x7F}), Bytes{ACK});
}

TEST_F(Bootloader, InformationCommands) {
    EXPECT_EQ(send({0x00}), Bytes{}); // nothing before sync
    sync();
    EXPECT_EQ(send({0x00, 0xFF}), (Bytes{ACK, 0x0B, 0x22, 0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x43,
                                         0x63, 0x73, 0x82, 0x92, ACK}));
    EXPECT_EQ(send({0x01, 0xFE}), (Bytes{ACK, 0x22, 0x00, 0x00, ACK}));
    EXPECT_EQ(send({0x02, 0xFD}), (Bytes{ACK, 0x01, 0x04, 0x10, ACK}));
    EXPECT_EQ(send({0x02, 0xFC}), Bytes{NACK}); // bad complement
    EXPECT_EQ(send({0x82, 0x7D}), Bytes{NACK}); // protection commands are refused
    EXPECT_EQ(send({0x44, 0xBB}), Bytes{NACK}); // no extended erase on this part
    command(pedal, "chip 0x0412");
    EXPECT_EQ(send({0x02, 0xFD}), (Bytes{ACK, 0x01, 0x04, 0x12, ACK})) << "another part";
}

struct AfterSyncCase {
    const char* name;
    Bytes sent;
    Bytes replies;
};

void PrintTo(const AfterSyncCase& c, std::ostream* os) {
    *os << c.name;
}

class AfterSync : public Bootloader, public ::testing::WithParamInterface<AfterSyncCase> {};

// Once synchronised, the ROM reads bytes in pairs, a command and its
// complement, and answers only when the pair is complete. A second 0x7F is a
// command byte like any other (stm32flash sends two to find out whether the
// ROM is already in sync); a lost or stray byte shifts every pair after it.
TEST_P(AfterSync, BytesArePairedIntoCommands) {
    sync();
    EXPECT_EQ(sendBytewise(GetParam().sent), GetParam().replies);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AfterSync,
    ::testing::Values(AfterSyncCase{"one more sync", {0x7F}, {}},
                      AfterSyncCase{"two more syncs", {0x7F, 0x7F}, {NACK}},
                      AfterSyncCase{"sync with its complement", {0x7F, 0x80}, {NACK}},
                      AfterSyncCase{"sync pair then Get ID",
                                    {0x7F, 0x7F, 0x02, 0xFD},
                                    {NACK, ACK, 0x01, 0x04, 0x10, ACK}},
                      AfterSyncCase{"stray sync before Get ID", {0x7F, 0x02, 0xFD}, {NACK}},
                      AfterSyncCase{"stray sync before two Get IDs",
                                    {0x7F, 0x02, 0xFD, 0x02, 0xFD, 0x02},
                                    {NACK, NACK, NACK}}));

struct ReadCase {
    const char* name;
    std::uint32_t address;
    bool addressChecksumOk;
    std::uint8_t n;
    bool complementOk;
    bool addressAcked;
    bool dataSent;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadMemory : public Bootloader, public ::testing::WithParamInterface<ReadCase> {};

// Read Memory: ACK the command; ACK or NACK the address (valid, checksum
// right); then ACK and N + 1 bytes, or NACK. After a NACK the ROM waits for
// a command.
TEST_P(ReadMemory, AnswersByteForByte) {
    const auto& c = GetParam();
    sync();
    ASSERT_EQ(send({0x11, 0xEE}), Bytes{ACK});
    auto addressBytes = address(c.address);
    if (!c.addressChecksumOk) {
        addressBytes.back() ^= 0x01;
    }
    ASSERT_EQ(send(addressBytes), Bytes{c.addressAcked ? ACK : NACK});
    if (c.addressAcked) {
        const auto check = static_cast<std::uint8_t>(c.complementOk ? ~c.n : c.n);
        Bytes expected{NACK};
        if (c.dataSent) {
            expected = {ACK};
            const auto data = flashAt(c.address, c.n + 1u);
            expected.insert(expected.end(), data.begin(), data.end());
        }
        EXPECT_EQ(send({c.n, check}), expected);
    }
    EXPECT_EQ(send({0x01, 0xFE}), (Bytes{ACK, 0x22, 0x00, 0x00, ACK}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadMemory,
    ::testing::Values(ReadCase{"first byte", kBase, true, 0, true, true, true},
                      ReadCase{"256 bytes", kBase + 0x100, true, 255, true, true, true},
                      ReadCase{"last 16 bytes", 0x0801FFF0, true, 15, true, true, true},
                      ReadCase{"bad address checksum", kBase, false, 0, true, false, false},
                      ReadCase{"before the flash", kBase - 1, true, 0, true, false, false},
                      ReadCase{"after the flash", 0x08020000, true, 0, true, false, false},
                      ReadCase{"bad complement", kBase, true, 3, false, true, false},
                      ReadCase{"past the end", 0x0801FFF0, true, 16, true, true, false}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& ch : name) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return name;
    });

// The 41,252-byte worked example: 161 full chunks and a 36-byte tail at
// 0x0800A100, then the version record and Go.
TEST_F(Bootloader, FullUpdateSequenceInstallsFirmwareVersion) {
    Bytes image(41252);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 31 + (i >> 8));
    }
    sync();
    globalErase();
    std::size_t chunks = 0;
    for (std::size_t at = 0; at < image.size(); at += 256, ++chunks) {
        const auto n = std::min<std::size_t>(256, image.size() - at);
        ASSERT_EQ(
            writeChunk(kBase + static_cast<std::uint32_t>(at), std::span(image).subspan(at, n)),
            Bytes{ACK})
            << "chunk at " << at;
    }
    EXPECT_EQ(chunks, 162u);
    const auto& log = pedal.writeLog();
    EXPECT_EQ(log[log.size() - 4], (Bytes{0x08, 0x00, 0xA1, 0x00, 0xA9}));
    EXPECT_EQ(log[log.size() - 3], Bytes{0x23});
    EXPECT_EQ(flashAt(kBase, image.size()), image);

    // Version record: ten single-byte writes after the address.
    EXPECT_EQ(sendBytewise({0x31, 0xCE}), Bytes{ACK});
    EXPECT_EQ(send(address(0x0801FC00)), Bytes{ACK});
    EXPECT_EQ(address(0x0801FC00).back(), 0xF5);
    const std::uint8_t version = 2;
    EXPECT_EQ(sendBytewise({0x07, 0, 0, 0, 0, 0, 0, 0, version, 0x07 ^ version}), Bytes{ACK});
    EXPECT_EQ(pedal.writeLog().back(), Bytes{0x05});

    EXPECT_EQ(sendBytewise({0x21, 0xDE}), Bytes{ACK});
    EXPECT_EQ(sendBytewise({0x08, 0x00, 0x00, 0x00, 0x08}), Bytes{ACK});
    EXPECT_FALSE(pedal.inBootloader());
    // The application talks 8N1 again: a host still at 8E1 hears nothing.
    EXPECT_EQ(send({0x06, 0x00}), Bytes{});
    connect(pedal);
    write(pedal, {0x06, 0x00});
    EXPECT_EQ(textOf(readOnce(pedal)), "255\r\n255\r\n255\r\n2\r\n");
}

TEST_F(Bootloader, ChecksumsAreChecked) {
    sync();
    globalErase();
    ASSERT_EQ(sendBytewise({0x31, 0xCE}), Bytes{ACK});
    auto badAddress = address(kBase);
    badAddress.back() ^= 1;
    EXPECT_EQ(send(badAddress), Bytes{NACK});

    ASSERT_EQ(sendBytewise({0x31, 0xCE}), Bytes{ACK});
    ASSERT_EQ(send(address(kBase)), Bytes{ACK});
    EXPECT_EQ(send({0x03, 1, 2, 3, 4}), Bytes{});
    EXPECT_EQ(send({0x03 ^ 1 ^ 2 ^ 3 ^ 4 ^ 0x80}), Bytes{NACK});
    EXPECT_EQ(flashAt(kBase, 4), Bytes(4, 0xFF));

    // Bootloader is back at its command prompt after a NACK.
    const Bytes data{1, 2, 3, 4};
    EXPECT_EQ(writeChunk(kBase, data), Bytes{ACK});
    EXPECT_EQ(flashAt(kBase, 4), data);
}

TEST_F(Bootloader, WritingOverProgrammedFlashIsRefused) {
    sync();
    // The factory application occupies the first pages.
    const auto before = flashAt(kBase, 4);
    EXPECT_EQ(writeChunk(kBase, Bytes{1, 2, 3, 4}), Bytes{NACK});
    EXPECT_EQ(flashAt(kBase, 4), before);
}

TEST_F(Bootloader, PageEraseAndReadMemory) {
    sync();
    const std::uint32_t page1 = kBase + 1024;
    ASSERT_NE(flashAt(page1, 4), Bytes(4, 0xFF));
    ASSERT_EQ(sendBytewise({0x43, 0xBC}), Bytes{ACK});
    EXPECT_EQ(send({0x00, 0x01, 0x00 ^ 0x01}), Bytes{ACK}); // one page: page 1
    EXPECT_EQ(flashAt(page1, 1024), Bytes(1024, 0xFF));
    EXPECT_NE(flashAt(kBase, 4), Bytes(4, 0xFF)); // page 0 untouched

    ASSERT_EQ(sendBytewise({0x43, 0xBC}), Bytes{ACK});
    EXPECT_EQ(send({0x00, 0x02, 0x00}), Bytes{NACK}); // bad checksum

    ASSERT_EQ(send({0x11, 0xEE}), Bytes{ACK});
    ASSERT_EQ(send(address(kBase + 1020)), Bytes{ACK});
    Bytes expected{ACK};
    const auto tail = flashAt(kBase + 1020, 8);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(send({0x07, 0xF8}), expected);

    ASSERT_EQ(send({0x11, 0xEE}), Bytes{ACK});
    EXPECT_EQ(send(address(0x20000000)), Bytes{NACK}); // outside the flash
}

TEST_F(Bootloader, InjectedNackHitsTheNthReply) {
    command(pedal, "fault nack 2");
    sync();                                     // reply 1
    EXPECT_EQ(send({0x00, 0xFF}), Bytes{NACK}); // reply 2
    EXPECT_EQ(send({0x02, 0xFD}), (Bytes{ACK, 0x01, 0x04, 0x10, ACK}));
}

TEST_F(Bootloader, NackedSyncIsHeardAndARetrySyncs) {
    command(pedal, "fault nack 1");
    EXPECT_EQ(send({0x7F}), Bytes{NACK});
    EXPECT_EQ(send({0x7F}), Bytes{ACK});
    EXPECT_EQ(send({0x01, 0xFE}), (Bytes{ACK, 0x22, 0x00, 0x00, ACK}));
}

TEST_F(Bootloader, InjectedNackStopsTheWriteItWouldConfirm) {
    sync();
    globalErase();
    ASSERT_EQ(sendBytewise({0x31, 0xCE}), Bytes{ACK});
    ASSERT_EQ(send(address(kBase)), Bytes{ACK});
    command(pedal, "fault nack 1");
    send({0x01, 0xAA, 0xBB});
    EXPECT_EQ(send({0x01 ^ 0xAA ^ 0xBB}), Bytes{NACK});
    EXPECT_EQ(flashAt(kBase, 2), Bytes(2, 0xFF));
}

// A weak cell: the write is acknowledged, but one 0 bit of the byte reads 1,
// once; only reading back finds it.
TEST_F(Bootloader, ACorruptedCellIsAcknowledgedAndReadsBackWrong) {
    sync();
    globalErase();
    command(pedal, "fault corrupt 0x08000102");
    EXPECT_EQ(writeChunk(kBase, Bytes(4, 0x00)), Bytes{ACK});
    EXPECT_EQ(writeChunk(kBase + 0x100, Bytes{0x12, 0x34, 0x56, 0x78}), Bytes{ACK});
    EXPECT_EQ(writeChunk(kBase + 0x200, Bytes{0x12, 0x34, 0x56, 0x78}), Bytes{ACK});
    EXPECT_EQ(flashAt(kBase, 4), Bytes(4, 0x00));
    EXPECT_EQ(flashAt(kBase + 0x100, 4), (Bytes{0x12, 0x34, 0x57, 0x78}));
    EXPECT_EQ(flashAt(kBase + 0x200, 4), (Bytes{0x12, 0x34, 0x56, 0x78}));
}

TEST_F(Bootloader, GoWithoutVersionRecordReportsErasedVersion) {
    sync();
    globalErase();
    EXPECT_EQ(sendBytewise({0x21, 0xDE}), Bytes{ACK});
    EXPECT_EQ(send(address(kBase)), Bytes{ACK});
    connect(pedal);
    write(pedal, {0x06, 0x00});
    EXPECT_EQ(textOf(readOnce(pedal)), "255\r\n255\r\n255\r\n255\r\n");
}

// With wire timing, on a clock the test moves: the host's bytes take their
// line time to reach the ROM (95.5 us a byte at 115200 8E1), the ROM answers
// once the flash work it confirms is done, and the answer takes its line time
// back, its last bytes waiting for the bridge's latency timer (2 ms here).
class TimedBootloader : public ::testing::Test {
protected:
    static constexpr double kByteUs = 11 * 1e6 / 115200;
    static constexpr std::uint64_t kLatencyUs = 2000;

    std::uint64_t now = 1'000'000;
    VirtualPedal pedal{[this] { return now; }};

    void SetUp() override {
        command(pedal, "bootloader");
        connect(pedal, 2);
        command(pedal, "latency 2");
        command(pedal, "timing on");
    }
    // Writes bytes, then lets time pass 10 us at a time until count bytes
    // have come back; the microseconds that took.
    std::uint64_t answerTime(const Bytes& bytes, std::size_t count, Bytes* answer = nullptr) {
        const std::uint64_t start = now;
        write(pedal, bytes);
        Bytes got;
        while (got.size() < count && now - start < 1'000'000) {
            now += 10;
            const Bytes more = readOnce(pedal);
            got.insert(got.end(), more.begin(), more.end());
        }
        if (answer) {
            *answer = got;
        }
        return now - start;
    }
    void expectAck(const Bytes& bytes) {
        Bytes answer;
        answerTime(bytes, 1, &answer);
        ASSERT_EQ(answer, Bytes{ACK});
    }
};

struct TimingCase {
    const char* name;
    std::vector<Bytes> before; // each answered by one ACK
    Bytes sent;
    std::size_t answerBytes;
    double flashWorkUs;
};

void PrintTo(const TimingCase& c, std::ostream* os) {
    *os << c.name;
}

class ROMTiming : public TimedBootloader, public ::testing::WithParamInterface<TimingCase> {};

TEST_P(ROMTiming, AnswersAfterTheLineAndTheFlashTime) {
    const TimingCase& c = GetParam();
    for (const Bytes& bytes : c.before) {
        ASSERT_NO_FATAL_FAILURE(expectAck(bytes));
    }
    Bytes answer;
    const double took = static_cast<double>(answerTime(c.sent, c.answerBytes, &answer));
    ASSERT_EQ(answer.size(), c.answerBytes);
    EXPECT_EQ(answer.front(), ACK);
    const double least =
        static_cast<double>(c.sent.size() + c.answerBytes) * kByteUs + c.flashWorkUs;
    EXPECT_GE(took, least);
    EXPECT_LE(took, least + kLatencyUs + 20);
}

Bytes chunk256() {
    Bytes payload{0xFF};
    std::uint8_t sum = 0xFF;
    for (int i = 0; i < 256; ++i) {
        payload.push_back(static_cast<std::uint8_t>(i));
        sum ^= static_cast<std::uint8_t>(i);
    }
    payload.push_back(sum);
    return payload;
}

const Bytes kSync{0x7F};
const Bytes kAddress{0x08, 0x00, 0x80, 0x00, 0x88};

INSTANTIATE_TEST_SUITE_P(
    Commands, ROMTiming,
    ::testing::Values(
        TimingCase{"Sync", {}, kSync, 1, 0}, TimingCase{"GetId", {kSync}, {0x02, 0xFD}, 5, 0},
        TimingCase{"GlobalErase", {kSync, {0x43, 0xBC}}, {0xFF, 0x00}, 1, 40'000},
        TimingCase{"TwoPageErase",
                   {kSync, {0x43, 0xBC}},
                   {0x01, 0x30, 0x31, 0x01 ^ 0x30 ^ 0x31},
                   1,
                   80'000},
        // 128 half-words at 52.5 us, into the erased page 32.
        TimingCase{"Write256Bytes", {kSync, {0x31, 0xCE}, kAddress}, chunk256(), 1, 6'720},
        TimingCase{"Read256Bytes", {kSync, {0x11, 0xEE}, kAddress}, {0xFF, 0x00}, 257, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// While the flash is busy the ROM reads nothing: the UART keeps the first
// byte that comes and loses the rest.
TEST_F(TimedBootloader, BytesSentDuringAnEraseOverrunAfterTheFirst) {
    ASSERT_NO_FATAL_FAILURE(expectAck(kSync));
    ASSERT_NO_FATAL_FAILURE(expectAck({0x43, 0xBC}));
    write(pedal, {0xFF, 0x00});
    write(pedal, {0x02, 0xFD, 0x02, 0xFD});
    now += 60'000;
    EXPECT_EQ(readOnce(pedal), Bytes{ACK}) << "the erase alone is answered";
    Bytes answer;
    answerTime({0xFD}, 5, &answer);
    EXPECT_EQ(answer, (Bytes{ACK, 0x01, 0x04, 0x10, ACK})) << "the kept 0x02 and this complement";
}

TEST_F(TimedBootloader, TimingOffDeliversWhatIsStillOnItsWay) {
    ASSERT_NO_FATAL_FAILURE(expectAck(kSync));
    write(pedal, {0x02, 0xFD});
    command(pedal, "timing off");
    EXPECT_EQ(readOnce(pedal), (Bytes{ACK, 0x01, 0x04, 0x10, ACK}));
}

} // namespace
} // namespace kestra::sim::test
