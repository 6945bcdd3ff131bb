// Finding effects by name across every category, as the player types.
#pragma once

#include "catalogue/Catalogue.h"

#include <QString>
#include <vector>

namespace kestra {

struct EffectMatch {
    QString name;
    int category = 0; // index into Categories
    bool operator==(const EffectMatch&) const = default;
};

// The effects whose name holds text (spaces around it ignored), ignoring
// case, category by category in the order the lists show them; an effect of
// two categories comes once, in the first. Nothing for a blank text.
std::vector<EffectMatch> searchEffects(const Catalogue& catalogue, const QString& text);

} // namespace kestra
