// The parameter window of the selected effect: one row per parameter (knob,
// switch, button or selector) with its source pick box and reverse box, the
// bypass and preset footswitch rows and the readback LED rows. It shows the
// parameter model; each change the player makes goes into the model, and the
// frame the model gives goes to the pedal. Values shown because the pedal
// sent them are never sent back from here. The player's edits go through an
// edit history: Undo and Redo (with the usual keys) set the pedal back and
// forward, and the window says when the pedal runs edits it has not stored.
#pragma once

#include "session/PedalSession.h"
#include "ui/EnabledStates.h"

#include <QWidget>
#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;

namespace kestra {

class ToggleSwitch;

class ParameterWindow : public QWidget {
    Q_OBJECT

public:
    // The rows' width: names and controls, each knob's level, then the
    // routing columns.
    static constexpr int OpenedWidth = 480;
    static constexpr int RowPitch = 25;
    static constexpr int FirstRowY = 10;

    explicit ParameterWindow(PedalSession& session, QWidget* parent = nullptr);

    // Builds the rows of the model's effect and shows the window.
    void showEffect(const QString& caption);
    // Shows the model's values again: one parameter, or everything.
    void showParameter(int parameter);
    void showAll();
    void applyEnabledStates(const EnabledStates& enabled);

    // The height the rows take for the effect shown; the effect's name and
    // the column headers sit above them, and the rows scroll when the
    // screen is too short for all of them.
    int openedHeight() const;
    QWidget* rowsArea() const { return rows_; }
    // The rows' controls, by parameter number (tests and screen readers
    // find them by their accessible names too).
    QWidget* control(int parameter) const;
    QComboBox* sourceBox(int parameter) const { return sources_[slot(parameter)]; }
    QCheckBox* reverseBox(int parameter) const { return reverses_[slot(parameter)]; }
    QComboBox* ledBox(int readback) const;
    QComboBox* bypassBox() const { return bypass_; }
    QComboBox* presetBox() const { return preset_; }

    // The player's edits of the effect shown (the session's); kept while the
    // same effect is shown again, cleared when another one is.
    EditHistory& history() { return history_; }
    const EditHistory& history() const { return history_; }
    void undo();
    void redo();
    // The pedal's settings were stored, its state read, or changed by a
    // file: the unsaved marker follows.
    void markSaved();
    void markChanged();

    // Each track bar's level beside it, in percent.
    void setValueColumnShown(bool shown);
    bool valueColumnShown() const { return valueColumn_; }
    // "512 (50 %)": a track bar's level and its share of the whole track.
    static QString levelText(int level);
    // "50 %": the share alone, as the column beside the track bars shows it.
    static QString percentText(int level);

signals:
    void closed();
    // The history or the unsaved marker changed.
    void editsChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    static std::size_t slot(int parameter) {
        return static_cast<std::size_t>(std::clamp(parameter, 0, frames::MaxParameters - 1));
    }
    int rowY(int row) const;
    // A row taller than the pitch (a selector's name wrapped to its full
    // text) moves every row below it down.
    void growRow(int row, int height);
    int bypassRow() const;
    int readbackRow(int readback) const;
    int editRow() const;

    void destroyRows();
    void buildRows();
    QLabel* addLabel(const QString& text, int x, int row, int width);
    QComboBox* addPickBox(const QStringList& items, int row, const QString& name);
    void buildPotentiometer(int parameter);
    void buildSwitch(int parameter);
    void buildButton(int parameter);
    void buildSelector(int parameter);
    void buildFrame();
    void buildHeaders();
    void buildRouting();
    void orderTabs();
    void showRouting();
    void describeRouting();
    void showTrackBarValue(QSlider* trackBar);
    // A track bar's level in its tooltip, its description and beside it.
    void showLevel(int parameter);
    // Applies an edit through the history and sends what it gives.
    void edit(EditTarget target, int index, int value);
    void route(const RoutedItem& item, std::optional<PedalControl> control);
    void createUndoActions();
    void buildEditRow();
    void showEdits();
    void fitSize();

    PedalSession& session_;
    ParameterModel& model_;
    EditHistory& history_;
    EnabledStates enabled_;
    QWidget* header_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* rows_ = nullptr;
    QLabel* effectName_ = nullptr;
    // Extra height of each row beyond the pitch.
    std::array<int, frames::MaxParameters> rowGrowth_{};
    std::vector<QWidget*> rowWidgets_;
    std::array<QSlider*, frames::MaxParameters> potentiometers_{};
    std::array<ToggleSwitch*, frames::MaxParameters> switches_{};
    std::array<QLabel*, frames::MaxParameters> switchStates_{};
    std::array<QPushButton*, frames::MaxParameters> buttons_{};
    std::array<QComboBox*, frames::MaxParameters> selectors_{};
    std::array<QComboBox*, frames::MaxParameters> sources_{};
    std::array<QCheckBox*, frames::MaxParameters> reverses_{};
    std::array<QComboBox*, frames::MaxReadbacks> leds_{};
    QComboBox* bypass_ = nullptr;
    QComboBox* preset_ = nullptr;
    std::array<QLabel*, frames::MaxParameters> values_{};

    QString caption_;
    bool valueColumn_ = true;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    QPushButton* undoButton_ = nullptr;
    QPushButton* redoButton_ = nullptr;
    QLabel* unsavedLine_ = nullptr;
    // Unsaved, can undo, can redo, as last told.
    std::array<bool, 3> shownEdits_{};
};

} // namespace kestra
