// The main window's local settings (the folders, the mode and start-up
// message files, the Look menu) and the update check.
#include "catalogue/ResourceStore.h"
#include "core/DebugLog.h"
#include "core/MakerSite.h"
#include "core/Settings.h"
#include "core/VersionCheck.h"
#include "ui/MainWindow.h"
#include "ui/NewVersionDialog.h"
#include "ui/Updater.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace kestra {

namespace {
constexpr int LookEntries = 8;
// A look's name, from its first line: "/* Kestra Editor skin: Daylight (light) */".
QString lookName(const QByteArray& style, int number) {
    const QString first = QString::fromUtf8(style.left(style.indexOf('\n')));
    const QString marker = QStringLiteral("skin: ");
    const qsizetype start = first.indexOf(marker);
    if (start < 0)
        return QString::number(number);
    QString name = first.mid(start + marker.size());
    for (const QString& end : {QStringLiteral(" ("), QStringLiteral("*/")}) {
        const qsizetype at = name.indexOf(end);
        if (at >= 0)
            name.truncate(at);
    }
    name = name.trimmed();
    return name.isEmpty() ? QString::number(number) : name;
}

// The check runs this long after start, once.
constexpr int UpdateCheckDelayMs = 1000;
// An unresponsive server must not keep the check waiting for long.
constexpr int VersionRequestTimeoutMs = 10000;

void reportSaveError(const QString& path, const QString& error) {
    if (!error.isEmpty())
        Dialogs::instance().error(settings::saveErrorMessage(path, error));
}

// The file's text, or nothing when it cannot be read (the default stays).
std::optional<QString> readSetting(const QString& path) {
    QString error;
    auto text = settings::readText(path, &error);
    if (!text)
        debugLog(QStringLiteral("Cannot read ") + path + QStringLiteral(": ") + error);
    return text;
}

void createIfMissing(const QString& path, const QString& text) {
    if (!QFileInfo::exists(path))
        reportSaveError(path, settings::writeText(path, text));
}
} // namespace

void MainWindow::createSettingsFolders() {
    const QString maker = QString::fromLatin1(settings::MakerFolder);
    if (const QString error = settings::makeFolder(settings::folderPath(maker)); !error.isEmpty())
        Dialogs::instance().error(QStringLiteral("Error creating folder: ") + error);
    if (const QString error = settings::makeFolder(
            settings::subfolderPath(maker, QString::fromLatin1(settings::ProductFolder)));
        !error.isEmpty())
        Dialogs::instance().error(QStringLiteral("Error creating subfolder: ") + error);
}

void MainWindow::loadStartupSettings() {
    const QString messageFile = settings::startupMessageFile();
    if (!QFileInfo::exists(messageFile)) {
        createIfMissing(messageFile, QLatin1String(settings::Yes));
    } else if (const auto text = readSetting(messageFile)) {
        if (const auto show = settings::parseYesNo(*text))
            showUpdateMessage_ = *show;
    }
    {
        // Reading the setting is no choice of the player's: write nothing.
        const QSignalBlocker quiet(showUpdateMessageAction_);
        showUpdateMessageAction_->setChecked(showUpdateMessage_);
    }

    const QString modeFile = settings::modeFile();
    createIfMissing(modeFile, QLatin1String(settings::PresetMode));
    const auto text = QFileInfo::exists(modeFile) ? readSetting(modeFile) : std::nullopt;
    const auto bank = text ? settings::parseMode(*text) : std::nullopt;
    if (!bank)
        return;
    session_.restoreMode(*bank);
    presetMode_->setChecked(!*bank);
    bankModeAction_->setChecked(*bank);
}

void MainWindow::createLookMenu() {
    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    for (int n = 0; n < LookEntries; ++n) {
        const auto style = ResourceStore::compiled().find(settings::styleResourceName(n));
        if (!style)
            continue;
        QAction* entry = look_->addAction(lookName(*style, n));
        entry->setData(n);
        entry->setCheckable(true);
        group->addAction(entry);
        connect(entry, &QAction::triggered, this, [this, entry] { onLookChosen(entry); });
    }
}

bool MainWindow::applyStyle(int number) {
    const auto style = ResourceStore::compiled().find(settings::styleResourceName(number));
    if (!style) {
        debugLog(QStringLiteral("No look number %1; the current look stays").arg(number));
        return false;
    }
    qApp->setStyleSheet(QString::fromUtf8(*style));
    for (QAction* entry : look_->actions())
        entry->setChecked(entry->data().toInt() == number);
    return true;
}

void MainWindow::applySavedStyle() {
    const QString path = settings::styleFile();
    if (!QFileInfo::exists(path)) {
        applyStyle(0);
        return;
    }
    const auto text = readSetting(path);
    const auto number = text ? settings::parseStyleNumber(*text) : std::nullopt;
    if (!number) {
        debugLog(QStringLiteral("The look setting in ") + path +
                 QStringLiteral(" is not a number; using look 0"));
        applyStyle(0);
        return;
    }
    applyStyle(*number);
}

void MainWindow::onLookChosen(QAction* entry) {
    const int number = entry->data().toInt();
    applyStyle(number);
    const QString path = settings::styleFile();
    reportSaveError(path, settings::writeText(path, QString::number(number)));
}

void MainWindow::onShowUpdateMessageToggled(bool checked) {
    // The choice applies from the next start.
    reportSaveError(settings::startupMessageFile(),
                    settings::rememberStartupMessageChoice(checked));
}

void MainWindow::scheduleUpdateCheck() {
    updateCheckTimer_ = Clock::instance().createTimer([this] { checkForNewerVersion(); });
    updateCheckTimer_->start(UpdateCheckDelayMs);
}

void MainWindow::checkForNewerVersion() {
    if (!network_) {
        network_ = new QNetworkAccessManager(this);
        network_->setTransferTimeout(VersionRequestTimeoutMs);
    }
    QNetworkReply* reply =
        network_->get(QNetworkRequest(makerPage(QString::fromLatin1(makerpaths::VersionDocument))));
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onVersionReply(reply); });
}

void MainWindow::onVersionReply(QNetworkReply* reply) {
    reply->deleteLater();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    QString failure;
    if (!status.isValid())
        failure = QStringLiteral("Could not check for a newer version of the editor: ") +
                  reply->errorString() +
                  QStringLiteral(".\nCheck the internet connection; the editor works without it.");
    else if (status.toInt() != 200)
        failure = QStringLiteral("Error: ") +
                  reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    if (!failure.isEmpty()) {
        // The editor works without the check: no dialog interrupts the start.
        debugLog(failure);
        newVersionAvailable_->setText(QStringLiteral("New version available: could not check"));
        showUpdateNote(failure);
        return;
    }
    newestVersion_ = QString::fromUtf8(reply->readAll());
    debugLog(QStringLiteral("currentAppVersion: ") + currentVersion_);
    debugLog(QStringLiteral("newAppVersion: ") + newestVersion_);
    const std::optional<bool> newer = isNewerVersion(newestVersion_, currentVersion_);
    if (!newer) {
        const QString failure = QStringLiteral("Cannot compare the versions \"") + newestVersion_ +
                                QStringLiteral("\" and \"") + currentVersion_ +
                                QStringLiteral("\"");
        debugLog(failure);
        showUpdateNote(failure);
        return;
    }
    if (!*newer) {
        newVersionAvailable_->setText(QStringLiteral("No update available"));
        newerVersionKnown_ = false;
        refreshEnabledStates();
        return;
    }
    newVersionAvailable_->setText(QStringLiteral("New version available:") + QLatin1Char(' ') +
                                  newestVersion_);
    newerVersionKnown_ = true;
    refreshEnabledStates();
    if (showUpdateMessage_ && newVersion_)
        newVersion_->showVersions(currentVersion_, newestVersion_);
}

void MainWindow::setNewVersionDialog(NewVersionDialog* dialog) {
    newVersion_ = dialog;
    connect(dialog, &NewVersionDialog::updateRequested, this, &MainWindow::onUpdateNow);
}

// Update Now ends the editor as closing it does: never while firmware is
// written, and not before edits are stored or left behind.
void MainWindow::onUpdateNow() {
    // Where no updater comes with the editor, the player reads how to update.
    if (!updaterAvailable())
        return Dialogs::instance().message(updateAdvice(newestVersion_));
    if (mayEnd([] { launchUpdater(); }))
        launchUpdater();
}

} // namespace kestra
