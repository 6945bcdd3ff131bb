// Cuts the pedal's inbound byte stream into messages by their structure. The
// FT230X joins messages sent close together into one read and splits long
// ones over several, so a read is never taken for a message.
#pragma once

#include "protocol/Inbound.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestra {

// The shape of the reply an exchange waits for, so the framer can cut it out
// of the stream however the reads fall.
struct ReplyShape {
    enum class Kind {
        TextLines,         // application: `count` lines, each ended by CR LF
        BootloaderAck,     // bootloader: one byte (ACK, NACK or anything else)
        BootloaderAckThen, // bootloader: one byte; when it is ACK, `count` more bytes follow
        BootloaderCounted, // bootloader: ACK, N, N+1 bytes, ACK (Get, Get ID); a first byte other
                           // than ACK is the whole reply
    };
    Kind kind = Kind::TextLines;
    int count = 0;
    static ReplyShape textLines(int lines);
    static ReplyShape bootloaderAck();
    static ReplyShape bootloaderAckThen(int bytes);
    static ReplyShape bootloaderCounted();
};

struct FramedMessage {
    enum class Kind {
        BankStatus,     // "0" + one decimal digit; number = the digit
        EffectStatus,   // "1" + 1..4 hex digits; number = their value
        UploadComplete, // "Upload complete"
        Realtime,       // 0xAA frame; frame is filled
        EepromDump,     // 0xAB + 16,384 bytes; bytes holds all 16,385
        Reply,          // the reply of the expected shape
        Dropped,        // bytes that form no message: stray, malformed or stale; note says why
    };
    Kind kind = Kind::Dropped;
    QByteArray bytes; // the message's bytes as received
    int number = 0;
    RealtimeFrame frame;
    bool complete = true; // Reply: false when silence ended it before its shape was complete
    QString note;         // Dropped: why, one line for the debug log
};

// Every byte fed ends up in exactly one message, in the order received, unless
// setLine() or clear() forgets it.
class MessageFramer {
public:
    enum class Line { Application, Bootloader };
    // An unfinished message is dropped after this long without a byte.
    static constexpr int FragmentTimeLimitMs = 100;
    // An effect status whose digits could go on is complete after this silence.
    static constexpr int StatusQuietMs = 30;
    // A reply that stops short of its shape is handed over after this silence.
    static constexpr int ReplyQuietMs = 100;

    // Switches between the application's messages and the bootloader's bytes; drops anything
    // pending and any expected reply.
    void setLine(Line line);
    Line line() const;
    // The next reply bytes form a reply of this shape; replaces an earlier expectation.
    // A reply already half received under the earlier one is dropped, and the Dropped message
    // comes first in what the next feed() or silence() returns.
    void expectReply(const ReplyShape& shape);
    // No reply is awaited any more; a reply half received is dropped (returned as Dropped).
    std::vector<FramedMessage> cancelReply();
    bool awaitingReply() const;
    // The receive queue was purged: forget pending bytes (the expectation stays).
    void clear();
    // Bytes as read at nowMs; returns the messages they complete, in order.
    std::vector<FramedMessage> feed(QByteArrayView bytes, qint64 nowMs);
    // A read found nothing at nowMs: returns what the silence since the last byte completes or
    // drops.
    std::vector<FramedMessage> silence(qint64 nowMs);
    // True while bytes are held for a message that is not complete yet (a run of stray bytes
    // too: it is held until a message starts or the silence drops it).
    bool holdsFragment() const;

private:
    // What the held bytes are the start of.
    enum class Held { Nothing, Stray, Reply, Realtime, EepromDump, Bank, Effect, Upload };

    Held startedBy(std::uint8_t byte) const;
    void take(std::uint8_t byte, std::vector<FramedMessage>& out);
    void continueRealtime(std::uint8_t byte, std::vector<FramedMessage>& out);
    bool replyComplete() const;
    void deliver(FramedMessage message, std::vector<FramedMessage>& out);
    void deliverReply(bool complete, std::vector<FramedMessage>& out);
    void drop(qsizetype count, const QString& note, std::vector<FramedMessage>& out);
    QString strayNote() const;
    void forgetHeld();

    Line line_ = Line::Application;
    std::optional<ReplyShape> expected_;
    Held held_ = Held::Nothing;
    QByteArray bytes_; // the held bytes
    int replyLines_ = 0;
    qint64 lastByteMs_ = 0;
    std::vector<FramedMessage> deferred_;
};

} // namespace kestra
