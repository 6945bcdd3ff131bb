// Names a player types (effects, categories, parameters): matched without
// regard to case, and a near miss answered with the closest names.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace kestra {

// The name of names that text spells, ignoring case and surrounding spaces.
std::optional<QString> matchName(const QStringList& names, const QString& text);

// How many single-character edits (insert, delete, replace, swap of two
// neighbours), ignoring case, turn text into the start of name or of one of
// its words: "glimerwave" is 1 from "Glimmerwave Chorus", "chrous" 1 from it.
int nameDistance(const QString& text, const QString& name);

// The names closest to text that are near enough to be what the player
// meant, closest first and in the order of names among equals; at most
// limit of them, none when nothing is near.
QStringList closestNames(const QStringList& names, const QString& text, int limit = 3);

} // namespace kestra
