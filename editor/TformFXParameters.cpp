#include "editor/TformFXParameters.h"

#include "app/widgets/Accessible.h"
#include "app/widgets/ToggleSwitch.h"
#include "catalogue/EffectImage.h"
#include "catalogue/ResourceNames.h"
#include "catalogue/ResourceStore.h"
#include "core/DebugLog.h"
#include "core/Prompts.h"
#include "protocol/CommandFrames.h"
#include "protocol/HexText.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QStyle>
#include <QToolTip>
#include <functional>

namespace kestra {

namespace {

constexpr int MaxLevel = 1023;
constexpr int ReadbackRowOffset = 2; // bypass and preset rows come first

// The application's style sheet pads buttons and pick boxes for dialogs; the
// rows here are 20 pixels high, so the padding would hide the text.
constexpr char CompactRows[] = "QPushButton { padding: 0px 4px; min-height: 0px; }"
                               "QComboBox { padding: 0px 4px; min-height: 0px; }";

const char ReverseHint[] = "Toggle the Reverse function for the current parameter";

template <typename T, std::size_t N>
int indexOf(const std::array<T*, N>& table, const QObject* control) {
    for (std::size_t i = 0; i < N; ++i) {
        if (control && table[i] == control)
            return static_cast<int>(i);
    }
    return -1;
}

template <typename T, std::size_t N>
void destroyAll(std::array<T*, N>& table) {
    for (T*& control : table) {
        delete control;
        control = nullptr;
    }
}

template <typename T>
void destroyOne(T*& control) {
    delete control;
    control = nullptr;
}

// Selects position in box and runs the box's handler even when the position
// was already selected, as a change of selection would.
void selectAndApply(QComboBox* box, int position, const std::function<void()>& handler) {
    if (box->currentIndex() == position)
        handler();
    else
        box->setCurrentIndex(position);
}

} // namespace

TformFXParameters::TformFXParameters(EditorState& state, D2XXUnit& transport, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), transport_(transport) {
    setWindowTitle(QStringLiteral("FX Parameters"));
    setObjectName(QStringLiteral("FormFXParameters"));
    setStyleSheet(QString::fromLatin1(CompactRows));
    setFixedSize(DesignClientWidth, DesignClientHeight);
    parameterAssignments.fill(NoAssignment);
    readbackLEDs.fill(NoAssignment);
}

int TformFXParameters::openedHeight() const {
    return (descriptor_.numOfParameters + descriptor_.numOfReadbacks + 4) * RowPitch + FirstRowY;
}

void TformFXParameters::fitToRows() {
    setFixedSize(OpenedWidth, openedHeight());
}

void TformFXParameters::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Restoring a minimised window is no new opening.
    if (!event->spontaneous())
        OnShow();
}

void TformFXParameters::closeEvent(QCloseEvent* event) {
    OnClose();
    event->accept();
}

// ---------------------------------------------------------------------------
// Building and tearing down

void TformFXParameters::OnShow() {
    destroyControls();
    const QString effectName = state_.selectedEffectName;
    if (!loadControlDescriptor(effectName, descriptor_)) {
        // The catalogue has shown why; counts of an earlier effect must not
        // outlive it.
        descriptor_ = ControlDescriptor{};
        return;
    }
    if (!loadParameterAddresses()) {
        descriptor_ = ControlDescriptor{};
        return;
    }
    createPotParameters();
    isButtonParameter.fill(false);
    buttonStates.fill(0);
    createSwitchParameters();
    createMultiSwitches();
    createAssignBoxes();
    createSeparatorLine();
    createBypassAndPresetBoxes();
    createReadbackBoxes();
    createReverseCheckBoxes();
    rowsBuilt_ = true;
}

void TformFXParameters::OnClose() {
    destroyControls();
    emit closed();
}

void TformFXParameters::destroyControls() {
    destroyAll(potParameter);
    destroyAll(switchParameter);
    destroyAll(buttonParameter);
    destroyAll(multiSwitch);
    destroyAll(nameLabel);
    destroyAll(stateLabel);
    destroyAll(boxAssign);
    destroyAll(reverseCheckBox);
    destroyAll(boxAssignRdbcks);
    destroyAll(readbackLabel);
    destroyOne(boxAssignBypass);
    destroyOne(boxAssignPreset);
    destroyOne(bypassLabel);
    destroyOne(presetLabel);
    destroyOne(separatorLine);
    rowsBuilt_ = false;
}

bool TformFXParameters::loadParameterAddresses() {
    const QString resourceName = format_resource_name(state_.selectedEffectName);
    debugLog(QStringLiteral("resource name: ") + resourceName);
    const ResourceStore& store = ResourceStore::compiled();
    const std::optional<QByteArray> data = store.find(resourceName);
    if (!data) {
        Prompts::instance().message(QStringLiteral("Error loading resource: ") +
                                    store.errorFor(resourceName));
        return false;
    }
    const QString text = splitLines(QString::fromLatin1(*data)).value(0);
    debugLog(QStringLiteral("content: ") + text);
    debugLog(QStringLiteral("file content size: %1").arg(imageByteSize(text)));
    for (int i = 0; i < ParameterSlots; ++i) {
        parameterAddresses[static_cast<std::size_t>(i)] = parameterAddress(text, i);
        debugLog(QStringLiteral("parameter address: ") +
                 parameterAddresses[static_cast<std::size_t>(i)]);
    }
    return true;
}

QString TformFXParameters::parameterName(int index) const {
    const QString& line = descriptor_.parameterNames[static_cast<std::size_t>(index)];
    switch (descriptor_.kindOf(index)) {
    case ControlKind::Switch:
        return splitSwitchLine(line).label;
    case ControlKind::Button:
        return buttonLabel(line);
    case ControlKind::Selector:
        return splitSelectorLine(line).label;
    default:
        return line;
    }
}

QLabel* TformFXParameters::addLabel(const QString& text, int x, int row, int width) {
    auto* label = new QLabel(text, this);
    label->setGeometry(x, rowY(row), width, 20);
    label->show();
    return label;
}

QComboBox* TformFXParameters::addPickBox(const QStringList& items, int row, const QString& name) {
    auto* box = named(new QComboBox(this), name);
    box->addItems(items);
    box->setCurrentIndex(-1);
    box->setGeometry(300, rowY(row), 70, 20);
    box->setEnabled(state_.selectedIsStored);
    box->show();
    return box;
}

void TformFXParameters::createPotParameters() {
    for (int i = 0; i < descriptor_.numOfPots; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        const QString name = parameterName(i);
        nameLabel[slot] = addLabel(name, 10, i, 150);
        auto* bar = named(new QSlider(Qt::Horizontal, this), name);
        bar->setRange(0, MaxLevel);
        bar->setTracking(true);
        bar->setGeometry(160, rowY(i), 100, 20);
        bar->setEnabled(state_.selectedIsStored);
        bar->setToolTip(QString::number(bar->value()));
        connect(bar, &QSlider::valueChanged, this, [this, bar] {
            showTrackBarValue(bar);
            PotParameterChange(bar);
        });
        connect(bar, &QSlider::sliderPressed, this, [this, bar] { showTrackBarValue(bar); });
        bar->show();
        potParameter[slot] = bar;
    }
}

// The level under the handle while it moves, and on hover afterwards.
void TformFXParameters::showTrackBarValue(QSlider* trackBar) {
    const QString text = QString::number(trackBar->value());
    trackBar->setToolTip(text);
    if (!trackBar->isSliderDown())
        return;
    const int x = QStyle::sliderPositionFromValue(trackBar->minimum(), trackBar->maximum(),
                                                  trackBar->value(), trackBar->width());
    QToolTip::showText(trackBar->mapToGlobal(QPoint(x, -trackBar->height())), text, trackBar);
}

void TformFXParameters::createSwitchParameters() {
    const int first = descriptor_.numOfPots;
    for (int i = first; i < first + descriptor_.numOfSwitches; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        const QString& line = descriptor_.parameterNames[slot];
        if (isButtonLine(line)) {
            createButtonParameter(i);
            continue;
        }
        const SwitchText text = splitSwitchLine(line);
        switchOffTexts[slot] = text.offText;
        switchOnTexts[slot] = text.onText;
        nameLabel[slot] = addLabel(text.label, 10, i, 150);
        stateLabel[slot] = addLabel(text.offText, 120, i, 100);
        auto* sw = named(new ToggleSwitch(this), text.label);
        sw->setGeometry(190, rowY(i), 40, 20);
        sw->setEnabled(state_.selectedIsStored);
        connect(sw, &ToggleSwitch::toggled, this, [this, sw] { SwitchParameterOnSwitch(sw); });
        sw->show();
        switchParameter[slot] = sw;
    }
}

void TformFXParameters::createButtonParameter(int index) {
    const auto slot = static_cast<std::size_t>(index);
    const QString& line = descriptor_.parameterNames[slot];
    const QString name = buttonLabel(line);
    isButtonParameter[slot] = true;
    buttonStates[slot] = 0;
    // A button has no off/on text; texts of an earlier switch must not show.
    switchOffTexts[slot].clear();
    switchOnTexts[slot].clear();
    nameLabel[slot] = addLabel(name, 10, index, 150);
    stateLabel[slot] = addLabel(QString(), 120, index, 100);
    auto* button = named(new QPushButton(splitSwitchLine(line).offText, this), name);
    button->setCheckable(true);
    button->setGeometry(190, rowY(index), 50, 20);
    button->setEnabled(state_.selectedIsStored);
    connect(button, &QPushButton::clicked, this, [this, button] { ButtonParameterClick(button); });
    button->show();
    buttonParameter[slot] = button;
}

void TformFXParameters::createMultiSwitches() {
    const int first = descriptor_.numOfPots + descriptor_.numOfSwitches;
    for (int i = first; i < descriptor_.numOfParameters; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        const SelectorText text = splitSelectorLine(descriptor_.parameterNames[slot]);
        multiSwitchPositions[slot] = static_cast<int>(text.positions.size());
        QLabel* label = addLabel(text.label, 10, i, 100);
        label->setWordWrap(true);
        // A long name wraps out of its row: its first line stays whole and
        // the hint holds all of it.
        if (label->fontMetrics().horizontalAdvance(text.label) > label->width())
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setToolTip(text.label);
        nameLabel[slot] = label;
        auto* selector = named(new QComboBox(this), text.label);
        selector->addItems(text.positions);
        selector->setCurrentIndex(-1);
        selector->setGeometry(160, rowY(i), 100, 20);
        selector->setEnabled(state_.selectedIsStored);
        connect(selector, &QComboBox::currentIndexChanged, this,
                [this, selector] { MultiSwitchOnChange(selector); });
        selector->show();
        multiSwitch[slot] = selector;
    }
}

void TformFXParameters::createAssignBoxes() {
    for (int i = 0; i < descriptor_.numOfParameters; ++i) {
        QComboBox* box =
            addPickBox(assignSourceNames(), i, parameterName(i) + QStringLiteral(" source"));
        connect(box, &QComboBox::currentIndexChanged, this,
                [this, box] { boxAssignOnChange(box); });
        boxAssign[static_cast<std::size_t>(i)] = box;
    }
}

void TformFXParameters::createSeparatorLine() {
    separatorLine = new QFrame(this);
    separatorLine->setObjectName(QStringLiteral("separatorLine"));
    separatorLine->setFrameShape(QFrame::VLine);
    separatorLine->setFrameShadow(QFrame::Plain);
    // 24.5 pixels a row, in integers.
    separatorLine->setGeometry(280, FirstRowY, 1, descriptor_.numOfParameters * 49 / 2);
    separatorLine->show();
}

void TformFXParameters::createBypassAndPresetBoxes() {
    const int row = descriptor_.numOfParameters;
    const QString bypassText = QStringLiteral("Bypass Toggle");
    const QString presetText = QStringLiteral("Preset Change");
    bypassLabel = addLabel(bypassText, 10, row, 150);
    bypassLabel->setToolTip(bypassText);
    boxAssignBypass = addPickBox(footswitchNames(), row, bypassText);
    boxAssignBypass->setToolTip(bypassText);
    connect(boxAssignBypass, &QComboBox::currentIndexChanged, this,
            &TformFXParameters::boxAssignBypassOnChange);
    presetLabel = addLabel(presetText, 10, row + 1, 150);
    presetLabel->setToolTip(presetText);
    boxAssignPreset = addPickBox(footswitchNames(), row + 1, presetText);
    boxAssignPreset->setToolTip(presetText);
    connect(boxAssignPreset, &QComboBox::currentIndexChanged, this,
            &TformFXParameters::boxAssignPresetOnChange);
}

void TformFXParameters::createReadbackBoxes() {
    for (int k = 0; k < descriptor_.numOfReadbacks; ++k) {
        const auto slot = static_cast<std::size_t>(k);
        const int row = descriptor_.numOfParameters + ReadbackRowOffset + k;
        const QString& name = descriptor_.readbackNames[slot];
        readbackLabel[slot] = addLabel(name, 10, row, 150);
        QComboBox* box = addPickBox(readbackLedNames(), row, name + QStringLiteral(" LED"));
        connect(box, &QComboBox::currentIndexChanged, this,
                [this, box] { boxAssignRdbcksOnChange(box); });
        boxAssignRdbcks[slot] = box;
    }
}

void TformFXParameters::createReverseCheckBoxes() {
    for (int i = 0; i < descriptor_.numOfParameters; ++i) {
        auto* box = named(new QCheckBox(this), parameterName(i) + QStringLiteral(" reverse"));
        box->setToolTip(QString::fromLatin1(ReverseHint));
        box->setGeometry(380, rowY(i), 20, 20);
        // Enabled once the parameter has a source.
        box->setEnabled(false);
        connect(box, &QCheckBox::toggled, this, [this, box] { ReverseCheckBoxOnClick(box); });
        box->show();
        reverseCheckBox[static_cast<std::size_t>(i)] = box;
    }
}

void TformFXParameters::EnableDisableControls(bool enabled) {
    const auto set = [enabled](auto& table) {
        for (QWidget* control : table) {
            if (control)
                control->setEnabled(enabled);
        }
    };
    set(potParameter);
    set(switchParameter);
    set(buttonParameter);
    set(multiSwitch);
    set(nameLabel);
    set(stateLabel);
    set(boxAssign);
    set(reverseCheckBox);
    set(boxAssignRdbcks);
    set(readbackLabel);
    for (QWidget* control : std::initializer_list<QWidget*>{
             boxAssignBypass, boxAssignPreset, bypassLabel, presetLabel, separatorLine}) {
        if (control)
            control->setEnabled(enabled);
    }
}

// ---------------------------------------------------------------------------
// Live messages

void TformFXParameters::send(const HexFrame& frame) {
    sendFrame(transport_, frame);
}

void TformFXParameters::PotParameterChange(QSlider* trackBar) {
    if (state_.requestInProgress || applyingRealtimeFrame)
        return;
    const int i = indexOf(potParameter, trackBar);
    if (i < 0)
        return;
    const HexFrame frame =
        frames::setParameter(parameterAddresses[static_cast<std::size_t>(i)],
                             frames::potentiometerValue(trackBar->value()), true);
    debugLog(QStringLiteral("data sent pot %1: %2").arg(i).arg(frame.text));
    send(frame);
}

void TformFXParameters::SwitchParameterOnSwitch(ToggleSwitch* sw) {
    if (state_.requestInProgress)
        return;
    const int i = indexOf(switchParameter, sw);
    if (i < 0)
        return;
    const HexFrame frame = frames::setParameter(parameterAddresses[static_cast<std::size_t>(i)],
                                                frames::switchValue(sw->isChecked()), false);
    debugLog(QStringLiteral("data sent switch %1: %2").arg(i).arg(frame.text));
    send(frame);
    showSwitchState(i);
}

void TformFXParameters::showSwitchState(int index) {
    if (index < 0 || index >= MaxParameters)
        return;
    const auto slot = static_cast<std::size_t>(index);
    if (!switchParameter[slot] || !stateLabel[slot])
        return;
    stateLabel[slot]->setText(switchParameter[slot]->isChecked() ? switchOnTexts[slot]
                                                                 : switchOffTexts[slot]);
}

void TformFXParameters::ButtonParameterClick(QPushButton* button) {
    const int i = indexOf(buttonParameter, button);
    if (i < 0)
        return;
    const auto slot = static_cast<std::size_t>(i);
    if (!state_.requestInProgress) {
        // Each click flips the parameter: momentary on the pedal, latched here.
        buttonStates[slot] = buttonStates[slot] ? 0 : 1;
        const HexFrame frame = frames::setParameter(
            parameterAddresses[slot], frames::switchValue(buttonStates[slot] == 1), false);
        debugLog(QStringLiteral("data sent button %1: %2").arg(i).arg(frame.text));
        send(frame);
    }
    // The click toggled the look; the toggle state decides it.
    button->setChecked(buttonStates[slot] == 1);
    button->clearFocus();
}

void TformFXParameters::MultiSwitchOnChange(QComboBox* selector) {
    if (state_.requestInProgress)
        return;
    const int i = indexOf(multiSwitch, selector);
    if (i < 0 || selector->currentIndex() < 0)
        return;
    const auto slot = static_cast<std::size_t>(i);
    const HexFrame frame = frames::setParameter(
        parameterAddresses[slot],
        frames::selectorValue(selector->currentIndex(), multiSwitchPositions[slot]), false);
    debugLog(QStringLiteral("data sent multiswitch %1: %2").arg(i).arg(frame.text));
    send(frame);
}

// ---------------------------------------------------------------------------
// Routing

void TformFXParameters::boxAssignOnChange(QComboBox* box) {
    const int i = indexOf(boxAssign, box);
    if (i >= 0)
        assignBoxChanged(i);
}

void TformFXParameters::boxAssignRdbcksOnChange(QComboBox* box) {
    const int k = indexOf(boxAssignRdbcks, box);
    if (k >= 0)
        readbackBoxChanged(k);
}

void TformFXParameters::boxAssignBypassOnChange() {
    bypassOrPresetBoxChanged(FootswitchCodeOffset);
}

void TformFXParameters::boxAssignPresetOnChange() {
    bypassOrPresetBoxChanged(FootswitchCodeOffset + 1);
}

void TformFXParameters::assignBoxChanged(int index) {
    if (index < 0 || index >= MaxParameters)
        return;
    const auto slot = static_cast<std::size_t>(index);
    QComboBox* box = boxAssign[slot];
    const int position = box ? box->currentIndex() : -1;
    if (position < 0)
        return; // nothing selected: nothing chosen
    QCheckBox* reverse = reverseCheckBox[slot];
    if (position != NoSourcePosition) {
        parameterAssignments[slot] = position;
        if (reverse)
            reverse->setEnabled(true);
        return;
    }
    parameterAssignments[slot] = NoAssignment;
    if (reverse) {
        reverse->setEnabled(false);
        // Unchecking tells the pedal through the box's own handler.
        if (reverse->isChecked())
            reverse->setChecked(false);
    }
}

void TformFXParameters::readbackBoxChanged(int index) {
    if (index < 0 || index >= MaxReadbacks)
        return;
    const auto slot = static_cast<std::size_t>(index);
    QComboBox* box = boxAssignRdbcks[slot];
    const int position = box ? box->currentIndex() : -1;
    if (position < 0)
        return;
    readbackLEDs[slot] = position;
    debugLog(hex2(static_cast<std::uint32_t>(position)));
}

void TformFXParameters::bypassOrPresetBoxChanged(int which) {
    const bool isBypass = which == FootswitchCodeOffset;
    QComboBox* box = isBypass ? boxAssignBypass : boxAssignPreset;
    const int position = box ? box->currentIndex() : -1;
    if (position < 0)
        return;
    const int code = footswitchCodeForPosition(position);
    (isBypass ? bypassAssignment : presetAssignment) = code;
    debugLog(
        (isBypass ? QStringLiteral("BypassAssignment: ") : QStringLiteral("PresetAssignment: ")) +
        hex2(static_cast<std::uint32_t>(code)));
}

void TformFXParameters::ReverseCheckBoxOnClick(QCheckBox* box) {
    if (state_.requestInProgress)
        return;
    const int i = indexOf(reverseCheckBox, box);
    if (i < 0)
        return;
    const bool on = box->isChecked();
    reverseParameters[static_cast<std::size_t>(i)] = on ? 1 : 0;
    const HexFrame frame = frames::reverse(on, i);
    debugLog(frame.text);
    send(frame);
}

void TformFXParameters::EnableRevCheckBoxes() {
    for (int i = 0; i < MaxParameters; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        if (!reverseCheckBox[slot] || !boxAssign[slot])
            continue;
        const bool enable = boxAssign[slot]->currentIndex() != NoSourcePosition;
        reverseCheckBox[slot]->setEnabled(enable);
        debugLog(enable ? QStringLiteral("True") : QStringLiteral("False"));
    }
}

void TformFXParameters::DisableBypassAndPresetAssignInBankMode() {
    if (!state_.bankMode)
        return;
    // In bank mode the pedal steps banks with FL and toggles bypass with FS.
    if (boxAssignBypass) {
        selectAndApply(boxAssignBypass, 0, [this] { boxAssignBypassOnChange(); });
        boxAssignBypass->setEnabled(false);
    } else {
        bypassAssignment = FootswitchCodeOffset;
    }
    if (boxAssignPreset) {
        selectAndApply(boxAssignPreset, 1, [this] { boxAssignPresetOnChange(); });
        boxAssignPreset->setEnabled(false);
    } else {
        presetAssignment = FootswitchCodeOffset + 1;
    }
}

void TformFXParameters::setParameterAssignments() {
    for (std::size_t i = 0; i < boxAssign.size(); ++i) {
        if (boxAssign[i])
            boxAssign[i]->setCurrentIndex(sourcePositionForCode(parameterAssignments[i]));
    }
}

void TformFXParameters::setReverseParameters() {
    for (std::size_t i = 0; i < reverseCheckBox.size(); ++i) {
        if (reverseCheckBox[i])
            reverseCheckBox[i]->setChecked(reverseParameters[i] == 1);
    }
}

void TformFXParameters::setReadbackLEDs() {
    for (std::size_t k = 0; k < boxAssignRdbcks.size(); ++k) {
        if (boxAssignRdbcks[k])
            boxAssignRdbcks[k]->setCurrentIndex(ledPositionForCode(readbackLEDs[k]));
    }
}

void TformFXParameters::bypass(bool on) {
    const HexFrame frame = frames::bypass(on);
    debugLog(frame.text);
    send(frame);
}

HexFrame TformFXParameters::assignFrame() {
    std::array<int, MaxParameters> sources{};
    sources.fill(-1);
    for (std::size_t i = 0; i < boxAssign.size(); ++i) {
        if (boxAssign[i])
            sources[i] = boxAssign[i]->currentIndex();
    }
    std::array<int, MaxReadbacks> leds{};
    leds.fill(-1);
    for (std::size_t k = 0; k < boxAssignRdbcks.size(); ++k) {
        if (boxAssignRdbcks[k])
            leds[k] = boxAssignRdbcks[k]->currentIndex();
    }
    const AssignContent content =
        assignContent(sources, descriptor_.numOfParameters, leds, descriptor_.numOfReadbacks,
                      bypassAssignment, presetAssignment);
    for (int i = 0; i < descriptor_.numOfParameters; ++i)
        parameterAssignments[static_cast<std::size_t>(i)] =
            content.sources[static_cast<std::size_t>(i)];
    for (int k = 0; k < descriptor_.numOfReadbacks; ++k)
        readbackLEDs[static_cast<std::size_t>(k)] = content.leds[static_cast<std::size_t>(k)];
    return content.frame();
}

// ---------------------------------------------------------------------------
// Request

std::optional<ParameterState> TformFXParameters::requestParameterState() {
    if (!rowsBuilt_)
        return std::nullopt;
    // Whatever way this ends, the controls talk to the pedal again.
    struct Hold {
        bool& flag;
        bool before;
        ~Hold() { flag = before; }
    } hold{state_.requestInProgress, state_.requestInProgress};
    state_.requestInProgress = true;

    sendFrame(transport_, frames::requestParameterState(descriptor_.numOfParameters));
    const Reply reply = receiveParameterState(transport_, state_.firmwareUpgradeMode);
    if (!reply.received()) {
        // A queue that cannot be read (pedal unplugged) is as good as silence.
        Prompts::instance().error(noAnswerMessage(QStringLiteral("Request")));
        return std::nullopt;
    }
    if (!takeParameterState(reply.bytes))
        return std::nullopt;
    return deviceState;
}

bool TformFXParameters::takeParameterState(const QByteArray& reply) {
    QString error;
    std::optional<std::vector<int>> numbers = decodeParameterState(reply, &error);
    std::optional<ParameterState> decoded;
    if (numbers)
        decoded = interpretParameterState(*numbers, descriptor_.numOfParameters,
                                          descriptor_.numOfReadbacks, &error);
    if (!decoded) {
        debugLog(error);
        Prompts::instance().error(error);
        return false;
    }
    receiveArray = std::move(*numbers);
    deviceState = *decoded;
    update_FXParameters();
    receive_assignments_from_device();
    receive_reverse_data_from_device();
    return true;
}

void TformFXParameters::update_FXParameters() {
    parameterValues = deviceState.parameterValues;
    setItems();
}

void TformFXParameters::setItems() {
    for (int i = 0; i < descriptor_.numOfParameters && i < MaxParameters; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        const int value = parameterValues[slot];
        if (potParameter[slot]) {
            potParameter[slot]->setValue(value);
        } else if (switchParameter[slot]) {
            switchParameter[slot]->setChecked(value != 0);
            showSwitchState(i);
        } else if (multiSwitch[slot]) {
            multiSwitch[slot]->setCurrentIndex(
                selectorPositionForLevel(value, multiSwitchPositions[slot]));
        }
        // Buttons are momentary on the pedal: their level says nothing.
    }
    emit itemsSet();
}

void TformFXParameters::receive_assignments_from_device() {
    for (std::size_t i = 0; i < boxAssign.size(); ++i) {
        if (boxAssign[i])
            boxAssign[i]->setCurrentIndex(sourcePositionForCode(deviceState.sources[i]));
    }
    if (boxAssignBypass)
        boxAssignBypass->setCurrentIndex(footswitchPositionForCode(deviceState.bypassSource));
    if (boxAssignPreset)
        boxAssignPreset->setCurrentIndex(footswitchPositionForCode(deviceState.presetSource));
    for (std::size_t k = 0; k < boxAssignRdbcks.size(); ++k) {
        if (boxAssignRdbcks[k])
            boxAssignRdbcks[k]->setCurrentIndex(ledPositionForCode(deviceState.leds[k]));
    }
}

void TformFXParameters::receive_reverse_data_from_device() {
    for (int i = 0; i < descriptor_.numOfParameters && i < MaxParameters; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        const std::optional<bool> flag = deviceState.reverse[slot];
        if (!flag)
            continue;
        reverseParameters[slot] = *flag ? 1 : 0;
        if (reverseCheckBox[slot])
            reverseCheckBox[slot]->setChecked(*flag);
    }
}

// ---------------------------------------------------------------------------
// Real-time frames

void TformFXParameters::applyRealtimeFrame(const RealtimeFrame& frame) {
    const int p = frame.parameter;
    if (p < 0 || p >= descriptor_.numOfParameters || p >= MaxParameters)
        return;
    const auto slot = static_cast<std::size_t>(p);
    const int source = frame.source;
    const int value = frame.value;
    if (source < 0)
        return;
    applyingRealtimeFrame = true;
    if (source <= 4 || source == 11) {
        if (p < descriptor_.numOfPots + descriptor_.numOfSwitches) {
            if (potParameter[slot]) {
                potParameter[slot]->setValue(value);
                if (source <= 4)
                    debugLog(hex8(static_cast<std::uint32_t>(value)));
            }
        } else if (multiSwitch[slot]) {
            multiSwitch[slot]->setCurrentIndex(
                selectorPositionForLevel(value, multiSwitchPositions[slot]));
        }
    } else if (source <= 10) {
        const bool on = value != 0;
        if (switchParameter[slot]) {
            switchParameter[slot]->setChecked(on);
        } else if (buttonParameter[slot]) {
            // The look follows the pedal; the next click flips from there.
            buttonStates[slot] = on ? 1 : 0;
            buttonParameter[slot]->setChecked(on);
        }
    }
    applyingRealtimeFrame = false;
}

} // namespace kestra
