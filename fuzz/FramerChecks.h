// What any message out of the framer must be, whatever came in, and a
// harness that drives one framer and checks its whole output: every byte fed
// ends up in exactly one message, in order (a frame or dump taken out of a
// reply comes before the reply around it), less the held bytes setLine() and
// clear() forget.
#pragma once

#include "fuzz/FuzzSupport.h"
#include "protocol/MessageFramer.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestra::fuzz {

inline constexpr std::uint8_t BootloaderAck = 0x79;

// Whether bytes are a whole reply of shape, read from the shape's own
// description (not from the framer): an empty reply is never whole.
inline bool replyWhole(const ReplyShape& shape, const QByteArray& bytes) {
    if (bytes.isEmpty())
        return false;
    const auto first = static_cast<std::uint8_t>(bytes[0]);
    switch (shape.kind) {
    case ReplyShape::Kind::TextLines:
        return bytes.count("\r\n") >= shape.count;
    case ReplyShape::Kind::BootloaderAck:
        return true;
    case ReplyShape::Kind::BootloaderAckThen:
        return first != BootloaderAck || bytes.size() >= 1 + shape.count;
    case ReplyShape::Kind::BootloaderCounted:
        return first != BootloaderAck ||
               (bytes.size() >= 2 && bytes.size() >= static_cast<std::uint8_t>(bytes[1]) + 4);
    }
    return false;
}

inline bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A message of its kind, as received on line; awaited is the reply shape
// expected when the bytes came in.
inline void checkMessage(const FramedMessage& m, MessageFramer::Line line,
                         const std::optional<ReplyShape>& awaited) {
    using Kind = FramedMessage::Kind;
    FUZZ_CHECK(!m.bytes.isEmpty());
    const auto at = [&](int i) { return static_cast<std::uint8_t>(m.bytes[i]); };
    const bool application = line == MessageFramer::Line::Application;
    switch (m.kind) {
    case Kind::Realtime:
        FUZZ_CHECK_MSG(application && m.bytes.size() == RealtimeFrameSize, shown(m.bytes));
        FUZZ_CHECK_MSG(at(0) == RealtimeFrameType, shown(m.bytes));
        FUZZ_CHECK_MSG(m.frame.source == at(1) && m.frame.source >= 0 && m.frame.source <= 11,
                       shown(m.bytes));
        FUZZ_CHECK_MSG(m.frame.parameter == at(2) && m.frame.parameter >= 0 &&
                           m.frame.parameter <= 15,
                       shown(m.bytes));
        FUZZ_CHECK_MSG(m.frame.value == (at(3) << 8 | at(4)) && m.frame.value >= 0 &&
                           m.frame.value <= 1024,
                       shown(m.bytes));
        break;
    case Kind::EepromDump:
        FUZZ_CHECK(application && m.bytes.size() == EepromDumpSize && at(0) == EepromDumpType);
        break;
    case Kind::BankStatus:
        FUZZ_CHECK_MSG(application && m.bytes.size() == 2 && m.bytes[0] == '0', shown(m.bytes));
        FUZZ_CHECK_MSG(m.number >= 0 && m.number <= 9 && m.bytes[1] == '0' + m.number,
                       shown(m.bytes));
        break;
    case Kind::EffectStatus: {
        FUZZ_CHECK_MSG(application && m.bytes.size() >= 2 &&
                           m.bytes.size() <= MessageFramer::StatusRunMax,
                       shown(m.bytes));
        FUZZ_CHECK_MSG(m.bytes[0] == '1', shown(m.bytes));
        FUZZ_CHECK_MSG(std::all_of(m.bytes.begin() + 1, m.bytes.end(), isHexDigit), shown(m.bytes));
        // The low 16 bits of the whole number.
        bool ok = false;
        FUZZ_CHECK_MSG(m.number == m.bytes.mid(1).right(4).toInt(&ok, 16) && ok, shown(m.bytes));
        break;
    }
    case Kind::UploadComplete:
        FUZZ_CHECK_MSG(application && m.bytes == UploadCompleteText, shown(m.bytes));
        break;
    case Kind::Reply:
        FUZZ_CHECK_MSG(awaited.has_value(), "a reply nobody waited for: " + shown(m.bytes));
        // The starts of real-time frames, dumps and "Upload complete" are never
        // taken for a reply's.
        FUZZ_CHECK_MSG(!application ||
                           (at(0) != RealtimeFrameType && at(0) != EepromDumpType && at(0) != 'U'),
                       shown(m.bytes));
        if (m.complete) {
            // Whole, and not one byte longer than it needs to be.
            FUZZ_CHECK_MSG(replyWhole(*awaited, m.bytes), shown(m.bytes));
            FUZZ_CHECK_MSG(!replyWhole(*awaited, m.bytes.chopped(1)), shown(m.bytes));
        } else {
            FUZZ_CHECK_MSG(!replyWhole(*awaited, m.bytes), shown(m.bytes));
        }
        break;
    case Kind::Dropped:
        FUZZ_CHECK_MSG(!m.note.isEmpty(), shown(m.bytes));
        break;
    }
}

// One framer with a model of what it must hand over.
class FramerHarness {
public:
    using Line = MessageFramer::Line;

    explicit FramerHarness(Line line = Line::Application) { setLine(line); }

    // What the last call returned, every message already checked.
    const std::vector<FramedMessage>& output() const { return output_; }
    const MessageFramer& framer() const { return framer_; }

    void feed(const QByteArray& bytes, qint64 delayMs) {
        now_ += delayMs;
        std::vector<FramedMessage> out = framer_.feed(bytes, now_);
        pending_ += bytes;
        if (!bytes.isEmpty())
            lastByteMs_ = now_;
        take(std::move(out), Source::Feed);
    }

    void silence(qint64 delayMs) {
        now_ += delayMs;
        const qint64 quiet = now_ - lastByteMs_;
        const qsizetype deferred = deferred_;
        take(framer_.silence(now_), Source::Silence);
        // Nothing is cut short before its time; after the longest limit
        // nothing is held.
        qsizetype handed = 0;
        for (const FramedMessage& m : output_)
            handed += m.bytes.size();
        if (quiet < MessageFramer::StatusQuietMs)
            FUZZ_CHECK(handed == deferred);
        if (quiet >= std::max(MessageFramer::FragmentTimeLimitMs, MessageFramer::ReplyQuietMs))
            FUZZ_CHECK(!framer_.holdsFragment());
    }

    void setKnownEffects(std::function<bool(int)> known) {
        framer_.setKnownEffects(std::move(known));
    }

    void expectReply(const ReplyShape& shape) {
        const bool held = framer_.holdsFragment();
        framer_.expectReply(shape);
        // A half-received reply or held status text was dropped or read; it
        // comes with the next feed or silence.
        if (held && !framer_.holdsFragment())
            deferred_ = pending_.size();
        awaited_ = shape;
        FUZZ_CHECK(framer_.awaitingReply());
    }

    void cancelReply() {
        std::vector<FramedMessage> out = framer_.cancelReply();
        awaited_.reset();
        take(std::move(out), Source::Cancel);
    }

    void setLine(Line line) {
        forgetHeld();
        pending_.clear(); // and the deferred messages
        deferred_ = 0;
        framer_.setLine(line);
        line_ = line;
        awaited_.reset();
        FUZZ_CHECK(!framer_.holdsFragment() && !framer_.awaitingReply() && framer_.line() == line);
    }

    void clear() {
        forgetHeld();
        framer_.clear();
        FUZZ_CHECK(!framer_.holdsFragment());
        FUZZ_CHECK(framer_.awaitingReply() == awaited_.has_value());
    }

    // A silence long enough for every time limit; then every byte fed and
    // not forgotten has been handed over.
    void settle() {
        silence(1000);
        FUZZ_CHECK(!framer_.holdsFragment() && deferred_ == 0);
        FUZZ_CHECK_MSG(pending_.isEmpty(),
                       std::to_string(pending_.size()) + " bytes never handed over");
    }

private:
    enum class Source { Feed, Silence, Cancel };

    void take(std::vector<FramedMessage> out, Source source) {
        using Kind = FramedMessage::Kind;
        qsizetype owed = source == Source::Cancel ? 0 : deferred_;
        for (const FramedMessage& m : out) {
            checkMessage(m, line_, awaited_);
            if (owed > 0) {
                FUZZ_CHECK_MSG(m.bytes.size() <= owed, "a deferred message too long");
                owed -= m.bytes.size();
            }
            if (m.kind == Kind::Reply) {
                // Bytes complete a reply; only silence ends one short.
                FUZZ_CHECK(m.complete == (source == Source::Feed));
                awaited_.reset();
            }
            if (source == Source::Cancel)
                FUZZ_CHECK(m.kind == Kind::Dropped);
            takeBytes(m.bytes);
        }
        FUZZ_CHECK_MSG(owed == 0, "deferred messages missing");
        if (source != Source::Cancel)
            deferred_ = 0;
        FUZZ_CHECK(framer_.awaitingReply() == awaited_.has_value());
        output_ = std::move(out);
    }

    // A message is the bytes at the front of those not handed over yet, or,
    // for a frame or dump taken out of a reply, those at the first 0xAA or 0xAB.
    void takeBytes(const QByteArray& bytes) {
        qsizetype at = 0;
        if (!pending_.startsWith(bytes)) {
            const auto first = static_cast<std::uint8_t>(bytes[0]);
            FUZZ_CHECK_MSG(line_ == Line::Application &&
                               (first == RealtimeFrameType || first == EepromDumpType),
                           "a message out of order or never fed: " + shown(bytes));
            const qsizetype frame = pending_.indexOf(static_cast<char>(RealtimeFrameType));
            const qsizetype dump = pending_.indexOf(static_cast<char>(EepromDumpType));
            at = frame < 0 ? dump : dump < 0 ? frame : std::min(frame, dump);
            FUZZ_CHECK_MSG(at > 0 && pending_.mid(at, bytes.size()) == bytes,
                           "a message out of order or never fed: " + shown(bytes));
        }
        pending_.remove(at, bytes.size());
    }

    // The held bytes are those fed that are neither handed over nor waiting
    // in a deferred message.
    void forgetHeld() {
        const qsizetype held = pending_.size() - deferred_;
        FUZZ_CHECK(held >= 0 && (held > 0) == framer_.holdsFragment());
        pending_.chop(held);
    }

    MessageFramer framer_;
    Line line_ = Line::Application;
    std::optional<ReplyShape> awaited_;
    QByteArray pending_;     // bytes fed and not handed over, less those forgotten
    qsizetype deferred_ = 0; // bytes of messages that wait for the next feed or silence
    qint64 now_ = 0;
    qint64 lastByteMs_ = 0;
    std::vector<FramedMessage> output_;
};

} // namespace kestra::fuzz
