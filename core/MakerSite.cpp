#include "core/MakerSite.h"

namespace kestra {

namespace {
QString overridden;
}

QString makerSite() {
    QString base = overridden.isEmpty() ? QStringLiteral("https://" KESTRA_MAKER_HOST) : overridden;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

void setMakerSite(const QString& base) {
    overridden = base;
}

QUrl makerPage(const QString& path) {
    return QUrl(makerSite() + path);
}

} // namespace kestra
