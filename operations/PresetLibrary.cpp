#include "operations/PresetLibrary.h"

#include "catalogue/Catalogue.h"
#include "operations/Configuration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kestra {

namespace {
const QString Suffix = QStringLiteral(".txt");
// A header is two lines: the effect number (4 digits) and version (2).
constexpr int HeaderBytes = 32;
} // namespace

std::vector<PresetEntry> listPresets(const QString& folder, const Catalogue& catalogue) {
    std::vector<PresetEntry> entries;
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("*") + Suffix}, QDir::Files | QDir::Readable,
                                   QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& info : files) {
        PresetEntry entry;
        entry.path = info.absoluteFilePath();
        entry.name = info.completeBaseName();
        entry.modified = info.lastModified();
        QFile file(entry.path);
        if (file.open(QIODevice::ReadOnly)) {
            // The fields sit where the preset reader takes them.
            const QString text = presetFileText(file.read(HeaderBytes));
            const std::optional<int> number = HexToInt(text.mid(0, 4));
            const std::optional<int> version = HexToInt(text.mid(6, 2));
            if (number && version) {
                entry.effectNumber = *number;
                entry.effectVersion = *version;
                entry.effectName = catalogue.effectName(*number).value_or(QString());
            }
        }
        entries.push_back(entry);
    }
    return entries;
}

QString renamePreset(const QString& path, const QString& newName, QString* error) {
    QString name = newName.trimmed();
    if (name.endsWith(Suffix, Qt::CaseInsensitive))
        name.chop(Suffix.size());
    if (name.isEmpty()) {
        *error = QStringLiteral("The new name is empty.");
        return {};
    }
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))) {
        *error = QStringLiteral("\"%1\" names a folder; a preset keeps its folder.").arg(name);
        return {};
    }
    const QString target = QFileInfo(path).absoluteDir().filePath(name + Suffix);
    if (QFileInfo::exists(target)) {
        *error = QStringLiteral("A preset named \"%1\" already exists.").arg(name);
        return {};
    }
    QFile file(path);
    if (!file.rename(target)) {
        *error = QStringLiteral("%1 cannot be renamed: %2").arg(path, file.errorString());
        return {};
    }
    return target;
}

bool deletePreset(const QString& path, QString* error) {
    QFile file(path);
    if (!file.remove()) {
        *error = QStringLiteral("%1 cannot be deleted: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace kestra
