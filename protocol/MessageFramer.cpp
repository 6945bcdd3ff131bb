#include "protocol/MessageFramer.h"

namespace kestra {

namespace {

constexpr std::uint8_t BootloaderAck = 0x79;
constexpr int UploadCompleteSize = sizeof(UploadCompleteText) - 1;
constexpr int EffectDigitsMax = 4;
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

int hexValue(const QByteArray& digits) {
    return digits.toInt(nullptr, 16);
}

QString byteCount(qsizetype count) {
    return count == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(count);
}

} // namespace

ReplyShape ReplyShape::textLines(int lines) {
    return {Kind::TextLines, lines};
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

void MessageFramer::setLine(Line line) {
    line_ = line;
    expected_.reset();
    forgetHeld();
}

MessageFramer::Line MessageFramer::line() const {
    return line_;
}

void MessageFramer::expectReply(const ReplyShape& shape) {
    if (held_ == Held::Reply)
        drop(bytes_.size(),
             QStringLiteral("reply dropped unfinished, another was expected: %1")
                 .arg(byteCount(bytes_.size())),
             deferred_);
    expected_ = shape;
}

std::vector<FramedMessage> MessageFramer::cancelReply() {
    std::vector<FramedMessage> out;
    if (held_ == Held::Reply)
        drop(bytes_.size(),
             QStringLiteral("reply cancelled unfinished: %1").arg(byteCount(bytes_.size())), out);
    expected_.reset();
    return out;
}

bool MessageFramer::awaitingReply() const {
    return expected_.has_value();
}

void MessageFramer::clear() {
    forgetHeld();
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
    switch (held_) {
    case Held::Nothing:
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
            deliver(message(FramedMessage::Kind::EffectStatus, bytes_, hexValue(bytes_.mid(1))),
                    out);
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
        bytes_.append(static_cast<char>(byte));
        // A LF before the first number belongs to the reply but ends no line.
        if (bytes_.endsWith("\r\n"))
            ++replyLines_;
        if (replyComplete())
            deliverReply(true, out);
        return;
    case Held::Realtime:
        continueRealtime(byte, out);
        return;
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
            if (bytes_.size() == 1 + EffectDigitsMax)
                deliver(message(FramedMessage::Kind::EffectStatus, bytes_, hexValue(bytes_.mid(1))),
                        out);
            return;
        }
        if (bytes_.size() > 1)
            deliver(message(FramedMessage::Kind::EffectStatus, bytes_, hexValue(bytes_.mid(1))),
                    out);
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

// A frame is malformed as soon as one byte rules it out. Only its 0xAA is
// dropped: a frame cut short is often followed by a whole one, which the
// rescan of the bytes after the 0xAA finds.
void MessageFramer::continueRealtime(std::uint8_t byte, std::vector<FramedMessage>& out) {
    bytes_.append(static_cast<char>(byte));
    const auto at = [this](int i) { return static_cast<std::uint8_t>(bytes_[i]); };
    QString fault;
    switch (bytes_.size()) {
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
        const QByteArray rest = bytes_.mid(1);
        drop(1, QStringLiteral("malformed real-time frame dropped: %1 out of range").arg(fault),
             out);
        for (char b : rest)
            take(static_cast<std::uint8_t>(b), out);
        return;
    }
    if (bytes_.size() == RealtimeFrameSize) {
        FramedMessage frame = message(FramedMessage::Kind::Realtime, bytes_);
        frame.frame = RealtimeFrame{at(1), at(2), (at(3) << 8) | at(4)};
        deliver(std::move(frame), out);
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
}

} // namespace kestra
