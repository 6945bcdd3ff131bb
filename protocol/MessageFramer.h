// Cuts the pedal's inbound byte stream into messages by their structure. The
// FT230X joins messages sent close together into one read and splits long
// ones over several, so a read is never taken for a message.
#pragma once

#include "protocol/Inbound.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kestra {

// The shape of the reply an exchange waits for, so the framer can cut it out
// of the stream however the reads fall.
struct ReplyShape {
    enum class Kind {
        TextLines,         // application: `count` lines, each ended by CR LF; with restIgnored
                           // the text that follows at once belongs to it and is dropped
        BootloaderAck,     // bootloader: one byte (ACK, NACK or anything else)
        BootloaderAckThen, // bootloader: one byte; when it is ACK, `count` more bytes follow
        BootloaderCounted, // bootloader: ACK, N, N+1 bytes, ACK (Get, Get ID); a first byte other
                           // than ACK is the whole reply
    };
    Kind kind = Kind::TextLines;
    int count = 0;
    bool restIgnored = false;
    static ReplyShape textLines(int lines);
    static ReplyShape textLinesRestIgnored(int lines);
    static ReplyShape bootloaderAck();
    static ReplyShape bootloaderAckThen(int bytes);
    static ReplyShape bootloaderCounted();
};

struct FramedMessage {
    enum class Kind {
        BankStatus,     // "0" + one decimal digit; number = the digit
        EffectStatus,   // "1" + hex digits; number = the low 16 bits of their value
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

// Every byte fed ends up in exactly one message, unless setLine() or clear()
// forgets it. Messages come in the order they were received, except that a
// real-time frame or an EEPROM dump inside an application reply (whose ASCII
// text never holds 0xAA or 0xAB) comes out as its own message before the
// reply around it.
//
// Status texts joined within one latency period have no boundary on the wire:
// "11A" then "01" arrive as "11A01". A bank status is "0" and one digit, so it
// ends by itself; an effect status's digits run on into whatever hex text
// follows. Such a run (from a "1" to the first byte that is no hex digit, or
// to StatusQuietMs of silence) is read as the status texts the pedal could
// have sent: every effect number one the catalogue knows, every bank 0 to 2.
// Of the readings that fit, the one with the fewest effect statuses wins, then
// the one with the fewest texts: the pedal reports one effect change at a
// time (a bank change is its bank, then its effect), and a text that arrives
// alone is its whole number, zero padding included ("10001A" is 0x1A, since
// effect 0 is no effect). For a catalogue below 256 effects this reads every
// run of one effect status and any bank statuses exactly. Two effect statuses
// within one latency period cannot always be told apart ("111" "11" and "11"
// "111" are the same bytes); they are read by the same rule. A run no reading
// fits is one effect status, the low 16 bits of its whole number, which the
// receiver reports as unknown.
class MessageFramer {
public:
    enum class Line { Application, Bootloader };
    // An unfinished message is dropped after this long without a byte.
    static constexpr int FragmentTimeLimitMs = 100;
    // An effect status whose digits could go on is complete after this silence.
    static constexpr int StatusQuietMs = 30;
    // A reply that stops short of its shape is handed over after this silence.
    static constexpr int ReplyQuietMs = 100;
    // A run of status text is read once it ends, at the latest at this length.
    static constexpr int StatusRunMax = 64;

    // Which effect numbers a status text may carry (the catalogue's); until
    // set, every number but 0.
    void setKnownEffects(std::function<bool(int)> known);

    // Switches between the application's messages and the bootloader's bytes; forgets anything
    // pending, messages not yet returned included, and any expected reply.
    void setLine(Line line);
    Line line() const;
    // The next reply bytes form a reply of this shape; replaces an earlier expectation.
    // A reply already half received under the earlier one, or the ignored text after one, is
    // dropped, and status text held is read as it stands; those messages come first in what
    // the next feed() or silence() returns.
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
    enum class Held { Nothing, Stray, Reply, Tail, Realtime, EepromDump, Bank, Effect, Upload };
    // A frame or dump inside a reply or its tail.
    enum class Inner { Nothing, Realtime, EepromDump };

    Held startedBy(std::uint8_t byte) const;
    void take(std::uint8_t byte, std::vector<FramedMessage>& out);
    void takeInner(std::uint8_t byte, std::vector<FramedMessage>& out);
    // Appends byte to a real-time frame in bytes; true when it is whole or was
    // dropped as malformed (then rest holds the bytes to read again).
    bool continueRealtime(QByteArray& bytes, std::uint8_t byte, FramedMessage& done,
                          QByteArray& rest);
    void readStatusRun(std::vector<FramedMessage>& out);
    bool replyComplete() const;
    void deliver(FramedMessage message, std::vector<FramedMessage>& out);
    void deliverReply(bool complete, std::vector<FramedMessage>& out);
    void drop(qsizetype count, const QString& note, std::vector<FramedMessage>& out);
    QString strayNote() const;
    void forgetHeld();
    void dropInner(const QString& why, std::vector<FramedMessage>& out);

    Line line_ = Line::Application;
    std::function<bool(int)> knownEffect_;
    std::optional<ReplyShape> expected_;
    Held held_ = Held::Nothing;
    QByteArray bytes_; // the held bytes
    int replyLines_ = 0;
    bool tailOpen_ = false; // text now is the tail of a reply whose rest is ignored
    Inner inner_ = Inner::Nothing;
    QByteArray innerBytes_;
    qint64 lastByteMs_ = 0;
    std::vector<FramedMessage> deferred_;
};

} // namespace kestra
