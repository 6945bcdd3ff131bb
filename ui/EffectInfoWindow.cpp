#include "ui/EffectInfoWindow.h"

#include "catalogue/ResourceNames.h"
#include "catalogue/ResourceStore.h"
#include "core/DebugLog.h"
#include "core/MakerSite.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace kestra {

namespace {
constexpr int PageTimeoutMs = 5000;
}

QUrl effectInfoUrl(const QString& site, const QString& effectName) {
    return QUrl(
        site + QStringLiteral("/download/kestra/fxinfo/") +
        QString::fromLatin1(QUrl::toPercentEncoding(effectName + QStringLiteral("-info.html"))));
}

EffectInfoWindow::EffectInfoWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      network_(new QNetworkAccessManager(this)) {
    setObjectName(QStringLiteral("effectInfoWindow"));
    // The page scrolls inside the window, so the window may be as short as
    // the screen needs.
    resize(612, 640);
    setMinimumSize(240, 200);
    browser_ = new QTextBrowser(this);
    browser_->setAccessibleName(QStringLiteral("Effect description"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 5);
    layout->addWidget(browser_);
    browser_->setOpenExternalLinks(true);
    network_->setTransferTimeout(PageTimeoutMs);
}

EffectInfoWindow::~EffectInfoWindow() {
    if (pending_)
        pending_->abort();
}

void EffectInfoWindow::showEffect(const QString& effectName) {
    show();
    raise();
    setWindowTitle(effectName);
    showBundled(effectName);
    if (pending_)
        pending_->abort();
    const QUrl url = effectInfoUrl(makerSite(), effectName);
    debugLog(QStringLiteral("effect info: ") + url.toString());
    QNetworkReply* reply = network_->get(QNetworkRequest(url));
    pending_ = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { pageFinished(reply); });
}

void EffectInfoWindow::showBundled(const QString& effectName) {
    const auto bundled =
        ResourceStore::compiled().find(format_resource_name(effectName) + QStringLiteral("_INFO"));
    if (bundled) {
        browser_->setHtml(QString::fromUtf8(*bundled));
        source_ = QStringLiteral("bundled");
    } else {
        browser_->setHtml(QStringLiteral("<h2>%1</h2><p>No description of this effect is "
                                         "available offline.</p>")
                              .arg(effectName.toHtmlEscaped()));
        source_ = QStringLiteral("none");
    }
}

void EffectInfoWindow::pageFinished(QNetworkReply* reply) {
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() == QNetworkReply::NoError && status == 200) {
        browser_->setHtml(QString::fromUtf8(reply->readAll()));
        source_ = QStringLiteral("page");
    } else if (reply->error() != QNetworkReply::OperationCanceledError) {
        debugLog(QStringLiteral("effect info page unavailable, showing the bundled "
                                "description: ") +
                 reply->errorString());
    }
    emit pageSettled();
}

} // namespace kestra
