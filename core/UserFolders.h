// Where the editor keeps the user's files: below the user's documents
// folder. Tests point it at a temporary folder so they never touch the real
// one.
#pragma once

#include <QString>

namespace kestra {

// The user's documents folder, or the folder set for tests.
QString documentsFolder();
// Overrides the documents folder; an empty path restores the user's.
void setDocumentsFolder(const QString& path);

// The folder for what the programs keep for themselves rather than for the
// player to open (the virtual pedal between runs): below the user's data
// folder ($XDG_DATA_HOME on Linux).
QString dataFolder();

} // namespace kestra
