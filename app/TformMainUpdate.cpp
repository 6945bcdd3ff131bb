// The main window's update check: one request for the maker's newest
// version shortly after start, the Info menu entries and the New Version
// window.
#include "app/NewVersionMsg.h"
#include "app/TformMain.h"
#include "app/Updater.h"
#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/MakerSite.h"
#include "core/Prompts.h"
#include "core/VersionCheck.h"

#include <QAction>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace kestra {

namespace {
// The request runs while the window waits; an unresponsive server must not
// hold it for long.
constexpr int VersionRequestTimeoutMs = 10000;
} // namespace

void TformMain::prepareVersionCheck() {
    NetHTTPClient1 = new QNetworkAccessManager(this);
    NetHTTPClient1->setTransferTimeout(VersionRequestTimeoutMs);
    NetHTTPRequest1 = QNetworkRequest(makerPage(QString::fromLatin1(makerpaths::VersionDocument)));
    TimerCheckWebVersion.setInterval(1000);
    TimerCheckWebVersion.setSingleShot(true);
    connect(&TimerCheckWebVersion, &QTimer::timeout, this,
            &TformMain::checkmostrecentversiononwebsite);
    TimerCheckWebVersion.start();

    // Nothing to update to until the check finds a newer version.
    menuUpdateNow->setEnabled(false);
    connect(menuUpdateNow, &QAction::triggered, this, [] { launchUpdater(); });
    connect(menuShowUpdateMsg, &QAction::triggered, this, &TformMain::menuShowUpdateMsgClick);
    connect(menuSupport, &QAction::triggered, this, &TformMain::menuSupportClick);
}

QString TformMain::getAppVersion() const {
    return appVersionText(QStringLiteral(KESTRA_EDITOR_VERSION));
}

void TformMain::checkmostrecentversiononwebsite() {
    TimerCheckWebVersion.stop();
    // The address follows the maker's site as it is now (tests move it).
    NetHTTPRequest1.setUrl(makerPage(QString::fromLatin1(makerpaths::VersionDocument)));
    QNetworkReply* reply = NetHTTPClient1->get(NetHTTPRequest1);
    while (!reply->isFinished())
        Clock::instance().waitStep();
    const bool received = WebRequestCompleted(reply);
    reply->deleteLater();
    if (!received)
        return;

    const auto newer = isNewerVersion(newAppVersion, currentAppVersion);
    if (!newer) {
        debugLog(QStringLiteral("Cannot compare the versions \"") + newAppVersion +
                 QStringLiteral("\" and \"") + currentAppVersion + QStringLiteral("\""));
        return;
    }
    if (*newer) {
        menuNewAppVersion->setText(menuNewAppVersion->text() + QLatin1Char(' ') + newAppVersion);
        if (state_.showUpdateMessage && formNewVersionMsg_) {
            formNewVersionMsg_->currentAppVersion = currentAppVersion;
            formNewVersionMsg_->newAppVersion = newAppVersion;
            formNewVersionMsg_->show();
        }
        menuUpdateNow->setEnabled(true);
    } else {
        menuNewAppVersion->setText(QStringLiteral("No update available"));
        menuUpdateNow->setEnabled(false);
    }
}

bool TformMain::WebRequestCompleted(QNetworkReply* AResponse) {
    const QVariant status = AResponse->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        Prompts::instance().error(
            QStringLiteral("Could not check for a newer version of the editor: ") +
            AResponse->errorString() +
            QStringLiteral(".\nCheck the internet connection; the editor works without it."));
        return false;
    }
    if (status.toInt() != 200) {
        Prompts::instance().error(
            QStringLiteral("Error: ") +
            AResponse->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
        return false;
    }
    newAppVersion = QString::fromUtf8(AResponse->readAll());
    debugLog(QStringLiteral("currentAppVersion: ") + currentAppVersion);
    debugLog(QStringLiteral("newAppVersion: ") + newAppVersion);
    return true;
}

void TformMain::menuSupportClick() {
    OpenURL(makerPage(QString::fromLatin1(makerpaths::Support)));
}

} // namespace kestra
