// The pedal as a picture: each knob, switch, footswitch, jack and LED with
// what is routed to it, the knobs at their parameters' levels. It follows
// the session by itself (another effect, Request, a configuration loaded,
// the player's edits, undo, the pedal's own knobs) and routes by the same
// rules as the parameter window's pick boxes: from a control's menu, or by
// dropping a parameter's name from the parameter window on it. With the
// built-in virtual pedal in use it is that pedal's front panel too.
#pragma once

#include "session/PedalSession.h"
#include "ui/EnabledStates.h"
#include "ui/widgets/PedalView.h"

#include <QWidget>
#include <array>

class QComboBox;
class QLabel;
class QMenu;
class QPushButton;

namespace kestra {

class FrontPanel;

class PedalWindow : public QWidget {
    Q_OBJECT

public:
    explicit PedalWindow(PedalSession& session, QWidget* parent = nullptr);

    // The virtual pedal's own controls; without them (or with real
    // hardware in use) the picture only shows and routes.
    void setFrontPanel(FrontPanel* panel) { frontPanel_ = panel; }
    void applyEnabledStates(const EnabledStates& enabled);

    PedalView& view() { return *view_; }
    PedalControlView* control(PedalControl control) const { return view_->control(control); }
    // The menu a control opened last (tests pick from it).
    QMenu* menu() const { return menu_; }
    // Shows the window beside anchor.
    void showBeside(const QWidget* anchor);

private:
    void refresh();
    PedalControlView::Look lookOf(PedalControl control) const;
    bool accepts(PedalControl control, const RoutedItem& item) const;
    void openMenu(PedalControl control, QPoint position);
    void turn(PedalControl control, int level);
    void flip(PedalControl control, bool on);
    void press(PedalControl control);
    void tell(const QString& refusal);
    void buildPanelRow();

    PedalSession& session_;
    EnabledStates enabled_;
    FrontPanel* frontPanel_ = nullptr;
    PedalView* view_ = nullptr;
    QLabel* status_ = nullptr;
    QMenu* menu_ = nullptr;
    QWidget* panelRow_ = nullptr;
    QComboBox* panelEffect_ = nullptr;
    std::array<QPushButton*, 3> panelBanks_{};
    // What the front panel last set on a control that moves no parameter.
    std::array<std::optional<int>, PedalControlCount> panelLevels_{};
    std::array<bool, 3> panelSwitches_{};
};

} // namespace kestra
