#include "core/VersionCheck.h"

#include <QStringList>

namespace kestra {

QString appVersionText(const QString& fullVersion) {
    if (fullVersion.isEmpty())
        return {};
    const QStringList parts = fullVersion.split(QLatin1Char('.'));
    bool majorOk = false;
    bool minorOk = parts.size() < 2;
    const uint major = parts[0].toUInt(&majorOk, 10);
    const uint minor = parts.size() < 2 ? 0 : parts[1].toUInt(&minorOk, 10);
    if (!majorOk || !minorOk)
        return QString::fromLatin1(VersionNotAvailable);
    return QStringLiteral("%1.%2").arg(major).arg(minor);
}

std::optional<qint64> versionNumber(const QString& text) {
    QString digits = text.trimmed();
    digits.remove(QLatin1Char('.'));
    if (digits.isEmpty())
        return std::nullopt;
    for (const QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    bool ok = false;
    const qint64 number = digits.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return number;
}

std::optional<bool> isNewerVersion(const QString& serverVersion, const QString& currentVersion) {
    const auto server = versionNumber(serverVersion);
    const auto current = versionNumber(currentVersion);
    if (!server || !current)
        return std::nullopt;
    return *server > *current;
}

QString updaterParameters(const QString& downloadTarget, const QString& editorPath) {
    return QStringLiteral("\"%1\" \"%2\"").arg(downloadTarget, editorPath);
}

} // namespace kestra
