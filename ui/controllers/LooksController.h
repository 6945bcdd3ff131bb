// Settings and looks: the editor's settings folders, the Look menu with the
// style it applies, and whether the parameter window shows its value column.
#pragma once

#include "ui/controllers/FeatureController.h"

class QAction;
class QMenu;
class QWidget;

namespace kestra {

class ParameterWindow;

class LooksController : public FeatureController {
    Q_OBJECT

public:
    // Creates the settings folders first: the other features read and write
    // files in them. The entries belong to menuOwner until the main window
    // puts them in its menu.
    LooksController(PedalSession& session, QWidget* menuOwner, QObject* parent);

    QMenu* lookMenu() const { return look_; }
    QAction* valueColumnAction() const { return valueColumnAction_; }

    void setParameterWindow(ParameterWindow* window);

    void applyEnabledStates(const EnabledStates&) override {}

private:
    void createSettingsFolders();
    void createLookMenu(QWidget* menuOwner);
    void applySavedStyle();
    bool applyStyle(int number);
    void onLookChosen(QAction* entry);
    void onValueColumnToggled(bool on);

    bool showsValueColumn_ = false;
    ParameterWindow* parameterWindow_ = nullptr;
    QMenu* look_ = nullptr;
    QAction* valueColumnAction_ = nullptr;
};

} // namespace kestra
