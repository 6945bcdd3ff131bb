// What any message out of the framer must be, whatever came in, and a
// harness that drives one framer and checks its whole output: every byte fed
// ends up in exactly one message, in order, less the held bytes setLine() and
// clear() forget.
#pragma once

#include "fuzz/FuzzSupport.h"
#include "protocol/MessageFramer.h"

#include <algorithm>
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
        FUZZ_CHECK_MSG(application && m.bytes.size() >= 2 && m.bytes.size() <= 5, shown(m.bytes));
        FUZZ_CHECK_MSG(m.bytes[0] == '1', shown(m.bytes));
        FUZZ_CHECK_MSG(std::all_of(m.bytes.begin() + 1, m.bytes.end(), isHexDigit), shown(m.bytes));
        bool ok = false;
        FUZZ_CHECK_MSG(m.number == m.bytes.mid(1).toInt(&ok, 16) && ok, shown(m.bytes));
        FUZZ_CHECK_MSG(m.number >= 0 && m.number <= 0xFFFF, shown(m.bytes));
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
        stream_ += bytes;
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
        if (quiet < MessageFramer::StatusQuietMs)
            FUZZ_CHECK(output_.size() == (deferred > 0 ? 1u : 0u));
        if (quiet >= std::max(MessageFramer::FragmentTimeLimitMs, MessageFramer::ReplyQuietMs))
            FUZZ_CHECK(!framer_.holdsFragment());
    }

    void expectReply(const ReplyShape& shape) {
        const bool held = framer_.holdsFragment();
        framer_.expectReply(shape);
        // A half-received reply was dropped; it comes with the next feed or silence.
        if (held && !framer_.holdsFragment())
            deferred_ = stream_.size() - delivered_;
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
        FUZZ_CHECK_MSG(delivered_ == stream_.size(),
                       std::to_string(delivered_) + " of " + std::to_string(stream_.size()));
    }

private:
    enum class Source { Feed, Silence, Cancel };

    void take(std::vector<FramedMessage> out, Source source) {
        using Kind = FramedMessage::Kind;
        if (source != Source::Cancel && deferred_ > 0) {
            FUZZ_CHECK(!out.empty() && out.front().kind == Kind::Dropped &&
                       out.front().bytes.size() == deferred_);
            deferred_ = 0;
        }
        for (const FramedMessage& m : out) {
            checkMessage(m, line_, awaited_);
            if (m.kind == Kind::Reply) {
                // Bytes complete a reply; only silence ends one short.
                FUZZ_CHECK(m.complete == (source == Source::Feed));
                awaited_.reset();
            }
            if (source == Source::Cancel)
                FUZZ_CHECK(m.kind == Kind::Dropped);
            FUZZ_CHECK_MSG(delivered_ + m.bytes.size() <= stream_.size() &&
                               m.bytes ==
                                   QByteArrayView(stream_).sliced(delivered_, m.bytes.size()),
                           "a message out of order or never fed: " + shown(m.bytes));
            delivered_ += m.bytes.size();
        }
        FUZZ_CHECK(framer_.awaitingReply() == awaited_.has_value());
        output_ = std::move(out);
    }

    // The held bytes are the last ones fed that are neither handed over nor
    // waiting in a deferred drop.
    void forgetHeld() {
        const qsizetype held = stream_.size() - delivered_ - deferred_;
        FUZZ_CHECK(held >= 0 && (held > 0) == framer_.holdsFragment());
        stream_.chop(held);
    }

    MessageFramer framer_;
    Line line_ = Line::Application;
    std::optional<ReplyShape> awaited_;
    QByteArray stream_;       // every byte fed, less those forgotten
    qsizetype delivered_ = 0; // bytes of stream_ handed over so far
    qsizetype deferred_ = 0;  // bytes of a drop that waits for the next feed or silence
    qint64 now_ = 0;
    qint64 lastByteMs_ = 0;
    std::vector<FramedMessage> output_;
};

} // namespace kestra::fuzz
