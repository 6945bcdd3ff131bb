// The player's preset files as a library: each file of the preset folder
// with the effect it belongs to (from its header) and its date; renaming
// and deleting them. Nothing here asks or shows anything.
#pragma once

#include <QDateTime>
#include <QString>
#include <vector>

namespace kestra {

class Catalogue;

struct PresetEntry {
    QString path;
    QString name;           // the file name without ".txt"
    int effectNumber = -1;  // -1 when the header cannot be read
    int effectVersion = -1; // -1 when the header cannot be read
    QString effectName;     // the catalogue's name; empty when it knows none
    QDateTime modified;     // when the file was last written
};

// The preset files (*.txt) of folder, by name, case-insensitively.
std::vector<PresetEntry> listPresets(const QString& folder, const Catalogue& catalogue);

// Gives the file at path the name newName (".txt" added when missing) in
// the same folder. Refuses an empty name, a name with a folder in it and a
// name another file has. The new path, or empty (and *error).
QString renamePreset(const QString& path, const QString& newName, QString* error);
bool deletePreset(const QString& path, QString* error);

} // namespace kestra
