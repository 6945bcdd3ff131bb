// The effect catalogue the editor carries: every effect the pedal can hold
// by number, the seven categories and their members, and each effect's
// image. Nothing is cached and nothing is shown: a look-up that fails says
// why through its error.
#pragma once

#include "catalogue/ResourceStore.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

namespace kestra {

struct CategoryEntry {
    const char* displayName;
    const char* resourceName; // lower-case, as the editor asks for it
};

// The effect categories in the order the editor shows them.
inline constexpr std::array<CategoryEntry, 7> Categories{{
    {"Gain", "gain"},
    {"Modulation", "modulation"},
    {"Synthesis", "synthesis"},
    {"Filter", "filter"},
    {"Dynamic", "dynamic"},
    {"Impulse Response", "impulse_response"},
    {"Other", "other"},
}};
inline constexpr int CategoryCount = static_cast<int>(Categories.size());

// Resource name of a category, or nothing for an unknown display name.
std::optional<QString> categoryResourceName(const QString& displayName);

// Every effect the pedal can hold, one "<hexid>:<name>" row per effect
// number; row 0 is "0:empty".
inline constexpr const char* EffectListResource = "EFFECT_LIST";

// Name of effect number row in the rows of the effect list: the text after
// the first ":" (the whole row without one). The id before the colon is
// never trusted. Nothing when row is outside the list.
std::optional<QString> effectNameOfRow(const QStringList& effectList, int row);

// In FX bank mode an effect image must fit the bank slot: 5440 bytes is
// allowed, 5441 is not.
inline constexpr int BankImageLimit = 5440;
constexpr bool exceedsBankLimit(int imageBytes) {
    return imageBytes > BankImageLimit;
}

class Catalogue {
public:
    explicit Catalogue(const ResourceStore& store = ResourceStore::compiled());

    const ResourceStore& store() const { return store_; }

    // The lines of a list resource; nothing, with "Error loading resource:
    // ..." in error, when it cannot be read.
    std::optional<QStringList> list(const QString& resourceName, QString* error = nullptr) const;
    // The members of category index (0..6) in order.
    std::optional<QStringList> categoryEffects(int index, QString* error = nullptr) const;
    // The catalogue name of effect number n; nothing for 0 (no effect) and
    // numbers the catalogue does not know.
    std::optional<QString> effectName(int number, QString* error = nullptr) const;
    // The number of the effect named effectName (its row in the effect
    // list); nothing when the list names no such effect.
    std::optional<int> effectNumber(const QString& effectName) const;
    // Whether a number is one of the catalogue's effects (0 is no effect), as
    // read once now; for the framer, which reads joined status texts with it.
    std::function<bool(int)> knownEffects() const;
    // The first category holding effectName, or nothing when none does.
    std::optional<int> categoryOf(const QString& effectName) const;
    // The image of an effect as hex text (its first line).
    std::optional<QString> image(const QString& effectName, QString* error = nullptr) const;
    // Bytes of an effect's image; nothing when the image is missing.
    std::optional<int> imageSize(const QString& effectName) const;

private:
    const ResourceStore& store_;
};

} // namespace kestra
