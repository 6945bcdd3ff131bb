// The "New Version" window: says that the maker offers a newer editor and
// offers to update now or to read what is new.
#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace kestra {

class TformNewVersionMsg : public QWidget {
    Q_OBJECT

public:
    explicit TformNewVersionMsg(QWidget* parent = nullptr);

    // Shown by FormShow; set before the window is shown.
    QString currentAppVersion;
    QString newAppVersion;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* btnLaunchUpdate = nullptr;
    QPushButton* btnSeeWhatsNew = nullptr;

    void FormShow();
    void CheckBox1Change(bool checked);
    void btnLaunchUpdateClick();
    void btnSeeWhatsNewClick();

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace kestra
