// The effect info window: the maker's description page of the selected
// effect, or the description bundled with the catalogue when the page cannot
// be reached, so it works offline.
#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

class QNetworkAccessManager;
class QNetworkReply;
class QTextBrowser;

namespace kestra {

// Address of an effect's description page on the maker's web server at
// site (e.g. "https://www.example.com"); the name is percent-encoded.
QUrl effectInfoUrl(const QString& site, const QString& effectName);

class EffectInfoWindow : public QWidget {
    Q_OBJECT

public:
    explicit EffectInfoWindow(QWidget* parent = nullptr);
    ~EffectInfoWindow() override;

    // Shows the window with the description of effectName: the bundled one
    // at once, the maker's page when it arrives.
    void showEffect(const QString& effectName);

    // What the window shows now: "page" or "bundled" (or "none").
    QString source() const { return source_; }
    QTextBrowser* browser() const { return browser_; }

signals:
    void pageSettled();

private:
    void showBundled(const QString& effectName);
    void pageFinished(QNetworkReply* reply);

    QTextBrowser* browser_ = nullptr;
    QString source_ = QStringLiteral("none");
    QNetworkAccessManager* network_ = nullptr;
    QPointer<QNetworkReply> pending_;
};

} // namespace kestra
