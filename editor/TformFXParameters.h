// The parameter window of the selected effect: one row per parameter (knob,
// switch, button or selector) with its source pick box and reverse box, the
// bypass and preset footswitch rows and the readback LED rows. Every control
// is created when the window is shown and destroyed when it is closed; what
// the player chose survives in the per-parameter data.
#pragma once

#include "catalogue/ControlDescriptor.h"
#include "core/EditorState.h"
#include "editor/ParameterLogic.h"
#include "editor/ParameterState.h"
#include "port/D2XXUnit.h"
#include "protocol/Frames.h"
#include "protocol/Inbound.h"

#include <QWidget>
#include <array>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QSlider;

namespace kestra {

class ToggleSwitch;

class TformFXParameters : public QWidget {
    Q_OBJECT

public:
    static constexpr int DesignClientWidth = 373;
    static constexpr int DesignClientHeight = 480;
    static constexpr int OpenedWidth = 420;
    static constexpr int RowPitch = 25;
    static constexpr int FirstRowY = 10;

    TformFXParameters(EditorState& state, D2XXUnit& transport, QWidget* parent = nullptr);

    // y of row r.
    static constexpr int rowY(int row) { return FirstRowY + RowPitch * row; }
    // The height the opener gives the window for the effect shown.
    int openedHeight() const;
    // Sizes the window for the effect shown (it cannot be resized by hand).
    void fitToRows();

    // What the effect shows; all counts are 0 after a refused descriptor.
    const ControlDescriptor& descriptor() const { return descriptor_; }
    int numOfPots() const { return descriptor_.numOfPots; }
    int numOfSwitches() const { return descriptor_.numOfSwitches; }
    int numOfMultiSwitches() const { return descriptor_.numOfMultiSwitches; }
    int numOfParameters() const { return descriptor_.numOfParameters; }
    int numOfReadbacks() const { return descriptor_.numOfReadbacks; }
    // True while the rows of an effect are shown.
    bool hasParameterRows() const { return rowsBuilt_; }

    // Builds the rows of state.selectedEffectName (showEvent calls it).
    void OnShow();
    // Destroys every control and emits closed() (closeEvent calls it).
    void OnClose();

    // Enables or disables every control the window holds, labels included.
    void EnableDisableControls(bool enabled);

    // Live messages: each sends the parameter's Set parameter frame.
    void PotParameterChange(QSlider* trackBar);
    void SwitchParameterOnSwitch(ToggleSwitch* sw);
    void ButtonParameterClick(QPushButton* button);
    void MultiSwitchOnChange(QComboBox* selector);
    void showSwitchState(int index);

    // Routing.
    void boxAssignOnChange(QComboBox* box);
    void boxAssignRdbcksOnChange(QComboBox* box);
    void boxAssignBypassOnChange();
    void boxAssignPresetOnChange();
    void assignBoxChanged(int index);
    void readbackBoxChanged(int index);
    // which: 8 for the bypass box, 9 for the preset box.
    void bypassOrPresetBoxChanged(int which);
    void ReverseCheckBoxOnClick(QCheckBox* box);
    void EnableRevCheckBoxes();
    void DisableBypassAndPresetAssignInBankMode();
    // Select the boxes from the stored routing (after the window opened).
    void setParameterAssignments();
    void setReverseParameters();
    void setReadbackLEDs();
    void bypass(bool on);
    // The Assign frame from the boxes as they stand; updates
    // parameterAssignments and readbackLEDs. The caller confirms and writes.
    HexFrame assignFrame();

    // Request. requestParameterState() runs the whole exchange with the
    // pedal: sends the request, receives, decodes and applies. It holds
    // requestInProgress for its duration and returns nothing (after telling
    // the player why) when the answer is missing or unusable.
    std::optional<ParameterState> requestParameterState();
    // Decodes a reply and applies it; false (after the message) when refused.
    bool takeParameterState(const QByteArray& reply);
    void update_FXParameters();
    void setItems();
    void receive_assignments_from_device();
    void receive_reverse_data_from_device();

    // A knob, switch or expression pedal moved on the pedal.
    void applyRealtimeFrame(const RealtimeFrame& frame);

    // Controls by parameter number (readbacks by readback number); a slot
    // holds a control only while the window is shown, and only for a
    // parameter of its kind.
    std::array<QSlider*, MaxParameters> potParameter{};
    std::array<ToggleSwitch*, MaxParameters> switchParameter{};
    std::array<QPushButton*, MaxParameters> buttonParameter{};
    std::array<QComboBox*, MaxParameters> multiSwitch{};
    std::array<QLabel*, MaxParameters> nameLabel{};
    std::array<QLabel*, MaxParameters> stateLabel{};
    std::array<QComboBox*, MaxParameters> boxAssign{};
    std::array<QCheckBox*, MaxParameters> reverseCheckBox{};
    std::array<QComboBox*, MaxReadbacks> boxAssignRdbcks{};
    std::array<QLabel*, MaxReadbacks> readbackLabel{};
    QComboBox* boxAssignBypass = nullptr;
    QComboBox* boxAssignPreset = nullptr;
    QLabel* bypassLabel = nullptr;
    QLabel* presetLabel = nullptr;
    QFrame* separatorLine = nullptr;

    // Per-parameter data; survives closing the window.
    std::array<QString, MaxParameters> parameterAddresses;
    std::array<QString, MaxParameters> switchOffTexts;
    std::array<QString, MaxParameters> switchOnTexts;
    std::array<int, MaxParameters> multiSwitchPositions{};
    std::array<bool, MaxParameters> isButtonParameter{};
    std::array<int, MaxParameters> buttonStates{};

    // Routing as the player set it; survives rebuilds.
    std::array<int, MaxParameters> parameterAssignments{};
    std::array<int, MaxReadbacks> readbackLEDs{};
    std::array<int, MaxParameters> reverseParameters{};
    int bypassAssignment = NoAssignment;
    int presetAssignment = NoAssignment;

    // The last accepted answer to Request.
    std::vector<int> receiveArray;
    ParameterState deviceState;
    std::array<int, MaxParameters> parameterValues{};

    bool applyingRealtimeFrame = false;

signals:
    // The window closed; the main window disables Request and Assign.
    void closed();
    // setItems() finished; the main window enables Request again.
    void itemsSet();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool loadParameterAddresses();
    void createPotParameters();
    void createSwitchParameters();
    void createButtonParameter(int index);
    void createMultiSwitches();
    void createAssignBoxes();
    void createSeparatorLine();
    void createBypassAndPresetBoxes();
    void createReadbackBoxes();
    void createReverseCheckBoxes();
    void destroyControls();

    QString parameterName(int index) const;
    QLabel* addLabel(const QString& text, int x, int row, int width);
    QComboBox* addPickBox(const QStringList& items, int row, const QString& name);
    void send(const HexFrame& frame);
    void showTrackBarValue(QSlider* trackBar);

    EditorState& state_;
    D2XXUnit& transport_;
    ControlDescriptor descriptor_;
    bool rowsBuilt_ = false;
};

} // namespace kestra
