// Whole messages in, the same messages out: a stream of what the pedal sends
// (real-time frames, status texts, EEPROM dumps, "Upload complete", replies
// with knob turns inside them, the stored-effect reply with text after it) is
// joined across message boundaries and cut into reads of every length, with
// pauses too short to end anything. Every message sent must come out once,
// unchanged, as the framer reads the joined stream.
//
// The oracle is the list of messages this target sends. The virtual pedal's
// own messages come from its state and commands: it cannot send a knob turn
// at a chosen byte of a reply, text after the stored-effect reply, or two
// status texts within one latency period in either order, which are the
// cases that matter here.
#include "fuzz/FramerChecks.h"

namespace kestra::fuzz {
namespace {

using Kind = FramedMessage::Kind;

// The catalogue's effect numbers, as compiled in.
constexpr int KnownEffects = 60;

FramedMessage message(Kind kind, const QByteArray& bytes, int number = 0) {
    FramedMessage m;
    m.kind = kind;
    m.bytes = bytes;
    m.number = number;
    return m;
}

FramedMessage realtimeFrom(FuzzedDataProvider& in) {
    const RealtimeFrame frame{in.ConsumeIntegralInRange(0, 11), in.ConsumeIntegralInRange(0, 15),
                              in.ConsumeIntegralInRange(0, 1024)};
    QByteArray bytes(1, static_cast<char>(RealtimeFrameType));
    for (int byte : {frame.source, frame.parameter, frame.value >> 8, frame.value & 0xFF})
        bytes.append(static_cast<char>(byte));
    FramedMessage m = message(Kind::Realtime, bytes);
    m.frame = frame;
    return m;
}

// ASCII text without CR, 0xAA or 0xAB: what the pedal's replies are made of.
QByteArray textFrom(FuzzedDataProvider& in, std::size_t most) {
    QByteArray text;
    for (char c : in.ConsumeBytes<char>(in.ConsumeIntegralInRange<std::size_t>(0, most))) {
        const auto ascii = static_cast<char>(c & 0x7F);
        text.append(ascii == '\r' ? '.' : ascii);
    }
    return text;
}

// The stream as the pedal sent it, cut into parts that begin where the host
// starts to wait for a reply or after a pause; within a part, messages join.
struct Part {
    std::optional<ReplyShape> reply; // expected before the part's first byte
    int pauseBeforeMs = 0;
    QByteArray bytes;
};

class Stream {
public:
    explicit Stream(FuzzedDataProvider& in) : in_(in) { parts_.emplace_back(); }

    const std::vector<Part>& parts() const { return parts_; }
    const std::vector<FramedMessage>& sent() const { return sent_; }

    void add() {
        switch (in_.ConsumeIntegralInRange(0, 6)) {
        case 0:
            endRun();
            send(realtimeFrom(in_));
            break;
        case 1: {
            // "0" and the bank: ends by itself, so it never ends a run.
            const int bank = in_.ConsumeIntegralInRange(0, 2);
            send(message(Kind::BankStatus, "0" + QByteArray::number(bank), bank));
            break;
        }
        case 2: {
            // One effect change at a time: two in one latency period cannot
            // always be told apart, so a second waits for a pause.
            if (effectInRun_)
                pause(in_.ConsumeIntegralInRange(MessageFramer::StatusQuietMs, 300));
            const int number = in_.ConsumeIntegralInRange(1, KnownEffects);
            const int digits = in_.ConsumeIntegralInRange(1, 6);
            QByteArray text = QByteArray::number(number, 16).rightJustified(digits, '0');
            if (in_.ConsumeBool())
                text = text.toUpper();
            send(message(Kind::EffectStatus, "1" + text, number));
            effectInRun_ = true;
            break;
        }
        case 3:
            if (dumps_ < 2) {
                ++dumps_;
                endRun();
                const auto step = in_.ConsumeIntegral<std::uint8_t>();
                QByteArray dump(1, static_cast<char>(EepromDumpType));
                for (int i = 0; i < EepromSize; ++i)
                    dump.append(static_cast<char>(i * step + (i >> 8)));
                send(message(Kind::EepromDump, dump));
                break;
            }
            [[fallthrough]];
        case 4:
            endRun();
            send(message(Kind::UploadComplete, UploadCompleteText));
            break;
        default:
            reply(in_.ConsumeBool());
            break;
        }
    }

private:
    void send(const FramedMessage& m) {
        parts_.back().bytes += m.bytes;
        sent_.push_back(m);
    }

    void endRun() { effectInRun_ = false; }

    void pause(int ms) {
        parts_.push_back(Part{std::nullopt, ms, {}});
        endRun();
    }

    // Lines of ASCII, each ended by CR LF, with knob turns anywhere before
    // its last byte; the stored-effect reply has four lines, and the text
    // and knob turns after it last until the line falls quiet.
    void reply(bool storedEffect) {
        const int lines = storedEffect ? 4 : in_.ConsumeIntegralInRange(1, 8);
        QByteArray text;
        for (int i = 0; i < lines; ++i)
            text += textFrom(in_, 6) + "\r\n";
        const auto first = static_cast<std::uint8_t>(text[0]);
        if (first == 'U')
            text[0] = '\n';
        parts_.push_back(Part{storedEffect ? ReplyShape::textLinesRestIgnored(lines)
                                           : ReplyShape::textLines(lines),
                              0,
                              {}});
        endRun();
        const QByteArray body = withFrames(text, false);
        sent_.push_back(message(Kind::Reply, text));
        parts_.back().bytes += body;
        if (!storedEffect)
            return;
        const QByteArray rest = textFrom(in_, 12);
        parts_.back().bytes += withFrames(rest, true);
        if (!rest.isEmpty())
            sent_.push_back(message(Kind::Dropped, rest));
        pause(in_.ConsumeIntegralInRange(MessageFramer::ReplyQuietMs, 300));
    }

    // Text with knob turns put in; each is sent, and comes out, before the
    // reply around it. In the reply's last byte's place none goes: the reply
    // would be complete before it.
    QByteArray withFrames(const QByteArray& text, bool anywhere) {
        QByteArray bytes;
        const qsizetype last = anywhere ? text.size() : text.size() - 1;
        for (qsizetype i = 0; i <= text.size(); ++i) {
            while (i <= last && in_.remaining_bytes() > 0 &&
                   in_.ConsumeIntegralInRange(0, 7) == 0) {
                const FramedMessage frame = realtimeFrom(in_);
                bytes += frame.bytes;
                sent_.push_back(frame);
            }
            if (i < text.size())
                bytes.append(text[i]);
        }
        return bytes;
    }

    FuzzedDataProvider& in_;
    std::vector<Part> parts_;
    std::vector<FramedMessage> sent_;
    bool effectInRun_ = false;
    int dumps_ = 0;
};

void checkSame(const FramedMessage& got, const FramedMessage& want) {
    const auto detail = [&] { return "got " + shown(got.bytes) + ", want " + shown(want.bytes); };
    FUZZ_CHECK_MSG(got.kind == want.kind && got.bytes == want.bytes, detail());
    FUZZ_CHECK_MSG(got.number == want.number && got.complete, detail());
    FUZZ_CHECK_MSG(got.frame.source == want.frame.source &&
                       got.frame.parameter == want.frame.parameter &&
                       got.frame.value == want.frame.value,
                   detail());
}

} // namespace
} // namespace kestra::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestra;
    using namespace kestra::fuzz;
    FuzzedDataProvider in(data, size);
    Stream stream(in);
    const int count = in.ConsumeIntegralInRange(1, 24);
    for (int i = 0; i < count && in.remaining_bytes() > 0; ++i)
        stream.add();

    FramerHarness framer;
    framer.setKnownEffects([](int number) { return number >= 1 && number <= KnownEffects; });
    std::vector<FramedMessage> got;
    const auto collect = [&] {
        got.insert(got.end(), framer.output().begin(), framer.output().end());
    };
    for (const Part& part : stream.parts()) {
        if (part.pauseBeforeMs > 0) {
            framer.silence(part.pauseBeforeMs);
            collect();
        }
        if (part.reply)
            framer.expectReply(*part.reply);
        // Reads of any length, with pauses below every time limit between them.
        for (qsizetype at = 0; at < part.bytes.size();) {
            const qsizetype length = in.remaining_bytes() > 0
                                         ? in.ConsumeIntegralInRange<qsizetype>(1, 64)
                                         : part.bytes.size() - at;
            const int pause = in.ConsumeIntegralInRange(0, MessageFramer::StatusQuietMs - 1);
            if (in.ConsumeBool()) {
                const int before = in.ConsumeIntegralInRange(0, pause);
                framer.silence(before);
                collect();
                framer.feed(part.bytes.mid(at, length), pause - before);
            } else {
                framer.feed(part.bytes.mid(at, length), pause);
            }
            collect();
            at += length;
        }
    }
    framer.settle();
    collect();

    const std::vector<FramedMessage>& sent = stream.sent();
    const auto parts = [&stream] {
        std::string text;
        for (const Part& part : stream.parts())
            text += "\n  " + std::to_string(part.pauseBeforeMs) + " ms, " +
                    (part.reply ? std::to_string(part.reply->count) + " lines: " : "") +
                    shown(part.bytes);
        return text;
    };
    const auto all = [](const std::vector<FramedMessage>& messages) {
        std::string text;
        for (const FramedMessage& m : messages)
            text += "\n  " + shown(m.bytes);
        return text;
    };
    FUZZ_CHECK_MSG(got.size() == sent.size(),
                   std::to_string(got.size()) + " messages out of " + std::to_string(sent.size()) +
                       "; got:" + all(got) + "\nsent:" + all(sent) + "\nas parts:" + parts());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (sent[i].kind == FramedMessage::Kind::Dropped)
            FUZZ_CHECK_MSG(got[i].kind == sent[i].kind && got[i].bytes == sent[i].bytes,
                           "text after the stored-effect reply: got " + shown(got[i].bytes));
        else
            checkSame(got[i], sent[i]);
    }
    return 0;
}
