#include "ui/controllers/FilesController.h"

#include "catalogue/Upload.h"
#include "core/DebugLog.h"
#include "core/UserFolders.h"
#include "core/VersionCheck.h"
#include "ir/IrLoader.h"
#include "operations/Configuration.h"
#include "ui/FileDrop.h"
#include "ui/PresetLibraryWindow.h"
#include "ui/controllers/CatalogueController.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QWidget>

namespace kestra {

namespace {
const char PresetFilter[] = "Preset files (*.txt)";
const char PresetSuffix[] = ".txt";
const char BackupFilter[] = "Pedal backups (*.kbackup)";
const char BackupSuffix[] = ".kbackup";

const QString EepromNote =
    QStringLiteral("The EEPROM contents stay in the backup file for reference: the pedal's "
                   "protocol can read them but cannot write them back.");

QString dateText(const QDateTime& date) {
    return QLocale().toString(date.toLocalTime(), QLocale::ShortFormat);
}
} // namespace

FilesController::FilesController(PedalSession& session, const CatalogueController& catalogue,
                                 QWidget* window, QObject* menuOwner, QObject* parent)
    : FeatureController(session, parent), catalogue_(catalogue) {
    loadConfiguration_ = new QAction(QStringLiteral("Load Configuration"), menuOwner);
    loadConfiguration_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    saveConfiguration_ = new QAction(QStringLiteral("Save Configuration"), menuOwner);
    saveConfiguration_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    loadImpulseResponse_ = new QAction(QStringLiteral("Load IR"), menuOwner);
    presetLibraryEntry_ = new QAction(QStringLiteral("Preset Library…"), menuOwner);
    backUp_ = new QAction(QStringLiteral("Back Up Pedal…"), menuOwner);
    restore_ = new QAction(QStringLiteral("Restore from Backup…"), menuOwner);
    connect(loadConfiguration_, &QAction::triggered, this, &FilesController::onLoadConfiguration);
    connect(saveConfiguration_, &QAction::triggered, this, &FilesController::onSaveConfiguration);
    connect(loadImpulseResponse_, &QAction::triggered, this,
            &FilesController::onLoadImpulseResponse);
    connect(presetLibraryEntry_, &QAction::triggered, this, &FilesController::onPresetLibrary);
    connect(backUp_, &QAction::triggered, this, [this] { backUpThen({}); });
    connect(restore_, &QAction::triggered, this, &FilesController::onRestoreFromBackup);

    irDialog_.title = QStringLiteral("Load IR");
    irDialog_.filter = QStringLiteral("Wave Files (*.wav)");
    irDialog_.defaultSuffix = QStringLiteral("wav");

    fileDrop_ = new FileDrop({[this](const QString& path) { loadImpulseResponseFile(path); },
                              [this](const QString& path) { loadConfigurationFile(path); },
                              [this](const QString& path) { restoreBackupFile(path); }},
                             this);
    fileDrop_->watch(window);

    presetLibrary_ = new PresetLibraryWindow(session_.catalogue(), window);
    connect(presetLibrary_, &PresetLibraryWindow::loadRequested, this,
            &FilesController::loadConfigurationFile);
    connect(&session_, &PedalSession::storedEffectChanged, this, [this] {
        const StoredEffect& stored = session_.storedEffect();
        presetLibrary_->setStoredEffect(stored.name.isEmpty() ? 0 : stored.number);
    });
}

void FilesController::takeDrops(QWidget* window) {
    fileDrop_->watch(window);
}

void FilesController::applyEnabledStates(const EnabledStates& e) {
    loadConfiguration_->setEnabled(e.loadConfiguration);
    saveConfiguration_->setEnabled(e.saveConfiguration);
    loadImpulseResponse_->setEnabled(e.loadImpulseResponse);
    backUp_->setEnabled(e.backup);
    restore_->setEnabled(e.restore);
    presetLibrary_->applyEnabledStates(e);
}

// Values, routing and flags only mean something for the effect on the pedal:
// applied to another effect's window they would reach the wrong addresses.
bool FilesController::showsStoredEffect(bool tell) const {
    const bool shown = session_.showsStoredEffect();
    if (!shown && tell)
        Dialogs::instance().error(
            QStringLiteral("The parameter window does not show the effect stored on the pedal."
                           "\n\nClick \"Get FX Stored on Pedal\" and \"Request\", then try "
                           "again."));
    return shown;
}

void FilesController::onSaveConfiguration() {
    // A file of stale values would look like the pedal's: read them (and an
    // unknown version) again first; the reads tell the player if they fail.
    session_.readVersionIfUnknown([this](const SessionResult& version) {
        if (!version.ok())
            return report(version);
        session_.requestState([this](const SessionResult& read) {
            if (!read.ok())
                return report(read);
            saveConfiguration();
        });
    });
}

void FilesController::saveConfiguration() {
    const StoredEffect& stored = session_.storedEffect();
    const Configuration configuration =
        configurationOf(session_.parameters(), stored.number, stored.version);
    const QString folder = presetFolder();
    QDir().mkpath(folder);
    QString path = Dialogs::instance().saveFile(
        {QStringLiteral("Save Preset File"), folder, catalogue_.selectedEffect(),
         QString::fromLatin1(PresetFilter), QStringLiteral("txt")});
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(PresetSuffix)))
        path += QLatin1String(PresetSuffix);
    QString error;
    if (!writePresetFile(path, composeConfiguration(configuration), &error)) {
        Dialogs::instance().error(QStringLiteral("Error saving file: ") + error +
                                  QStringLiteral("\n\nChoose another folder or name and "
                                                 "save again."));
        return;
    }
    emit statusMessage(QStringLiteral("File saved successfully: ") + path);
}

void FilesController::onLoadConfiguration() {
    if (!showsStoredEffect(true))
        return;
    const QString folder = presetFolder();
    QDir().mkpath(folder);
    const QString path =
        Dialogs::instance().openFile({QStringLiteral("Open Preset File"), folder, QString(),
                                      QString::fromLatin1(PresetFilter), QStringLiteral("txt")});
    if (path.isEmpty())
        return;
    loadConfigurationFile(path);
}

void FilesController::loadConfigurationFile(const QString& path) {
    if (!showsStoredEffect(true))
        return;
    QString error;
    const std::optional<QString> text = readPresetFile(path, &error);
    if (!text) {
        Dialogs::instance().error(QStringLiteral("Error loading file: ") + error +
                                  QStringLiteral("\n\nChoose another preset file."));
        return;
    }
    debugLog(*text);
    session_.loadConfiguration(*text, [this, path](const SessionResult& result) {
        if (!result.ok())
            return report(result);
        emit statusMessage(QStringLiteral("File loaded successfully: ") + path);
    });
}

namespace {
// Whether effect takes an impulse response; if not, the player hears how to
// pick one that does.
bool takesImpulseResponse(const QString& effect) {
    if (irRuleFor(effect))
        return true;
    Dialogs::instance().error(
        QStringLiteral("\"%1\" takes no impulse response.\n\nSelect one of the effects in "
                       "the Impulse Response category, then choose File > Load IR.")
            .arg(effect));
    return false;
}
} // namespace

void FilesController::onLoadImpulseResponse() {
    if (!takesImpulseResponse(catalogue_.selectedEffect()))
        return;
    // The documents folder unless the player has chosen a file before.
    if (irDialog_.folder.isEmpty())
        irDialog_.folder = documentsFolder();
    const QString path = Dialogs::instance().openFile(irDialog_);
    if (path.isEmpty())
        return;
    loadImpulseResponseFile(path);
}

void FilesController::loadImpulseResponseFile(const QString& path) {
    const QString effect = catalogue_.selectedEffect();
    if (!takesImpulseResponse(effect))
        return;
    irDialog_.folder = QFileInfo(path).absolutePath();
    QString error;
    const std::optional<IrLoad> load =
        loadImpulseResponse(path, effect, session_.catalogue(), &error);
    if (!load) {
        Dialogs::instance().error(error);
        return;
    }
    session_.setImpulseResponseImage(effect, load->image);
    Dialogs::instance().message(irSummary(load->impulse));
}

void FilesController::onPresetLibrary() {
    presetLibrary_->show();
    presetLibrary_->raise();
    presetLibrary_->activateWindow();
}

// ---------------------------------------------------------------------------
// Backups

void FilesController::backUpThen(std::function<void(bool written)> then) {
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
        session_.connection(), session_.catalogue(),
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
            backup.editorVersion = appVersionText(QStringLiteral(KESTRA_EDITOR_VERSION));
            QString error;
            if (!writeBackupFile(path, backup, &error)) {
                Dialogs::instance().error(QStringLiteral("Error saving the backup: ") + error +
                                          QStringLiteral("\n\nNothing else was done. Choose "
                                                         "another folder or name and back up "
                                                         "again."));
                return finish(false);
            }
            emit statusMessage(QStringLiteral("Backup saved: ") + path);
            finish(true);
        },
        &why);
    if (!started) {
        Dialogs::instance().error(why);
        finish(false);
    }
}

void FilesController::offerBackupThen(const QString& before, std::function<void()> then) {
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

void FilesController::onRestoreFromBackup() {
    const QString folder = backupFolder();
    QDir().mkpath(folder);
    const QString path = Dialogs::instance().openFile(
        {QStringLiteral("Restore from Backup"), folder, QString(),
         QString::fromLatin1(BackupFilter), QStringLiteral("kbackup")});
    if (path.isEmpty())
        return;
    restoreBackupFile(path);
}

void FilesController::restoreBackupFile(const QString& path) {
    const BackupReading reading = readBackupFile(path);
    if (!reading.backup) {
        Dialogs::instance().error(reading.error);
        return;
    }
    const Backup& backup = *reading.backup;
    const std::optional<QString> effect =
        backup.effectNumber == 0 ? std::nullopt
                                 : session_.catalogue().effectName(backup.effectNumber);
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
void FilesController::applyRestoredConfiguration(const Backup& backup) {
    if (!showsStoredEffect(true))
        return;
    if (!backup.configuration.isEmpty()) {
        const ParameterModel& parameters = session_.parameters();
        const ConfigurationReading reading =
            readConfiguration(presetFileText(backup.configuration.toUtf8()),
                              {session_.storedEffect().number, session_.storedEffect().version,
                               parameters.parameterCount(), parameters.readbackCount()});
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
