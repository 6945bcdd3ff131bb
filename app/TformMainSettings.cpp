// The main window's local settings: the settings folders and files, the
// mode and start-up message choice read at start, and the Look menu.
#include "app/TformMain.h"
#include "catalogue/ResourceStore.h"
#include "core/DebugLog.h"
#include "core/Prompts.h"
#include "core/Settings.h"

#include <QApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QMenu>
#include <QRadioButton>

namespace kestra {

namespace {
constexpr int LookEntries = 7;

void reportSaveError(const QString& path, const QString& error) {
    if (!error.isEmpty())
        Prompts::instance().error(settings::saveErrorMessage(path, error));
}

// The file's text, or nothing when it cannot be read (the default stays).
std::optional<QString> readSetting(const QString& path) {
    QString error;
    auto text = settings::readText(path, &error);
    if (!text)
        debugLog(QStringLiteral("Cannot read ") + path + QStringLiteral(": ") + error);
    return text;
}

// Creates the file with text unless it exists.
void createIfMissing(const QString& path, const QString& text) {
    if (!QFileInfo::exists(path))
        reportSaveError(path, settings::writeText(path, text));
}
} // namespace

void TformMain::createSettingsFolder(const QString& folder) {
    const QString error = settings::makeFolder(settings::folderPath(folder));
    if (!error.isEmpty())
        Prompts::instance().error(QStringLiteral("Error creating folder: ") + error);
}

void TformMain::createSettingsSubfolder(const QString& folder, const QString& subfolder) {
    const QString error = settings::makeFolder(settings::subfolderPath(folder, subfolder));
    if (!error.isEmpty())
        Prompts::instance().error(QStringLiteral("Error creating subfolder: ") + error);
}

void TformMain::loadStartupSettings() {
    const QString messageFile = settings::startupMessageFile();
    if (!QFileInfo::exists(messageFile)) {
        createIfMissing(messageFile, QLatin1String(settings::Yes));
    } else if (const auto text = readSetting(messageFile)) {
        if (const auto show = settings::parseYesNo(*text))
            state_.showUpdateMessage = *show;
    }
    menuShowUpdateMsg->setChecked(state_.showUpdateMessage);

    const QString modeFile = settings::modeFile();
    createIfMissing(modeFile, QLatin1String(settings::PresetMode));
    const auto text = QFileInfo::exists(modeFile) ? readSetting(modeFile) : std::nullopt;
    const auto bank = text ? settings::parseMode(*text) : std::nullopt;
    if (!bank)
        return;
    state_.bankMode = *bank;
    menuModePreset->setChecked(!*bank);
    menuModeBank->setChecked(*bank);
    lblBankNum->setEnabled(*bank);
    if (*bank)
        rdbtnBank1->setChecked(true);
}

void TformMain::createLookMenu() {
    for (int n = 0; n < LookEntries; ++n) {
        QAction* entry = menuLook->addAction(QString::number(n));
        entry->setData(n);
        connect(entry, &QAction::triggered, this, [this, entry] { menuLookClickItem(entry); });
    }
}

bool TformMain::applyStyle(int n) {
    const auto style = ResourceStore::compiled().find(settings::styleResourceName(n));
    if (!style) {
        debugLog(QStringLiteral("No look number %1; the current look stays").arg(n));
        return false;
    }
    qApp->setStyleSheet(QString::fromUtf8(*style));
    return true;
}

void TformMain::applySavedStyle() {
    const QString path = settings::styleFile();
    if (!QFileInfo::exists(path)) {
        applyStyle(0);
        return;
    }
    const auto text = readSetting(path);
    const auto n = text ? settings::parseStyleNumber(*text) : std::nullopt;
    if (!n) {
        debugLog(QStringLiteral("The look setting in ") + path +
                 QStringLiteral(" is not a number; using look 0"));
        applyStyle(0);
        return;
    }
    applyStyle(*n);
}

void TformMain::menuLookClickItem(QAction* entry) {
    const int n = entry->data().toInt();
    applyStyle(n);
    const QString path = settings::styleFile();
    reportSaveError(path, settings::writeText(path, QString::number(n)));
}

void TformMain::menuShowUpdateMsgClick() {
    reportSaveError(settings::startupMessageFile(),
                    settings::rememberStartupMessageChoice(menuShowUpdateMsg->isChecked()));
}

void TformMain::writeModeFile() {
    reportSaveError(settings::modeFile(), settings::writeMode(state_.bankMode));
}

} // namespace kestra
