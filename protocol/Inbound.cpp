#include "protocol/Inbound.h"

namespace kestra {

namespace {
QString notAnInteger(const QString& rest) {
    return QStringLiteral("'%1' is not a valid integer value").arg(rest);
}

bool allDigits(const QString& text, int base) {
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const bool hexLetter = (c >= QLatin1Char('A') && c <= QLatin1Char('F')) ||
                               (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
        if (!digit && !(base == 16 && hexLetter))
            return false;
    }
    return true;
}
} // namespace

QString inboundAsciiText(const std::uint8_t* data, int count) {
    QString text(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        text[i] = data[i] > 0x7F ? QLatin1Char('?') : QLatin1Char(static_cast<char>(data[i]));
    return text;
}

InboundMessage classifyInbound(const std::uint8_t* data, int count) {
    InboundMessage message;
    if (count <= 0)
        return message;
    if (data[0] == '0' || data[0] == '1') {
        const bool bank = data[0] == '0';
        const QString rest = inboundAsciiText(data + 1, count - 1);
        bool ok = allDigits(rest, bank ? 10 : 16);
        const qulonglong value = ok ? rest.toULongLong(&ok, bank ? 10 : 16) : 0;
        if (!ok || value > 0xFFFFFFFFull) {
            message.kind = InboundMessage::Kind::Invalid;
            message.error = notAnInteger(rest);
            return message;
        }
        message.kind = bank ? InboundMessage::Kind::BankStatus : InboundMessage::Kind::EffectStatus;
        message.number = bank ? static_cast<int>(std::min<qulonglong>(value, 0x7FFFFFFF))
                              : static_cast<int>(value & 0xFFFF);
        return message;
    }
    if (QByteArray::fromRawData(reinterpret_cast<const char*>(data), count) == UploadCompleteText) {
        message.kind = InboundMessage::Kind::UploadComplete;
        return message;
    }
    if (data[0] == RealtimeFrameType && count >= RealtimeFrameSize) {
        message.kind = InboundMessage::Kind::Realtime;
        message.frame = RealtimeFrame{data[1], data[2], data[3] << 8 | data[4]};
        return message;
    }
    if (data[0] == EepromDumpType && count >= EepromDumpSize) {
        message.kind = InboundMessage::Kind::EepromDump;
        return message;
    }
    return message;
}

} // namespace kestra
