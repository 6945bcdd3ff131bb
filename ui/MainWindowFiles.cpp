// The main window's files: preset files of the stored effect's parameter
// state, and impulse responses loaded into an IR effect's image.
#include "core/DebugLog.h"
#include "core/UserFolders.h"
#include "ir/IrLoader.h"
#include "operations/Configuration.h"
#include "ui/MainWindow.h"
#include "ui/ParameterWindow.h"

#include <QDir>
#include <QFileInfo>

namespace kestra {

namespace {
const char PresetFilter[] = "Preset files (*.txt)";
const char PresetSuffix[] = ".txt";
} // namespace

// Values, routing and flags only mean something for the effect on the pedal:
// applied to another effect's window they would reach the wrong addresses.
bool MainWindow::showsStoredEffect(bool tell) const {
    const bool shown = session_.showsStoredEffect();
    if (!shown && tell)
        Dialogs::instance().error(
            QStringLiteral("The parameter window does not show the effect stored on the pedal."
                           "\n\nClick \"Get FX Stored on Pedal\" and \"Request\", then try "
                           "again."));
    return shown;
}

void MainWindow::onSaveConfiguration() {
    // A file of stale values would look like the pedal's: read them again
    // first; the Request tells the player if that fails.
    session_.requestState([this](const SessionResult& read) {
        if (!read.ok())
            return report(read);
        const StoredEffect& stored = session_.storedEffect();
        const Configuration configuration =
            configurationOf(parameters_, stored.number, stored.version);
        const QString folder = presetFolder();
        QDir().mkpath(folder);
        QString path = Dialogs::instance().saveFile(
            {QStringLiteral("Save Preset File"), folder, selectedEffect_,
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
        Dialogs::instance().message(QStringLiteral("File saved successfully: ") + path);
    });
}

void MainWindow::onLoadConfiguration() {
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

void MainWindow::loadConfigurationFile(const QString& path) {
    if (!showsStoredEffect(true))
        return;
    QString error;
    const std::optional<QString> text = readPresetFile(path, &error);
    if (!text) {
        Dialogs::instance().error(QStringLiteral("Error loading file: ") + error +
                                  QStringLiteral("\n\nChoose another preset file."));
        return;
    }
    Dialogs::instance().message(QStringLiteral("File loaded successfully: ") + path);
    debugLog(*text);
    const ConfigurationReading reading =
        readConfiguration(*text, {session_.storedEffect().number, session_.storedEffect().version,
                                  parameters_.parameterCount(), parameters_.readbackCount()});
    if (!reading.configuration) {
        Dialogs::instance().error(reading.error);
        return;
    }
    session_.sendConfiguration(*reading.configuration);
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

void MainWindow::onLoadImpulseResponse() {
    const QString effect = selectedEffect_;
    if (!takesImpulseResponse(effect))
        return;
    // The documents folder unless the player has chosen a file before.
    if (irDialog_.folder.isEmpty())
        irDialog_.folder = documentsFolder();
    const QString path = Dialogs::instance().openFile(irDialog_);
    if (path.isEmpty())
        return;
    loadImpulseResponseFile(path);
}

void MainWindow::loadImpulseResponseFile(const QString& path) {
    const QString effect = selectedEffect_;
    if (!takesImpulseResponse(effect))
        return;
    irDialog_.folder = QFileInfo(path).absolutePath();
    QString error;
    const std::optional<IrLoad> load = loadImpulseResponse(path, effect, catalogue_, &error);
    if (!load) {
        Dialogs::instance().error(error);
        return;
    }
    session_.setImpulseResponseImage(effect, load->image);
    Dialogs::instance().message(irSummary(load->impulse));
}

} // namespace kestra
