// The update check and the Info menu's entries about the editor: Support,
// the editor's version, whether a newer one exists, Update Now and the
// choice of being told at start. A failed check is a note in the status
// bar, never a dialog at start.
#pragma once

#include "ui/controllers/FeatureController.h"

#include <memory>

class QAction;
class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QStatusBar;

namespace kestra {

class ClockTimer;
class NewVersionDialog;

class UpdateController : public FeatureController {
    Q_OBJECT

public:
    // The note goes in statusBar; the entries belong to menuOwner until the
    // main window puts them in its menu.
    UpdateController(PedalSession& session, QStatusBar* statusBar, QObject* menuOwner,
                     QObject* parent);
    ~UpdateController() override;

    QAction* supportAction() const { return support_; }
    QAction* editorVersionAction() const { return editorVersion_; }
    QAction* newVersionAction() const { return newVersionAvailable_; }
    QAction* updateNowAction() const { return updateNow_; }
    QAction* showUpdateMessageAction() const { return showUpdateMessageAction_; }

    void setNewVersionDialog(NewVersionDialog* dialog);
    // Asks the maker's site for the newest version about a second from now.
    void scheduleUpdateCheck();
    // The check itself: the Info menu tells the outcome.
    void checkForNewerVersion();

    bool showUpdateMessage() const { return showUpdateMessage_; }
    const QString& newestVersion() const { return newestVersion_; }
    const QString& currentVersion() const { return currentVersion_; }

    void addSituation(EditorSituation& situation) const override;
    void applyEnabledStates(const EnabledStates& enabled) override;

private:
    void readStartupMessageSetting();
    void onVersionReply(QNetworkReply* reply);
    void showUpdateNote(const QString& reason);
    void onUpdateNow();

    bool showUpdateMessage_ = true;
    QString currentVersion_;
    QString newestVersion_;
    bool newerVersionKnown_ = false;
    QNetworkAccessManager* network_ = nullptr;
    std::unique_ptr<ClockTimer> updateCheckTimer_;
    NewVersionDialog* newVersion_ = nullptr;

    QLabel* updateNote_ = nullptr;
    QAction* support_ = nullptr;
    QAction* editorVersion_ = nullptr;
    QAction* newVersionAvailable_ = nullptr;
    QAction* updateNow_ = nullptr;
    QAction* showUpdateMessageAction_ = nullptr;
};

} // namespace kestra
