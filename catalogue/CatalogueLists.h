// The lists the editor loads from the catalogue: the effect names of a
// category (or the whole effect list) and the image of one effect. Owned by
// the main window; every load replaces the previous list or keeps it when the
// resource cannot be read.
#pragma once

#include "catalogue/ResourceStore.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

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

class CatalogueLists {
public:
    explicit CatalogueLists(const ResourceStore& store = ResourceStore::compiled());

    // Loads the lines of resourceName into categoryList. On failure shows
    // "Error loading resource: ...", keeps the previous list and returns
    // false.
    bool read_file_from_stream(const QString& resourceName);
    // Same for imageList.
    bool read_file_from_stream2(const QString& resourceName);

    // Bytes of the image of effectName (first image line, two hex digits per
    // byte). When the image cannot be loaded the previously loaded image is
    // measured: the callers have always relied on that.
    std::uint16_t getEffectSize(const QString& effectName);

    // For each row of a category list, whether its image is too large for
    // an FX bank slot. Loads every image in turn (imageList ends up holding
    // the last one).
    std::vector<bool> rowsExceedingBankLimit(const QStringList& rows);

    QStringList categoryList;
    QStringList imageList;

private:
    bool load(const QString& resourceName, QStringList& target);

    const ResourceStore& store_;
};

} // namespace kestra
