#include "core/UserFolders.h"

#include <QStandardPaths>

namespace kestra {

namespace {
QString overridden;
}

QString documentsFolder() {
    if (!overridden.isEmpty())
        return overridden;
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

void setDocumentsFolder(const QString& path) {
    overridden = path;
}

QString dataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Kestra");
}

} // namespace kestra
