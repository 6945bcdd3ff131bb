#include "protocol/HexText.h"

namespace kestra {

namespace {
int digitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

QString fixedHex(std::uint32_t value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper().right(digits);
}
} // namespace

int hexToBytes(QStringView text, std::uint8_t* dst, int maxBytes) {
    int converted = 0;
    for (qsizetype i = 0; converted < maxBytes && i + 1 < text.size(); i += 2) {
        const int high = digitValue(text[i]);
        const int low = digitValue(text[i + 1]);
        if (high < 0 || low < 0)
            break;
        dst[converted++] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return converted;
}

bool isHexText(QStringView text) {
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (digitValue(c) < 0)
            return false;
    return true;
}

QByteArray hexToByteArray(QStringView text) {
    QByteArray bytes(static_cast<int>(text.size() / 2), '\0');
    const int n = hexToBytes(text, reinterpret_cast<std::uint8_t*>(bytes.data()),
                             static_cast<int>(bytes.size()));
    bytes.truncate(n);
    return bytes;
}

QString bytesToHex(const std::uint8_t* data, int count) {
    static constexpr char digits[] = "0123456789ABCDEF";
    QString text(count * 2, Qt::Uninitialized);
    QChar* out = text.data();
    for (int i = 0; i < count; ++i) {
        *out++ = QLatin1Char(digits[data[i] >> 4]);
        *out++ = QLatin1Char(digits[data[i] & 0x0F]);
    }
    return text;
}

QString bytesToHex(const QByteArray& data) {
    return bytesToHex(reinterpret_cast<const std::uint8_t*>(data.constData()),
                      static_cast<int>(data.size()));
}

QString hex2(std::uint32_t byte) {
    return fixedHex(byte, 2);
}
QString hex4(std::uint32_t word) {
    return fixedHex(word, 4);
}
QString hex8(std::uint32_t value) {
    return fixedHex(value, 8);
}

} // namespace kestra
