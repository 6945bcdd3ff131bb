#include "catalogue/CatalogueLists.h"

#include "catalogue/ResourceNames.h"
#include "core/DebugLog.h"
#include "core/Prompts.h"

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

CatalogueLists::CatalogueLists(const ResourceStore& store) : store_(store) {}

bool CatalogueLists::read_file_from_stream(const QString& resourceName) {
    return load(resourceName, categoryList);
}

bool CatalogueLists::read_file_from_stream2(const QString& resourceName) {
    return load(resourceName, imageList);
}

bool CatalogueLists::load(const QString& resourceName, QStringList& target) {
    const std::optional<QByteArray> data = store_.find(resourceName);
    if (!data) {
        Prompts::instance().message(QStringLiteral("Error loading resource: ") +
                                    store_.errorFor(resourceName));
        return false;
    }
    target = splitLines(QString::fromUtf8(*data));
    return true;
}

std::uint16_t CatalogueLists::getEffectSize(const QString& effectName) {
    const QString resourceName = format_resource_name(effectName);
    debugLog(QStringLiteral("resource name: ") + resourceName);
    read_file_from_stream2(resourceName);
    const qsizetype characters = imageList.isEmpty() ? 0 : imageList.first().size();
    return static_cast<std::uint16_t>(characters / 2);
}

std::vector<bool> CatalogueLists::rowsExceedingBankLimit(const QStringList& rows) {
    std::vector<bool> result;
    result.reserve(static_cast<std::size_t>(rows.size()));
    for (const QString& row : rows) {
        const bool tooLarge = exceedsBankLimit(getEffectSize(row));
        if (tooLarge)
            debugLog(QStringLiteral("size of %1 exceed %2 bytes").arg(row).arg(BankImageLimit));
        result.push_back(tooLarge);
    }
    return result;
}

} // namespace kestra
