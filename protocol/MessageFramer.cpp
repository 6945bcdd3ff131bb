#include "protocol/MessageFramer.h"

#include <algorithm>

namespace kestra {

namespace {

constexpr std::uint8_t BootloaderAck = 0x79;
constexpr int UploadCompleteSize = sizeof(UploadCompleteText) - 1;
constexpr int EffectNumberMax = 0xFFFF;
constexpr int BankIndexMax = 2;
constexpr int RealtimeSourceMax = 11;
constexpr int RealtimeParameterMax = 15;
constexpr int RealtimeValueMax = 1024;

bool isDecimalDigit(std::uint8_t byte) {
    return byte >= '0' && byte <= '9';
}

bool isHexDigit(std::uint8_t byte) {
    return isDecimalDigit(byte) || (byte >= 'A' && byte <= 'F') || (byte >= 'a' && byte <= 'f');
}

FramedMessage message(FramedMessage::Kind kind, const QByteArray& bytes, int number = 0) {
    FramedMessage m;
    m.kind = kind;
    m.bytes = bytes;
    m.number = number;
    return m;
}

// The low 16 bits of hex digits of any length.
int lowHexValue(QByteArrayView digits) {
    return digits.last(std::min<qsizetype>(digits.size(), 4)).toInt(nullptr, 16);
}

// A run of status text read as texts; see the class comment.
struct Reading {
    int effects = 0;
    int texts = 0;
    qsizetype next = -1; // where the following text starts; -1: no reading
    int number = 0;      // of the text that starts here
    bool operator<(const Reading& other) const {
        return effects != other.effects ? effects < other.effects : texts < other.texts;
    }
};

QString byteCount(qsizetype count) {
    return count == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(count);
}

} // namespace

ReplyShape ReplyShape::textLines(int lines) {
    return {Kind::TextLines, lines};
}
ReplyShape ReplyShape::textLinesRestIgnored(int lines) {
    return {Kind::TextLines, lines, true};
}
ReplyShape ReplyShape::bootloaderAck() {
    return {Kind::BootloaderAck, 0};
}
ReplyShape ReplyShape::bootloaderAckThen(int bytes) {
    return {Kind::BootloaderAckThen, bytes};
}
ReplyShape ReplyShape::bootloaderCounted() {
    return {Kind::BootloaderCounted, 0};
}

void MessageFramer::setKnownEffects(std::function<bool(int)> known) {
    knownEffect_ = std::move(known);
}

void MessageFramer::setLine(Line line) {
    line_ = line;
    expected_.reset();
    forgetHeld();
    deferred_.clear();
    tailOpen_ = false;
}

MessageFramer::Line MessageFramer::line() const {
    return line_;
}

void MessageFramer::expectReply(const ReplyShape& shape) {
    if (held_ == Held::Reply || held_ == Held::Tail) {
        const QString what = held_ == Held::Reply
                                 ? QStringLiteral("reply dropped unfinished, another was expected")
                                 : QStringLiteral("text after a reply ignored");
        bytes_ += innerBytes_;
        drop(bytes_.size(), QStringLiteral("%1: %2").arg(what, byteCount(bytes_.size())),
             deferred_);
    }
    // Status text held now came before the command: the reply does not run on from it.
    if (held_ == Held::Effect && bytes_.size() > 1)
        readStatusRun(deferred_);
    else if (held_ == Held::Effect)
        drop(1, QStringLiteral("effect status without a number dropped"), deferred_);
    else if (held_ == Held::Bank)
        drop(1, QStringLiteral("bank status without its digit dropped"), deferred_);
    tailOpen_ = false;
    expected_ = shape;
}

std::vector<FramedMessage> MessageFramer::cancelReply() {
    std::vector<FramedMessage> out;
    if (held_ == Held::Reply) {
        bytes_ += innerBytes_;
        drop(bytes_.size(),
             QStringLiteral("reply cancelled unfinished: %1").arg(byteCount(bytes_.size())), out);
    }
    expected_.reset();
    return out;
}

bool MessageFramer::awaitingReply() const {
    return expected_.has_value();
}

void MessageFramer::clear() {
    forgetHeld();
    tailOpen_ = false;
}

std::vector<FramedMessage> MessageFramer::feed(QByteArrayView bytes, qint64 nowMs) {
    std::vector<FramedMessage> out = std::move(deferred_);
    deferred_.clear();
    if (bytes.isEmpty())
        return out;
    lastByteMs_ = nowMs;
    for (char byte : bytes)
        take(static_cast<std::uint8_t>(byte), out);
    return out;
}

std::vector<FramedMessage> MessageFramer::silence(qint64 nowMs) {
    std::vector<FramedMessage> out = std::move(deferred_);
    deferred_.clear();
    const qint64 quietMs = nowMs - lastByteMs_;
    const auto incomplete = [&](const char* what) {
        if (quietMs >= FragmentTimeLimitMs)
            drop(bytes_.size(),
                 QStringLiteral("incomplete %1 dropped after %2 ms: %3")
                     .arg(QLatin1String(what))
                     .arg(quietMs)
                     .arg(byteCount(bytes_.size())),
                 out);
    };
    if (inner_ != Inner::Nothing && quietMs >= FragmentTimeLimitMs)
        dropInner(QStringLiteral("incomplete %1 inside a reply dropped after %2 ms: %3")
                      .arg(inner_ == Inner::Realtime ? QStringLiteral("real-time frame")
                                                     : QStringLiteral("EEPROM dump"))
                      .arg(quietMs)
                      .arg(byteCount(innerBytes_.size())),
                  out);
    switch (held_) {
    case Held::Nothing:
        break;
    case Held::Tail:
        if (quietMs >= ReplyQuietMs)
            drop(bytes_.size(),
                 QStringLiteral("text after a reply ignored: %1").arg(byteCount(bytes_.size())),
                 out);
        break;
    case Held::Stray:
        if (quietMs >= FragmentTimeLimitMs)
            drop(bytes_.size(), strayNote(), out);
        break;
    case Held::Reply:
        if (quietMs >= ReplyQuietMs)
            deliverReply(false, out);
        break;
    case Held::Effect:
        if (bytes_.size() > 1 && quietMs >= StatusQuietMs)
            readStatusRun(out);
        else
            incomplete("effect status");
        break;
    case Held::Realtime:
        incomplete("real-time frame");
        break;
    case Held::EepromDump:
        incomplete("EEPROM dump");
        break;
    case Held::Bank:
        incomplete("bank status");
        break;
    case Held::Upload:
        incomplete("\"Upload complete\"");
        break;
    }
    if (quietMs >= ReplyQuietMs)
        tailOpen_ = false;
    return out;
}

bool MessageFramer::holdsFragment() const {
    return held_ != Held::Nothing;
}

MessageFramer::Held MessageFramer::startedBy(std::uint8_t byte) const {
    if (line_ == Line::Bootloader)
        return expected_ ? Held::Reply : Held::Stray;
    if (byte == RealtimeFrameType)
        return Held::Realtime;
    if (byte == EepromDumpType)
        return Held::EepromDump;
    if (tailOpen_)
        return Held::Tail;
    // The reply's digits would read as status texts; "Upload complete" may
    // still come in before the reply starts.
    if (expected_ && byte != 'U')
        return Held::Reply;
    switch (byte) {
    case '0':
        return Held::Bank;
    case '1':
        return Held::Effect;
    case 'U':
        return Held::Upload;
    default:
        return Held::Stray;
    }
}

void MessageFramer::take(std::uint8_t byte, std::vector<FramedMessage>& out) {
    if (inner_ != Inner::Nothing) {
        takeInner(byte, out);
        return;
    }
    switch (held_) {
    case Held::Nothing:
        held_ = startedBy(byte);
        bytes_.append(static_cast<char>(byte));
        replyLines_ = 0;
        if (held_ == Held::Reply && replyComplete())
            deliverReply(true, out);
        return;
    case Held::Stray:
        if (startedBy(byte) == Held::Stray) {
            bytes_.append(static_cast<char>(byte));
            return;
        }
        drop(bytes_.size(), strayNote(), out);
        take(byte, out);
        return;
    case Held::Reply:
    case Held::Tail:
        if (line_ == Line::Application && (byte == RealtimeFrameType || byte == EepromDumpType)) {
            inner_ = byte == RealtimeFrameType ? Inner::Realtime : Inner::EepromDump;
            innerBytes_.append(static_cast<char>(byte));
            return;
        }
        bytes_.append(static_cast<char>(byte));
        if (held_ == Held::Tail)
            return;
        // A LF before the first number belongs to the reply but ends no line.
        if (bytes_.endsWith("\r\n"))
            ++replyLines_;
        if (replyComplete())
            deliverReply(true, out);
        return;
    case Held::Realtime: {
        FramedMessage done;
        QByteArray rest;
        if (!continueRealtime(bytes_, byte, done, rest))
            return;
        if (done.kind == FramedMessage::Kind::Realtime) {
            deliver(std::move(done), out);
            return;
        }
        drop(1, done.note, out);
        for (char b : rest)
            take(static_cast<std::uint8_t>(b), out);
        return;
    }
    case Held::EepromDump:
        bytes_.append(static_cast<char>(byte));
        if (bytes_.size() == EepromDumpSize)
            deliver(message(FramedMessage::Kind::EepromDump, bytes_), out);
        return;
    case Held::Bank:
        if (isDecimalDigit(byte)) {
            bytes_.append(static_cast<char>(byte));
            deliver(message(FramedMessage::Kind::BankStatus, bytes_, byte - '0'), out);
            return;
        }
        drop(1, QStringLiteral("bank status without its digit dropped"), out);
        take(byte, out);
        return;
    case Held::Effect:
        if (isHexDigit(byte)) {
            bytes_.append(static_cast<char>(byte));
            if (bytes_.size() == StatusRunMax)
                readStatusRun(out);
            return;
        }
        if (bytes_.size() > 1)
            readStatusRun(out);
        else
            drop(1, QStringLiteral("effect status without a number dropped"), out);
        take(byte, out);
        return;
    case Held::Upload:
        if (byte == static_cast<std::uint8_t>(UploadCompleteText[bytes_.size()])) {
            bytes_.append(static_cast<char>(byte));
            if (bytes_.size() == UploadCompleteSize)
                deliver(message(FramedMessage::Kind::UploadComplete, bytes_), out);
            return;
        }
        drop(bytes_.size(),
             QStringLiteral("text that is not \"Upload complete\" dropped: %1")
                 .arg(byteCount(bytes_.size())),
             out);
        take(byte, out);
        return;
    }
}

void MessageFramer::takeInner(std::uint8_t byte, std::vector<FramedMessage>& out) {
    if (inner_ == Inner::EepromDump) {
        innerBytes_.append(static_cast<char>(byte));
        if (innerBytes_.size() == EepromDumpSize) {
            out.push_back(message(FramedMessage::Kind::EepromDump, innerBytes_));
            inner_ = Inner::Nothing;
            innerBytes_.clear();
        }
        return;
    }
    FramedMessage done;
    QByteArray rest;
    if (!continueRealtime(innerBytes_, byte, done, rest))
        return;
    if (done.kind == FramedMessage::Kind::Realtime) {
        out.push_back(std::move(done));
        inner_ = Inner::Nothing;
        innerBytes_.clear();
        return;
    }
    innerBytes_.truncate(1);
    dropInner(done.note, out);
    for (char b : rest)
        take(static_cast<std::uint8_t>(b), out);
}

// A frame is malformed as soon as one byte rules it out. Only its 0xAA is
// dropped: a frame cut short is often followed by a whole one, which the
// rescan of the bytes after the 0xAA finds.
bool MessageFramer::continueRealtime(QByteArray& bytes, std::uint8_t byte, FramedMessage& done,
                                     QByteArray& rest) {
    bytes.append(static_cast<char>(byte));
    const auto at = [&bytes](int i) { return static_cast<std::uint8_t>(bytes[i]); };
    QString fault;
    switch (bytes.size()) {
    case 2:
        if (byte > RealtimeSourceMax)
            fault = QStringLiteral("source %1").arg(int{byte});
        break;
    case 3:
        if (byte > RealtimeParameterMax)
            fault = QStringLiteral("parameter %1").arg(int{byte});
        break;
    case 4:
        if ((byte << 8) > RealtimeValueMax)
            fault = QStringLiteral("value high byte 0x%1").arg(int{byte}, 2, 16, QLatin1Char('0'));
        break;
    default:
        if (((at(3) << 8) | byte) > RealtimeValueMax)
            fault = QStringLiteral("value %1").arg((at(3) << 8) | byte);
        break;
    }
    if (!fault.isEmpty()) {
        rest = bytes.mid(1);
        done.kind = FramedMessage::Kind::Dropped;
        done.note = QStringLiteral("malformed real-time frame dropped: %1 out of range").arg(fault);
        return true;
    }
    if (bytes.size() < RealtimeFrameSize)
        return false;
    done = message(FramedMessage::Kind::Realtime, bytes);
    done.frame = RealtimeFrame{at(1), at(2), (at(3) << 8) | at(4)};
    return true;
}

// Reads the held run of status text by the rule in the class comment: for
// every position, the best reading of the text from there to the end.
void MessageFramer::readStatusRun(std::vector<FramedMessage>& out) {
    const QByteArray run = bytes_;
    const qsizetype size = run.size();
    const auto known = [this](int number) {
        return knownEffect_ ? knownEffect_(number) : number != 0;
    };
    std::vector<Reading> best(size + 1);
    best[size].next = size;
    for (qsizetype i = size - 1; i >= 0; --i) {
        const auto consider = [&](qsizetype next, bool effect, int number) {
            if (best[next].next < 0)
                return;
            Reading r{best[next].effects + (effect ? 1 : 0), best[next].texts + 1, next, number};
            if (best[i].next < 0 || r < best[i])
                best[i] = r;
        };
        if (run[i] == '0' && i + 1 < size && isDecimalDigit(run[i + 1]) &&
            run[i + 1] - '0' <= BankIndexMax) {
            consider(i + 2, false, run[i + 1] - '0');
        } else if (run[i] == '1') {
            int number = 0;
            for (qsizetype j = i + 1; j < size; ++j) {
                number = number * 16 + QByteArray(1, run[j]).toInt(nullptr, 16);
                if (number > EffectNumberMax)
                    break;
                if (known(number))
                    consider(j + 1, true, number);
            }
        }
    }
    forgetHeld();
    if (best[0].next < 0) {
        out.push_back(message(FramedMessage::Kind::EffectStatus, run,
                              lowHexValue(QByteArrayView(run).sliced(1))));
        return;
    }
    for (qsizetype i = 0; i < size; i = best[i].next) {
        const QByteArray text = run.mid(i, best[i].next - i);
        out.push_back(message(text[0] == '0' ? FramedMessage::Kind::BankStatus
                                             : FramedMessage::Kind::EffectStatus,
                              text, best[i].number));
    }
}

bool MessageFramer::replyComplete() const {
    const auto first = static_cast<std::uint8_t>(bytes_[0]);
    const qsizetype size = bytes_.size();
    switch (expected_->kind) {
    case ReplyShape::Kind::TextLines:
        return replyLines_ >= expected_->count;
    case ReplyShape::Kind::BootloaderAck:
        return true;
    case ReplyShape::Kind::BootloaderAckThen:
        return first != BootloaderAck || size >= 1 + expected_->count;
    case ReplyShape::Kind::BootloaderCounted:
        // ACK, N, N+1 bytes, ACK.
        return first != BootloaderAck ||
               (size >= 2 && size >= static_cast<std::uint8_t>(bytes_[1]) + 4);
    }
    return true;
}

void MessageFramer::deliver(FramedMessage message, std::vector<FramedMessage>& out) {
    out.push_back(std::move(message));
    forgetHeld();
}

void MessageFramer::deliverReply(bool complete, std::vector<FramedMessage>& out) {
    FramedMessage reply = message(FramedMessage::Kind::Reply, bytes_);
    reply.complete = complete;
    deliver(std::move(reply), out);
    tailOpen_ = complete && expected_->restIgnored;
    expected_.reset();
}

// Hands over the first count held bytes as dropped and forgets the rest; a
// caller that rescans the rest has copied them first.
void MessageFramer::drop(qsizetype count, const QString& note, std::vector<FramedMessage>& out) {
    FramedMessage dropped = message(FramedMessage::Kind::Dropped, bytes_.left(count));
    dropped.note = note;
    out.push_back(std::move(dropped));
    forgetHeld();
}

QString MessageFramer::strayNote() const {
    return QStringLiteral("%1: %2").arg(line_ == Line::Bootloader
                                            ? QStringLiteral("stray bytes from the bootloader")
                                            : QStringLiteral("stray bytes"),
                                        byteCount(bytes_.size()));
}

void MessageFramer::forgetHeld() {
    held_ = Held::Nothing;
    bytes_.clear();
    replyLines_ = 0;
    inner_ = Inner::Nothing;
    innerBytes_.clear();
}

// Hands over the frame or dump held inside a reply as dropped; the reply goes on.
void MessageFramer::dropInner(const QString& why, std::vector<FramedMessage>& out) {
    FramedMessage dropped = message(FramedMessage::Kind::Dropped, innerBytes_);
    dropped.note = why;
    out.push_back(std::move(dropped));
    inner_ = Inner::Nothing;
    innerBytes_.clear();
}

} // namespace kestra
