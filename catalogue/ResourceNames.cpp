#include "catalogue/ResourceNames.h"

namespace kestra {

QString format_resource_name(const QString& name) {
    QString result = name;
    result.replace(QLatin1Char(' '), QLatin1Char('_'));
    result.replace(QLatin1Char('-'), QLatin1Char('_'));
    result.replace(QLatin1Char('+'), QStringLiteral("plus"));
    result.replace(QLatin1Char('X'), QStringLiteral("mult"), Qt::CaseSensitive);
    return result;
}

QStringList splitLines(QStringView text) {
    QStringList lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(text.mid(start, i - start).toString());
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < text.size())
        lines.append(text.mid(start).toString());
    return lines;
}

} // namespace kestra
