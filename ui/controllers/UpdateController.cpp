#include "ui/controllers/UpdateController.h"

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/Dialogs.h"
#include "core/MakerSite.h"
#include "core/Settings.h"
#include "core/VersionCheck.h"
#include "ui/NewVersionDialog.h"
#include "ui/Updater.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStatusBar>

namespace kestra {

namespace {
// The check runs this long after start, once.
constexpr int UpdateCheckDelayMs = 1000;
// An unresponsive server must not keep the check waiting for long.
constexpr int VersionRequestTimeoutMs = 10000;
} // namespace

UpdateController::UpdateController(PedalSession& session, QStatusBar* statusBar, QObject* menuOwner,
                                   QObject* parent)
    : FeatureController(session, parent),
      currentVersion_(appVersionText(QStringLiteral(KESTRA_EDITOR_VERSION))) {
    support_ = new QAction(QStringLiteral("Support"), menuOwner);
    connect(support_, &QAction::triggered, this,
            [] { openInBrowser(makerPage(QString::fromLatin1(makerpaths::Support))); });
    editorVersion_ = new QAction(
        QStringLiteral("Editor Version: ") + QLatin1Char(' ') + currentVersion_, menuOwner);
    editorVersion_->setEnabled(false);
    newVersionAvailable_ = new QAction(QStringLiteral("New version available:"), menuOwner);
    newVersionAvailable_->setEnabled(false);
    updateNow_ = new QAction(QStringLiteral("Update Now"), menuOwner);
    connect(updateNow_, &QAction::triggered, this, &UpdateController::onUpdateNow);
    showUpdateMessageAction_ = new QAction(QStringLiteral("Show Update Message"), menuOwner);
    showUpdateMessageAction_->setCheckable(true);
    showUpdateMessageAction_->setChecked(true);
    readStartupMessageSetting();
    connect(showUpdateMessageAction_, &QAction::toggled, this, [](bool checked) {
        // The choice applies from the next start.
        reportSaveError(settings::startupMessageFile(),
                        settings::rememberStartupMessageChoice(checked));
    });

    updateNote_ = new QLabel(statusBar);
    updateNote_->setObjectName(QStringLiteral("updateNote"));
    // A long reason is in the tooltip and the log; the note never widens the window.
    updateNote_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar->addWidget(updateNote_, 1);
}

UpdateController::~UpdateController() = default;

void UpdateController::readStartupMessageSetting() {
    const QString messageFile = settings::startupMessageFile();
    if (!QFileInfo::exists(messageFile)) {
        createSettingIfMissing(messageFile, QLatin1String(settings::Yes));
    } else if (const auto text = readSetting(messageFile)) {
        if (const auto show = settings::parseYesNo(*text))
            showUpdateMessage_ = *show;
    }
    showUpdateMessageAction_->setChecked(showUpdateMessage_);
}

void UpdateController::addSituation(EditorSituation& situation) const {
    situation.newerVersion = newerVersionKnown_;
}

void UpdateController::applyEnabledStates(const EnabledStates& e) {
    updateNow_->setEnabled(e.updateNow);
}

void UpdateController::scheduleUpdateCheck() {
    updateCheckTimer_ = Clock::instance().createTimer([this] { checkForNewerVersion(); });
    updateCheckTimer_->start(UpdateCheckDelayMs);
}

void UpdateController::checkForNewerVersion() {
    if (!network_) {
        network_ = new QNetworkAccessManager(this);
        network_->setTransferTimeout(VersionRequestTimeoutMs);
    }
    QNetworkReply* reply =
        network_->get(QNetworkRequest(makerPage(QString::fromLatin1(makerpaths::VersionDocument))));
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onVersionReply(reply); });
}

void UpdateController::onVersionReply(QNetworkReply* reply) {
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
        emit situationChanged();
        return;
    }
    newVersionAvailable_->setText(QStringLiteral("New version available:") + QLatin1Char(' ') +
                                  newestVersion_);
    newerVersionKnown_ = true;
    emit situationChanged();
    if (showUpdateMessage_ && newVersion_)
        newVersion_->showVersions(currentVersion_, newestVersion_);
}

void UpdateController::showUpdateNote(const QString& reason) {
    updateNote_->setText(QStringLiteral("Update check failed"));
    updateNote_->setToolTip(reason);
    updateNote_->setAccessibleDescription(reason);
}

void UpdateController::setNewVersionDialog(NewVersionDialog* dialog) {
    newVersion_ = dialog;
    connect(dialog, &NewVersionDialog::updateRequested, this, &UpdateController::onUpdateNow);
}

// Update Now ends the editor as closing it does: never while firmware is
// written, and not before edits are stored or left behind.
void UpdateController::onUpdateNow() {
    // Where no updater comes with the editor, the player reads how to update.
    if (!updaterAvailable())
        return Dialogs::instance().message(updateAdvice(newestVersion_));
    if (mayEnd(session_, [] { launchUpdater(); }))
        launchUpdater();
}

} // namespace kestra
