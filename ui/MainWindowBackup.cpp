// The main window's backups: Back Up Pedal, the backup offered before
// Erase Settings and Firmware Upgrade Mode, and Restore from Backup.
#include "catalogue/Upload.h"
#include "operations/Configuration.h"
#include "ui/MainWindow.h"
#include "ui/ParameterWindow.h"

#include <QAction>
#include <QDir>

namespace kestra {

namespace {
const char BackupFilter[] = "Pedal backups (*.kbackup)";
const char BackupSuffix[] = ".kbackup";

const QString EepromNote =
    QStringLiteral("The EEPROM contents stay in the backup file for reference: the pedal's "
                   "protocol can read them but cannot write them back.");

QString dateText(const QDateTime& date) {
    return QLocale().toString(date.toLocalTime(), QLocale::ShortFormat);
}
} // namespace

void MainWindow::onBackUpPedal() {
    backUpThen({});
}

void MainWindow::backUpThen(std::function<void(bool written)> then) {
    const auto finish = [then](bool written) {
        if (then)
            then(written);
    };
    const QString folder = backupFolder();
    QDir().mkpath(folder);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QString path = Dialogs::instance().saveFile(
        {QStringLiteral("Back Up Pedal"), folder, backupFileName(now.toLocalTime()),
         QString::fromLatin1(BackupFilter), QStringLiteral("kbackup")});
    if (path.isEmpty())
        return finish(false);
    if (!path.endsWith(QLatin1String(BackupSuffix)))
        path += QLatin1String(BackupSuffix);
    QString why;
    const bool started = collectBackup(
        connection_, catalogue_,
        [this, path, now, finish](const Outcome<Backup>& outcome) {
            if (!outcome.ok()) {
                // A link that ended says so itself.
                if (!outcome.error.isEmpty())
                    Dialogs::instance().error(QStringLiteral("No backup was made, and nothing "
                                                             "else was done: ") +
                                              outcome.error);
                return finish(false);
            }
            Backup backup = *outcome.value;
            backup.date = now;
            backup.editorVersion = currentVersion_;
            QString error;
            if (!writeBackupFile(path, backup, &error)) {
                Dialogs::instance().error(QStringLiteral("Error saving the backup: ") + error +
                                          QStringLiteral("\n\nNothing else was done. Choose "
                                                         "another folder or name and back up "
                                                         "again."));
                return finish(false);
            }
            Dialogs::instance().message(QStringLiteral("Backup saved: ") + path);
            finish(true);
        },
        &why);
    if (!started) {
        Dialogs::instance().error(why);
        finish(false);
    }
}

void MainWindow::offerBackupThen(const QString& before, std::function<void()> then) {
    const Dialogs::Choice choice = Dialogs::instance().offer(
        QStringLiteral("Back up the pedal before %1?\n\nThe backup file keeps both EEPROM "
                       "memories, the stored effect and its configuration.")
            .arg(before),
        Dialogs::Default::Yes);
    switch (choice) {
    case Dialogs::Choice::Cancel:
        return;
    case Dialogs::Choice::No:
        return then();
    case Dialogs::Choice::Yes:
        backUpThen([then](bool written) {
            if (written)
                then();
        });
        return;
    }
}

void MainWindow::onRestoreFromBackup() {
    const QString folder = backupFolder();
    QDir().mkpath(folder);
    const QString path = Dialogs::instance().openFile(
        {QStringLiteral("Restore from Backup"), folder, QString(),
         QString::fromLatin1(BackupFilter), QStringLiteral("kbackup")});
    if (path.isEmpty())
        return;
    restoreBackupFile(path);
}

void MainWindow::restoreBackupFile(const QString& path) {
    const BackupReading reading = readBackupFile(path);
    if (!reading.backup) {
        Dialogs::instance().error(reading.error);
        return;
    }
    const Backup& backup = *reading.backup;
    const std::optional<QString> effect =
        backup.effectNumber == 0 ? std::nullopt : catalogue_.effectName(backup.effectNumber);
    if (!effect) {
        Dialogs::instance().error(
            (backup.effectNumber == 0
                 ? QStringLiteral("The backup holds no effect: the pedal held none when it was "
                                  "made, so there is nothing to upload.")
                 : QStringLiteral("The backup holds effect number %1, which this editor's "
                                  "catalogue does not know, so it cannot be uploaded.")
                       .arg(backup.effectNumber)) +
            QStringLiteral("\n\n") + EepromNote);
        return;
    }
    if (!Dialogs::instance().confirm(
            QStringLiteral("Restore the backup of %1?\n\nThe editor uploads %2 to the pedal and "
                           "applies the configuration the backup holds.\n\n")
                .arg(dateText(backup.date), *effect) +
            EepromNote))
        return;
    // The upload replaces the effect whose edits may not be stored yet.
    session_.confirmLeavingEdits([this, backup, name = *effect] {
        session_.upload(name, true, [this, backup](const SessionResult& result) {
            if (!result.ok())
                return report(result);
            applyRestoredConfiguration(backup);
        });
    });
}

// Runs once the uploaded effect is read back and its state requested.
void MainWindow::applyRestoredConfiguration(const Backup& backup) {
    if (!showsStoredEffect(true))
        return;
    if (!backup.configuration.isEmpty()) {
        const ConfigurationReading reading =
            readConfiguration(presetFileText(backup.configuration.toUtf8()),
                              {session_.storedEffect().number, session_.storedEffect().version,
                               parameters_.parameterCount(), parameters_.readbackCount()});
        if (!reading.configuration) {
            Dialogs::instance().error(QStringLiteral("The effect was uploaded, but the "
                                                     "backup's configuration was not applied: ") +
                                      reading.error);
            return;
        }
        session_.sendConfiguration(*reading.configuration);
    }
    Dialogs::instance().message(
        QStringLiteral("%1 is restored from the backup of %2. Choose Store Settings On Pedal to "
                       "keep its configuration on the pedal.\n\n")
            .arg(session_.storedEffect().name, dateText(backup.date)) +
        EepromNote);
}

} // namespace kestra
