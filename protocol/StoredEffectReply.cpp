#include "protocol/StoredEffectReply.h"

#include <QStringList>

namespace kestra {

namespace {
// A line is the text before the next CR; the CR and the character after it
// are skipped. The fourth line runs to the next CR or to the end.
QStringList firstFourLines(const QString& text) {
    QStringList lines;
    qsizetype pos = 0;
    while (lines.size() < 4) {
        const qsizetype cr = text.indexOf(QLatin1Char('\r'), pos);
        if (cr < 0) {
            lines.append(text.mid(pos));
            break;
        }
        lines.append(text.mid(pos, cr - pos));
        pos = cr + 2;
    }
    return lines;
}

std::optional<int> decimal(const QString& line) {
    if (line.isEmpty() || line.size() > 9)
        return std::nullopt;
    for (QChar c : line)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    return line.toInt();
}
} // namespace

std::optional<StoredEffectReply> parseStoredEffectReply(const QString& text, QString* error) {
    const QStringList lines = firstFourLines(text);
    if (lines.size() < 4) {
        if (error)
            *error = QStringLiteral("The pedal's answer has %1 of the 4 expected lines.")
                         .arg(lines.size());
        return std::nullopt;
    }
    int numbers[4] = {};
    for (int i = 0; i < 4; ++i) {
        const auto value = decimal(lines[i]);
        if (!value) {
            if (error)
                *error = QStringLiteral("'%1' is not a valid integer value").arg(lines[i]);
            return std::nullopt;
        }
        numbers[i] = *value;
    }
    StoredEffectReply reply;
    reply.effectNumber = numbers[1];
    reply.effectVersion = numbers[2];
    reply.firmwareVersion = numbers[3];
    reply.empty = (lines[0] == QLatin1String("255") && lines[1] == QLatin1String("255")) ||
                  (lines[0] == QLatin1String("0") && lines[1] == QLatin1String("0"));
    return reply;
}

} // namespace kestra
