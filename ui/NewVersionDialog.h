// The "New Version" window: says that the maker offers a newer editor and
// offers to update now or to read what is new.
#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace kestra {

class NewVersionDialog : public QWidget {
    Q_OBJECT

public:
    explicit NewVersionDialog(QWidget* parent = nullptr);

    // Shows the window for the two versions.
    void showVersions(const QString& currentVersion, const QString& newVersion);

signals:
    // Update Now: the main window checks that the editor may end first.
    void updateRequested();

private:
    void onDontShowAgainToggled(bool checked);

    QLabel* headline_ = nullptr;
    QLabel* versions_ = nullptr;
    QCheckBox* dontShowAgain_ = nullptr;
};

} // namespace kestra
