// A backup of the pedal: both EEPROM devices as the pedal dumps them, the
// stored effect's number and version, its configuration as Request reads it
// (in the preset file's format), the date and the editor's version, in one
// text file. The pedal's protocol can read the EEPROM devices but not write
// them: a restore uploads the effect again and applies its configuration,
// and the dumps stay in the file for reference.
#pragma once

#include "operations/PedalOperations.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace kestra {

class Catalogue;
class Connection;

// The size of each EEPROM device's dump.
inline constexpr int EepromBytes = 16384;

struct Backup {
    QDateTime date; // UTC
    QString editorVersion;
    int firmwareVersion = 0;
    int effectNumber = 0; // 0 when the pedal held no effect
    int effectVersion = 0;
    QString effectName; // the catalogue's name; empty when it knows none
    // composeConfiguration() text; empty when there was no state to read
    // (no effect, or one the catalogue does not know).
    QString configuration;
    QByteArray eeprom50;
    QByteArray eeprom51;

    bool operator==(const Backup&) const = default;
};

// The folder the backup dialogs start in (below the documents folder).
QString backupFolder();
// The name the save dialog proposes.
QString backupFileName(const QDateTime& date);

QByteArray composeBackup(const Backup& backup);

struct BackupReading {
    std::optional<Backup> backup; // nothing when refused
    QString error;                // why, for the player
};
BackupReading parseBackup(const QByteArray& bytes);

// Writes through a temporary file, so an existing file survives a failure.
bool writeBackupFile(const QString& path, const Backup& backup, QString* error);
BackupReading readBackupFile(const QString& path);

// Reads everything a backup holds from the linked pedal, one exchange after
// another: the stored effect, its state (when the catalogue knows the
// effect), then the EEPROM devices 0x50 and 0x51. The date and the editor's
// version are the caller's to fill in. False (and why) when the first
// exchange cannot start; otherwise done is called once.
bool collectBackup(Connection& connection, const Catalogue& catalogue,
                   std::function<void(const Outcome<Backup>&)> done, QString* why);

} // namespace kestra
