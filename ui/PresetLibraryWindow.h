// The preset library: the player's preset files with the effect each one
// belongs to and its date, at first only those of the effect stored on the
// pedal. Double-click (or Load) loads one through the main window's checks;
// Rename and Delete ask first.
#pragma once

#include "catalogue/Catalogue.h"
#include "ui/EnabledStates.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestra {

class PresetLibraryWindow : public QWidget {
    Q_OBJECT

public:
    explicit PresetLibraryWindow(const Catalogue& catalogue, QWidget* parent = nullptr);

    // The effect stored on the pedal (0: none); its presets are the ones
    // shown while "Only the stored effect" is checked.
    void setStoredEffect(int effectNumber);
    void applyEnabledStates(const EnabledStates& enabled);
    // Reads the preset folder again.
    void refresh();
    // The rows shown, for tests: "name | effect | date".
    QStringList rows() const;

signals:
    void loadRequested(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString currentPath() const;
    void onLoad();
    void onRename();
    void onDelete();
    void showButtons();

    const Catalogue& catalogue_;
    int storedEffect_ = 0;
    bool loadEnabled_ = false;
    QTreeWidget* list_ = nullptr;
    QCheckBox* onlyStored_ = nullptr;
    QLabel* folder_ = nullptr;
    QPushButton* load_ = nullptr;
    QPushButton* rename_ = nullptr;
    QPushButton* delete_ = nullptr;
};

} // namespace kestra
