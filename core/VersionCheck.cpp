#include "core/VersionCheck.h"

#include <QStringList>
#include <algorithm>

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

namespace {

// The numbers of a dotted version without their leading zeros, so that
// numbers of any length compare by length, then digit by digit.
std::optional<QStringList> versionComponents(const QString& text) {
    QStringList components = text.trimmed().split(QLatin1Char('.'));
    for (QString& component : components) {
        if (component.isEmpty())
            return std::nullopt;
        for (const QChar c : component)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        qsizetype zeros = 0;
        while (zeros < component.size() && component[zeros] == QLatin1Char('0'))
            ++zeros;
        component.remove(0, zeros);
    }
    return components;
}

std::strong_ordering compareNumbers(const QString& left, const QString& right) {
    if (left.size() != right.size())
        return left.size() <=> right.size();
    const int order = left.compare(right);
    return order <=> 0;
}

} // namespace

std::optional<std::strong_ordering> compareVersions(const QString& left, const QString& right) {
    const auto leftComponents = versionComponents(left);
    const auto rightComponents = versionComponents(right);
    if (!leftComponents || !rightComponents)
        return std::nullopt;
    const qsizetype count = std::max(leftComponents->size(), rightComponents->size());
    for (qsizetype i = 0; i < count; ++i) {
        const auto order = compareNumbers(leftComponents->value(i), rightComponents->value(i));
        if (order != 0)
            return order;
    }
    return std::strong_ordering::equal;
}

std::optional<bool> isNewerVersion(const QString& serverVersion, const QString& currentVersion) {
    const auto order = compareVersions(serverVersion, currentVersion);
    if (!order)
        return std::nullopt;
    return *order > 0;
}

QString updaterParameters(const QString& downloadTarget, const QString& editorPath) {
    return QStringLiteral("\"%1\" \"%2\"").arg(downloadTarget, editorPath);
}

} // namespace kestra
