#include "catalogue/EffectSearch.h"

#include <QSet>

namespace kestra {

std::vector<EffectMatch> searchEffects(const Catalogue& catalogue, const QString& text) {
    const QString wanted = text.trimmed();
    std::vector<EffectMatch> matches;
    if (wanted.isEmpty())
        return matches;
    QSet<QString> found;
    for (int category = 0; category < CategoryCount; ++category) {
        for (const QString& name : catalogue.categoryEffects(category).value_or(QStringList())) {
            if (name.contains(wanted, Qt::CaseInsensitive) && !found.contains(name)) {
                found.insert(name);
                matches.push_back({name, category});
            }
        }
    }
    return matches;
}

} // namespace kestra
