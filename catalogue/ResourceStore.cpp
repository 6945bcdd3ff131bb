#include "catalogue/ResourceStore.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace kestra {

ResourceStore::ResourceStore(QString folder) : folder_(std::move(folder)) {
    // Built once: lookups happen for every list, image and descriptor load.
    const QDir dir(folder_);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    for (const QString& file : files)
        pathByName_.insert(file.toUpper(), dir.filePath(file));
}

ResourceStore& ResourceStore::compiled() {
    static ResourceStore store(compiledFolder());
    return store;
}

QString ResourceStore::compiledFolder() {
    return QStringLiteral(":/catalogue");
}

std::optional<QByteArray> ResourceStore::find(const QString& name) const {
    const auto it = pathByName_.constFind(name.toUpper());
    if (it == pathByName_.constEnd())
        return std::nullopt;
    QFile file(it.value());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

bool ResourceStore::contains(const QString& name) const {
    return pathByName_.contains(name.toUpper());
}

QString ResourceStore::errorFor(const QString& name) const {
    const auto it = pathByName_.constFind(name.toUpper());
    if (it == pathByName_.constEnd())
        return QStringLiteral("resource \"%1\" was not found in the catalogue").arg(name);
    QFile file(it.value());
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("resource \"%1\" could not be read: %2")
            .arg(name, file.errorString());
    return QStringLiteral("resource \"%1\" has no error").arg(name);
}

QStringList ResourceStore::names() const {
    QStringList result = pathByName_.keys();
    std::sort(result.begin(), result.end());
    return result;
}

} // namespace kestra
