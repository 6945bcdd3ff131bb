#include "protocol/MessageFramer.h"

#include <QCryptographicHash>
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kestra {
namespace {

using Kind = FramedMessage::Kind;
using Line = MessageFramer::Line;
using Messages = std::vector<FramedMessage>;

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

QByteArray eepromDump(int seed) {
    QByteArray dump(EepromDumpSize, '\0');
    dump[0] = static_cast<char>(EepromDumpType);
    // Every byte value, message starts included, appears inside.
    for (int i = 1; i < EepromDumpSize; ++i)
        dump[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return dump;
}

std::string escaped(const QByteArray& bytes) {
    std::string text;
    for (char c : bytes) {
        if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c >= 0x20 && c < 0x7F)
            text += c;
        else
            text += "\\x" + QByteArray(1, c).toHex().toStdString();
    }
    return text;
}

// What a table expects of a message; notes are left to the tests about them.
std::string brief(const FramedMessage& m) {
    switch (m.kind) {
    case Kind::BankStatus:
        return "bank " + std::to_string(m.number);
    case Kind::EffectStatus:
        return "effect 0x" + QByteArray::number(m.number, 16).toStdString();
    case Kind::UploadComplete:
        return "upload complete";
    case Kind::Realtime:
        return "realtime " + std::to_string(m.frame.source) + "/" +
               std::to_string(m.frame.parameter) + "/" + std::to_string(m.frame.value);
    case Kind::EepromDump:
        return "dump of " + std::to_string(m.bytes.size());
    case Kind::Reply:
        return "reply " + escaped(m.bytes) + (m.complete ? "" : " (incomplete)");
    case Kind::Dropped:
        return "dropped " + escaped(m.bytes);
    }
    return "?";
}

std::vector<std::string> briefs(const Messages& messages) {
    std::vector<std::string> out;
    for (const FramedMessage& m : messages)
        out.push_back(brief(m));
    return out;
}

// Everything a message carries, long byte runs as a digest.
std::vector<std::string> everything(const Messages& messages) {
    std::vector<std::string> out;
    for (const FramedMessage& m : messages) {
        const QByteArray bytes = m.bytes.size() <= 64
                                     ? m.bytes
                                     : QCryptographicHash::hash(m.bytes, QCryptographicHash::Sha1);
        out.push_back(brief(m) + " [" + bytes.toHex().toStdString() + "] " + m.note.toStdString());
    }
    return out;
}

// Effect numbers 1 to 60 known, as the compiled catalogue has them.
bool knownEffect(int number) {
    return number >= 1 && number <= 60;
}

// Whether the messages hold every byte of input once, each in order: a
// message takes the bytes at the front of what is left, or, for a frame or
// dump taken out of a reply, the bytes at the first 0xAA or 0xAB.
bool holdEveryByteOnce(const Messages& messages, QByteArray input) {
    for (const FramedMessage& m : messages) {
        qsizetype at = 0;
        if (!input.startsWith(m.bytes)) {
            const auto first = static_cast<std::uint8_t>(m.bytes.front());
            if (first != RealtimeFrameType && first != EepromDumpType)
                return false;
            const qsizetype frame = input.indexOf(char(RealtimeFrameType));
            const qsizetype dump = input.indexOf(char(EepromDumpType));
            at = frame < 0 ? dump : dump < 0 ? frame : std::min(frame, dump);
            if (at < 0 || input.mid(at, m.bytes.size()) != m.bytes)
                return false;
        }
        input.remove(at, m.bytes.size());
    }
    return input.isEmpty();
}

void append(Messages& to, Messages from) {
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

struct Sequence {
    const char* name;
    Line line;
    std::optional<ReplyShape> reply;
    QByteArray input;
    std::vector<std::string> expected;
};

void PrintTo(const Sequence& s, std::ostream* os) {
    *os << s.name;
}

// Feeds the input cut at the given positions, all reads at once, then a
// silence long enough to settle whatever is left.
Messages run(const Sequence& s, const std::vector<qsizetype>& cuts) {
    MessageFramer framer;
    framer.setKnownEffects(knownEffect);
    framer.setLine(s.line);
    if (s.reply)
        framer.expectReply(*s.reply);
    Messages all;
    qsizetype from = 0;
    for (qsizetype cut : cuts) {
        append(all, framer.feed(QByteArrayView(s.input).sliced(from, cut - from), 0));
        from = cut;
    }
    append(all, framer.feed(QByteArrayView(s.input).sliced(from), 0));
    append(all, framer.silence(1000));
    EXPECT_FALSE(framer.holdsFragment());
    return all;
}

// Every cut of a short input; around each message boundary of a long one.
std::vector<qsizetype> cutPositions(qsizetype size, const Messages& whole) {
    std::set<qsizetype> positions;
    if (size <= 80) {
        for (qsizetype p = 1; p < size; ++p)
            positions.insert(p);
    } else {
        qsizetype boundary = 0;
        for (const FramedMessage& m : whole) {
            for (qsizetype p = boundary - 3; p <= boundary + 3; ++p)
                positions.insert(std::clamp<qsizetype>(p, 1, size - 1));
            boundary += m.bytes.size();
        }
        for (qsizetype p = size - 3; p < size; ++p)
            positions.insert(p);
    }
    return {positions.begin(), positions.end()};
}

class Sequences : public ::testing::TestWithParam<Sequence> {};

TEST_P(Sequences, YieldTheSameMessagesHoweverTheReadsFall) {
    const Sequence& s = GetParam();
    const Messages whole = run(s, {});
    ASSERT_EQ(briefs(whole), s.expected);
    EXPECT_TRUE(holdEveryByteOnce(whole, s.input));

    const std::vector<std::string> reference = everything(whole);
    std::vector<qsizetype> everyByte;
    for (qsizetype p = 1; p < s.input.size(); ++p)
        everyByte.push_back(p);
    ASSERT_EQ(everything(run(s, everyByte)), reference) << "byte by byte";
    const std::vector<qsizetype> cuts = cutPositions(s.input.size(), whole);
    for (std::size_t a = 0; a < cuts.size(); ++a) {
        ASSERT_EQ(everything(run(s, {cuts[a]})), reference) << "cut at " << cuts[a];
        for (std::size_t b = a + 1; b < cuts.size(); ++b)
            ASSERT_EQ(everything(run(s, {cuts[a], cuts[b]})), reference)
                << "cut at " << cuts[a] << " and " << cuts[b];
    }
}

std::vector<Sequence> sequences() {
    const auto app = Line::Application;
    const auto boot = Line::Bootloader;
    const std::nullopt_t none = std::nullopt;
    const QByteArray dumps = eepromDump(1) + eepromDump(2) + hex("AA01020003");
    return {
        {"StatusTextsInOneRead", app, none, "0111A", {"bank 1", "effect 0x1a"}},
        // A text alone is its whole number, low 16 bits, padding included.
        {"SixDigitsAreTheLow16Bits", app, none, "1ABCDEF", {"effect 0xcdef"}},
        {"ZeroPaddedEffectStatus", app, none, "10001A", {"effect 0x1a"}},
        {"PaddedEffectStatusThenBankStatus", app, none, "10001A02", {"effect 0x1a", "bank 2"}},
        // Joined within one latency period: effect then bank, bank then effect.
        {"EffectStatusThenBankStatus", app, none, "11A01", {"effect 0x1a", "bank 1"}},
        {"EffectStatusEndingInZeroThenBankStatus", app, none, "11000", {"effect 0x10", "bank 0"}},
        {"EffectStatusThenBankStatuses", app, none, "1100101", {"effect 0x10", "bank 1", "bank 1"}},
        {"BankEffectBankEffect",
         app,
         none,
         "0213C0011",
         {"bank 2", "effect 0x3c", "bank 0", "effect 0x1"}},
        // No reading fits: an unknown number, a bank beyond III.
        {"UnknownEffectThenBankIsOneNumber", app, none, "1FF01", {"effect 0xff01"}},
        {"BankBeyondThreeIsNoReading", app, none, "11A05", {"effect 0x1a05"}},
        {"RunEndsAtTheFirstByteThatIsNoHexDigit",
         app,
         none,
         "11A01" + hex("AA01020003") + "13C",
         {"effect 0x1a", "bank 1", "realtime 1/2/3", "effect 0x3c"}},
        {"EffectStatusEndsAtANonDigit",
         app,
         none,
         "11aUpload complete1C",
         {"effect 0x1a", "upload complete", "effect 0xc"}},
        {"BankStatusTakesOneDigit", app, none, "03019", {"bank 3", "bank 1", "dropped 9"}},
        {"RealtimeFrames",
         app,
         none,
         hex("AA00010155 AA0B0F0400 AA05000000"),
         {"realtime 0/1/341", "realtime 11/15/1024", "realtime 5/0/0"}},
        {"EepromDumpsByLength",
         app,
         none,
         dumps,
         {"dump of 16385", "dump of 16385", "realtime 1/2/3"}},
        {"FragmentWhoseValueRunsIntoABankStatus",
         app,
         none,
         hex("AA0205") + "01",
         {"dropped \\xaa", "dropped \\x02\\x05", "bank 1"}},
        {"CutFrameBeforeAWholeOne",
         app,
         none,
         hex("AA02 AA02050006"),
         {"dropped \\xaa", "dropped \\x02", "realtime 2/5/6"}},
        {"FrameBehindAMalformedSource",
         app,
         none,
         hex("AA AA01020010"),
         {"dropped \\xaa", "realtime 1/2/16"}},
        {"SourceOutOfRange",
         app,
         none,
         hex("AA0C000000") + "02",
         {"dropped \\xaa", "dropped \\x0c\\x00\\x00\\x00", "bank 2"}},
        {"ParameterOutOfRange",
         app,
         none,
         hex("AA00100000") + "02",
         {"dropped \\xaa", "dropped \\x00\\x10\\x00\\x00", "bank 2"}},
        {"ValueHighByteOutOfRange",
         app,
         none,
         hex("AA00000500") + "02",
         {"dropped \\xaa", "dropped \\x00\\x00\\x05\\x00", "bank 2"}},
        {"ValueOutOfRange",
         app,
         none,
         hex("AA00000401") + "02",
         {"dropped \\xaa", "dropped \\x00\\x00\\x04\\x01", "bank 2"}},
        {"StrayBytesFormOneDrop",
         app,
         none,
         "xyz02\r\n",
         {"dropped xyz", "bank 2", "dropped \\r\\n"}},
        {"BankStatusWithoutItsDigit", app, none, "0x02", {"dropped 0", "dropped x", "bank 2"}},
        {"EffectStatusWithoutDigits", app, none, "1G02", {"dropped 1", "dropped G", "bank 2"}},
        {"UploadCompleteRestartsAtTheMismatch",
         app,
         none,
         "UpUpload completE",
         {"dropped Up", "dropped Upload complet", "dropped E"}},
        {"ReplyWithLeadingLineFeed",
         app,
         ReplyShape::textLines(4),
         "\n1\r\n2\r\n3\r\n4\r\n02",
         {"reply \\n1\\r\\n2\\r\\n3\\r\\n4\\r\\n", "bank 2"}},
        {"MessagesBeforeTheReplyStarts",
         app,
         ReplyShape::textLines(1),
         hex("AA01020003") + "Upload complete42\r\n01",
         {"realtime 1/2/3", "upload complete", "reply 42\\r\\n", "bank 1"}},
        {"ReplyDigitsAreNoStatusTexts",
         app,
         ReplyShape::textLines(2),
         "0\r\n1A\r\n",
         {"reply 0\\r\\n1A\\r\\n"}},
        {"StartedReplyTakesEveryText",
         app,
         ReplyShape::textLines(2),
         "7\r\nUpload complete01\r\n",
         {"reply 7\\r\\nUpload complete01\\r\\n"}},
        // A knob turned during a Request reply: the frame is its own message
        // wherever it falls, even where its bytes read as CR, LF or digits.
        {"RealtimeFrameBetweenReplyLines",
         app,
         ReplyShape::textLines(2),
         "512\r\n" + hex("AA00020202") + "514\r\n",
         {"realtime 0/2/514", "reply 512\\r\\n514\\r\\n"}},
        {"RealtimeFrameInsideANumber",
         app,
         ReplyShape::textLines(2),
         "5" + hex("AA0A0D0031") + "12\r\n0\r\n",
         {"realtime 10/13/49", "reply 512\\r\\n0\\r\\n"}},
        {"RealtimeFrameBetweenCrAndLf",
         app,
         ReplyShape::textLines(1),
         "1\r" + hex("AA0A0D000A") + "\n",
         {"realtime 10/13/10", "reply 1\\r\\n"}},
        {"FramesAndADumpInsideAReply",
         app,
         ReplyShape::textLines(2),
         "1" + hex("AA00000100") + "\r\n" + eepromDump(3) + "2\r" + hex("AA0B0F0400") + "\n",
         {"realtime 0/0/256", "dump of 16385", "realtime 11/15/1024", "reply 1\\r\\n2\\r\\n"}},
        {"MalformedFrameInsideAReply",
         app,
         ReplyShape::textLines(1),
         "4" + hex("AA0C") + "2\r\n",
         {"dropped \\xaa", "reply 4\\x0c2\\r\\n"}},
        // Text after the stored-effect reply's fourth line is ignored; a frame
        // in it is still a frame.
        {"TextAfterTheStoredEffectReplyIgnored",
         app,
         ReplyShape::textLinesRestIgnored(4),
         "0\r\n12\r\n2\r\n3\r\n12\r\n",
         {"reply 0\\r\\n12\\r\\n2\\r\\n3\\r\\n", "dropped 12\\r\\n"}},
        {"BankTextAfterTheStoredEffectReplyIgnored",
         app,
         ReplyShape::textLinesRestIgnored(4),
         "0\r\n12\r\n2\r\n3\r\n01\r\n" + hex("AA01020003") + "x",
         {"reply 0\\r\\n12\\r\\n2\\r\\n3\\r\\n", "realtime 1/2/3", "dropped 01\\r\\nx"}},
        {"FrameRightAfterTheStoredEffectReply",
         app,
         ReplyShape::textLinesRestIgnored(4),
         "0\r\n12\r\n2\r\n3\r\n" + hex("AA01020003"),
         {"reply 0\\r\\n12\\r\\n2\\r\\n3\\r\\n", "realtime 1/2/3"}},
        {"BootloaderAck", boot, ReplyShape::bootloaderAck(), hex("7979"), {"reply y", "dropped y"}},
        {"BootloaderAckThenData",
         boot,
         ReplyShape::bootloaderAckThen(2),
         hex("79123456"),
         {"reply y\\x124", "dropped V"}},
        {"BootloaderNackWithoutData",
         boot,
         ReplyShape::bootloaderAckThen(2),
         hex("1F12"),
         {"reply \\x1f", "dropped \\x12"}},
        {"BootloaderCounted",
         boot,
         ReplyShape::bootloaderCounted(),
         hex("7902AABBCC7900"),
         {"reply y\\x02\\xaa\\xbb\\xccy", "dropped \\x00"}},
        {"BootloaderCountedNack",
         boot,
         ReplyShape::bootloaderCounted(),
         hex("1F"),
         {"reply \\x1f"}},
        {"BootloaderUnasked", boot, none, hex("791F") + "01", {"dropped y\\x1f01"}},
    };
}

INSTANTIATE_TEST_SUITE_P(Framer, Sequences, ::testing::ValuesIn(sequences()),
                         [](const auto& info) { return std::string(info.param.name); });

// Reads at given times: bytes, or nothing (a silence).
struct Step {
    qint64 ms;
    std::optional<QByteArray> bytes;
    std::vector<std::string> expected;
};

struct Timeline {
    const char* name;
    Line line;
    std::optional<ReplyShape> reply;
    std::vector<Step> steps;
};

void PrintTo(const Timeline& t, std::ostream* os) {
    *os << t.name;
}

std::vector<std::string> withNotes(const Messages& messages) {
    std::vector<std::string> out;
    for (const FramedMessage& m : messages)
        out.push_back(brief(m) + (m.note.isEmpty() ? "" : " - " + m.note.toStdString()));
    return out;
}

class Timelines : public ::testing::TestWithParam<Timeline> {};

TEST_P(Timelines, SilenceCompletesOrDropsWhatIsHeld) {
    const Timeline& t = GetParam();
    MessageFramer framer;
    framer.setLine(t.line);
    if (t.reply)
        framer.expectReply(*t.reply);
    for (const Step& step : t.steps) {
        const Messages got =
            step.bytes ? framer.feed(*step.bytes, step.ms) : framer.silence(step.ms);
        EXPECT_EQ(withNotes(got), step.expected)
            << (step.bytes ? "read" : "silence") << " at " << step.ms << " ms";
    }
}

std::vector<Timeline> timelines() {
    const auto app = Line::Application;
    const std::nullopt_t silent = std::nullopt;
    return {
        {"FragmentDroppedAfterTheLimit",
         app,
         std::nullopt,
         {{0, hex("AA0205"), {}},
          {99, silent, {}},
          {100,
           silent,
           {"dropped \\xaa\\x02\\x05 - incomplete real-time frame dropped after 100 ms: 3 "
            "bytes"}}}},
        {"SilenceCountsFromTheLastByte",
         app,
         std::nullopt,
         {{0, hex("AA"), {}},
          {90, hex("02"), {}},
          {150, silent, {}},
          {190,
           silent,
           {"dropped \\xaa\\x02 - incomplete real-time frame dropped after 100 ms: 2 bytes"}}}},
        {"LongGapBetweenReadsWithBytesDropsNothing",
         app,
         std::nullopt,
         {{0, hex("AA02"), {}}, {5000, hex("050006"), {"realtime 2/5/6"}}}},
        {"EffectStatusCompleteAfterItsQuietTime",
         app,
         std::nullopt,
         {{0, QByteArray("11A"), {}}, {29, silent, {}}, {30, silent, {"effect 0x1a"}}}},
        {"EffectStatusDigitsGoOnOverReads",
         app,
         std::nullopt,
         {{0, QByteArray("11"), {}},
          {20, silent, {}},
          {25, QByteArray("A"), {}},
          {54, silent, {}},
          {55, silent, {"effect 0x1a"}}}},
        {"BareEffectStatusWaitsForTheFragmentLimit",
         app,
         std::nullopt,
         {{0, QByteArray("1"), {}},
          {30, silent, {}},
          {100, silent, {"dropped 1 - incomplete effect status dropped after 100 ms: 1 byte"}}}},
        {"StrayBytesDroppedAfterTheLimit",
         app,
         std::nullopt,
         {{0, QByteArray("xy"), {}},
          {99, silent, {}},
          {100, silent, {"dropped xy - stray bytes: 2 bytes"}}}},
        {"UnfinishedReplyHandedOver",
         app,
         ReplyShape::textLines(4),
         {{0, QByteArray("1\r\n2\r\n"), {}},
          {99, silent, {}},
          {100, silent, {"reply 1\\r\\n2\\r\\n (incomplete)"}},
          {200, QByteArray("02"), {"bank 2"}}}},
        {"TextAfterAReplyIgnoredUntilTheLineFallsQuiet",
         app,
         ReplyShape::textLinesRestIgnored(1),
         {{0, QByteArray("3\r\n"), {"reply 3\\r\\n"}},
          {60, QByteArray("01"), {}},
          {159, silent, {}},
          {160, silent, {"dropped 01 - text after a reply ignored: 2 bytes"}},
          {170, QByteArray("01"), {"bank 1"}}}},
        {"NothingAfterAReplyWhoseRestIsIgnored",
         app,
         ReplyShape::textLinesRestIgnored(1),
         {{0, QByteArray("3\r\n"), {"reply 3\\r\\n"}},
          {100, silent, {}},
          {101, QByteArray("01"), {"bank 1"}}}},
        {"ReplyAwaitedHoweverLongItTakesToStart",
         app,
         ReplyShape::textLines(1),
         {{5000, silent, {}}, {5000, QByteArray("5\r\n"), {"reply 5\\r\\n"}}}},
        {"UnfinishedBootloaderReplyHandedOver",
         Line::Bootloader,
         ReplyShape::bootloaderCounted(),
         {{0, hex("790501"), {}},
          {99, silent, {}},
          {100, silent, {"reply y\\x05\\x01 (incomplete)"}},
          {100, hex("79"), {}},
          {200, silent, {"dropped y - stray bytes from the bootloader: 1 byte"}}}},
    };
}

INSTANTIATE_TEST_SUITE_P(Framer, Timelines, ::testing::ValuesIn(timelines()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Framer, WithoutTheCatalogueEveryNumberButZeroIsAnEffect) {
    MessageFramer framer;
    EXPECT_TRUE(framer.feed("11A01", 0).empty());
    EXPECT_EQ(briefs(framer.silence(30)), std::vector<std::string>{"effect 0x1a01"});
    framer.setKnownEffects(knownEffect);
    EXPECT_TRUE(framer.feed("11A01", 40).empty());
    EXPECT_EQ(briefs(framer.silence(70)), (std::vector<std::string>{"effect 0x1a", "bank 1"}));
}

TEST(Framer, DropNotesSayWhatWasDropped) {
    struct Case {
        QByteArray input;
        const char* note;
    };
    for (const Case& c : {Case{hex("AA0C"), "malformed real-time frame"}, Case{"0x", "bank status"},
                          Case{"1x", "effect status"}, Case{"Upx", "\"Upload complete\""},
                          Case{"xyz0", "stray bytes: 3 bytes"}}) {
        MessageFramer framer;
        const Messages got = framer.feed(c.input, 0);
        ASSERT_FALSE(got.empty()) << c.input.toStdString();
        EXPECT_EQ(got.front().kind, Kind::Dropped);
        EXPECT_TRUE(got.front().note.contains(QLatin1String(c.note)))
            << got.front().note.toStdString();
    }
}

TEST(Framer, CancelledReplyIsDroppedAndTheLineIsUnsolicitedAgain) {
    MessageFramer framer;
    framer.expectReply(ReplyShape::textLines(2));
    EXPECT_TRUE(framer.feed("1\r\n", 0).empty());
    EXPECT_EQ(briefs(framer.cancelReply()), std::vector<std::string>{"dropped 1\\r\\n"});
    EXPECT_FALSE(framer.awaitingReply());
    EXPECT_EQ(briefs(framer.feed("02", 1)), std::vector<std::string>{"bank 2"});

    framer.expectReply(ReplyShape::textLines(2));
    EXPECT_TRUE(framer.cancelReply().empty());
    EXPECT_EQ(briefs(framer.feed("03", 2)), std::vector<std::string>{"bank 3"});
}

TEST(Framer, NewExpectationDropsAReplyHalfReceived) {
    MessageFramer framer;
    framer.expectReply(ReplyShape::textLines(2));
    EXPECT_TRUE(framer.feed("1\r\n", 0).empty());
    framer.expectReply(ReplyShape::textLines(1));
    EXPECT_EQ(briefs(framer.feed("9\r\n", 1)),
              (std::vector<std::string>{"dropped 1\\r\\n", "reply 9\\r\\n"}));
}

TEST(Framer, StatusTextHeldWhenAReplyIsExpectedIsReadAsItStands) {
    MessageFramer framer;
    framer.setKnownEffects(knownEffect);
    EXPECT_TRUE(framer.feed("11A01", 0).empty());
    framer.expectReply(ReplyShape::textLines(1));
    EXPECT_EQ(briefs(framer.feed("12\r\n", 1)),
              (std::vector<std::string>{"effect 0x1a", "bank 1", "reply 12\\r\\n"}));
}

TEST(Framer, ClearForgetsHeldBytesButKeepsTheExpectation) {
    MessageFramer framer;
    framer.expectReply(ReplyShape::textLines(1));
    for (const QByteArray& held : {hex("AA02"), QByteArray("12")}) {
        EXPECT_TRUE(framer.feed(held, 0).empty());
        EXPECT_TRUE(framer.holdsFragment());
        framer.clear();
        EXPECT_FALSE(framer.holdsFragment());
        EXPECT_TRUE(framer.awaitingReply());
    }
    EXPECT_EQ(briefs(framer.feed("7\r\n", 1)), std::vector<std::string>{"reply 7\\r\\n"});
    EXPECT_TRUE(framer.silence(1000).empty());
}

TEST(Framer, SwitchingLinesForgetsHeldBytesAndTheExpectation) {
    MessageFramer framer;
    framer.expectReply(ReplyShape::textLines(1));
    EXPECT_TRUE(framer.feed(hex("AA02"), 0).empty());
    framer.setLine(Line::Bootloader);
    EXPECT_EQ(framer.line(), Line::Bootloader);
    EXPECT_FALSE(framer.holdsFragment());
    EXPECT_FALSE(framer.awaitingReply());
    EXPECT_TRUE(framer.feed(hex("79"), 1).empty());
    EXPECT_EQ(briefs(framer.silence(1000)), std::vector<std::string>{"dropped y"});
    framer.setLine(Line::Application);
    EXPECT_EQ(briefs(framer.feed("02", 1001)), std::vector<std::string>{"bank 2"});
}

} // namespace
} // namespace kestra
