// The synchronous receive: an operation that has sent a command waits here
// for the answer, keeping the window responsive, and within a time limit so a
// silent pedal cannot hang the editor.
#pragma once

#include "port/D2XXUnit.h"

#include <QByteArray>
#include <QString>

namespace kestra {

struct Reply {
    enum class Outcome { Received, QueueFailed, TimedOut };
    Outcome outcome = Outcome::Received;
    QByteArray bytes; // everything collected
    // Application mode: the bytes as UTF-8 text. Bootloader mode: the first
    // byte as two upper-case hex digits ("79"). Empty unless Received.
    QString text;

    bool received() const { return outcome == Outcome::Received; }
};

// How long an answer may take to begin; the pedal answers within
// milliseconds, the bootloader's global erase within about a second.
inline constexpr int ReplyTimeLimitMs = 3000;
inline constexpr int BootloaderReplyTimeLimitMs = 5000;
// In application mode an answer ends with this long a silence.
inline constexpr int ReplyQuietMs = 100;

// Waits, processing window messages, until the receive queue holds a byte;
// Received when one came.
Reply::Outcome waitForFirstByte(D2XXUnit& transport, int timeLimitMs);

// Reads and appends to bytes until a read returns nothing, pausing quietMs
// after every read (0: no pause).
void collectReply(D2XXUnit& transport, QByteArray& bytes, int quietMs);

// Waits for the first byte, collects until a read returns nothing, logs the
// count and purges the receive queue. The caller has stopped the polling
// timer.
Reply receiveReply(D2XXUnit& transport, bool firmwareUpgradeMode,
                   int timeLimitMs = ReplyTimeLimitMs);

// The text the user reads when an exchange got no answer.
QString noAnswerMessage(const QString& what);

} // namespace kestra
