#include "catalogue/Catalogue.h"

#include "catalogue/EffectImage.h"
#include "catalogue/ResourceNames.h"
#include "core/DebugLog.h"

namespace kestra {

std::optional<QString> categoryResourceName(const QString& displayName) {
    for (const CategoryEntry& category : Categories) {
        if (displayName == QLatin1String(category.displayName))
            return QString::fromLatin1(category.resourceName);
    }
    return std::nullopt;
}

std::optional<QString> effectNameOfRow(const QStringList& effectList, int row) {
    if (row < 0 || row >= effectList.size())
        return std::nullopt;
    const QString& line = effectList.at(row);
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    return colon < 0 ? line : line.mid(colon + 1);
}

Catalogue::Catalogue(const ResourceStore& store) : store_(store) {}

std::optional<QStringList> Catalogue::list(const QString& resourceName, QString* error) const {
    const std::optional<QByteArray> data = store_.find(resourceName);
    if (!data) {
        if (error)
            *error = QStringLiteral("Error loading resource: ") + store_.errorFor(resourceName);
        return std::nullopt;
    }
    return splitLines(QString::fromUtf8(*data));
}

std::optional<QStringList> Catalogue::categoryEffects(int index, QString* error) const {
    if (index < 0 || index >= CategoryCount)
        return std::nullopt;
    return list(QString::fromLatin1(Categories[static_cast<std::size_t>(index)].resourceName),
                error);
}

std::optional<QString> Catalogue::effectName(int number, QString* error) const {
    const std::optional<QStringList> rows = list(QString::fromLatin1(EffectListResource), error);
    if (!rows)
        return std::nullopt;
    debugLog(rows->value(number));
    std::optional<QString> name = effectNameOfRow(*rows, number);
    if (!name || number == 0) {
        if (error)
            *error = QStringLiteral("The pedal holds effect number %1, which this editor's "
                                    "catalogue does not know, so it cannot be opened.\n\nUpdate "
                                    "the editor, or upload an effect from the catalogue.")
                         .arg(number);
        return std::nullopt;
    }
    return name;
}

std::optional<int> Catalogue::effectNumber(const QString& effectName) const {
    const QStringList rows = list(QString::fromLatin1(EffectListResource)).value_or(QStringList());
    for (int number = 1; number < rows.size(); ++number)
        if (effectNameOfRow(rows, number) == effectName)
            return number;
    return std::nullopt;
}

std::function<bool(int)> Catalogue::knownEffects() const {
    const qsizetype rows =
        list(QString::fromLatin1(EffectListResource)).value_or(QStringList()).size();
    return [rows](int number) { return number >= 1 && number < rows; };
}

std::optional<int> Catalogue::categoryOf(const QString& effectName) const {
    for (int c = 0; c < CategoryCount; ++c) {
        const std::optional<QStringList> members = categoryEffects(c);
        if (members && members->contains(effectName))
            return c;
    }
    return std::nullopt;
}

std::optional<QString> Catalogue::image(const QString& effectName, QString* error) const {
    const QString resource = format_resource_name(effectName);
    debugLog(QStringLiteral("resource name: ") + resource);
    const std::optional<QStringList> lines = list(resource, error);
    if (!lines)
        return std::nullopt;
    return lines->value(0);
}

std::optional<int> Catalogue::imageSize(const QString& effectName) const {
    const std::optional<QString> text = image(effectName);
    if (!text)
        return std::nullopt;
    return static_cast<int>(imageByteSize(*text));
}

} // namespace kestra
