#include "ui/ParameterWindow.h"

#include "core/DebugLog.h"
#include "protocol/HexText.h"
#include "ui/widgets/Accessible.h"
#include "ui/widgets/RoutingDrag.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QToolTip>

namespace kestra {

namespace {

constexpr int MaxLevel = 1023;
constexpr int ReadbackRowOffset = 2; // the bypass and preset rows come first
constexpr int DesignWidth = 373;
constexpr int DesignHeight = 480;
constexpr int ValueColumnX = 410;
constexpr int ValueColumnWidth = 90;
const char UnsavedText[] = "Edited, not stored on the pedal";

// The application's style sheet pads buttons and pick boxes for dialogs; the
// rows here are 20 pixels high, so the padding would hide the text.
constexpr char CompactRows[] = "QPushButton { padding: 0px 4px; min-height: 0px; }"
                               "QComboBox { padding: 0px 4px; min-height: 0px; }";

const char ReverseHint[] = "Toggle the Reverse function for the current parameter";

void select(QComboBox* box, int position) {
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(position);
}

} // namespace

ParameterWindow::ParameterWindow(PedalSession& session, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), model_(session.parameters()),
      history_(session.history()) {
    setWindowTitle(QStringLiteral("FX Parameters"));
    setObjectName(QStringLiteral("parameterWindow"));
    setStyleSheet(QString::fromLatin1(CompactRows));
    setFixedSize(DesignWidth, DesignHeight);
    caption_ = windowTitle();
    createUndoActions();
    connect(&session_, &PedalSession::editsChanged, this, &ParameterWindow::showEdits);
    // Edits made elsewhere (the pedal picture) show here too.
    connect(&session_, &PedalSession::edited, this, &ParameterWindow::showAll);
}

// Undo and Redo with the usual keys, for every effect shown.
void ParameterWindow::createUndoActions() {
    const auto makeAction = [this](const QString& text, QKeySequence::StandardKey key,
                                   void (ParameterWindow::*slot)()) {
        auto* action = new QAction(text, this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
        return action;
    };
    undoAction_ = makeAction(QStringLiteral("Undo"), QKeySequence::Undo, &ParameterWindow::undo);
    redoAction_ = makeAction(QStringLiteral("Redo"), QKeySequence::Redo, &ParameterWindow::redo);
}

// The unsaved marker's line and the Undo and Redo buttons, below the last row.
void ParameterWindow::buildEditRow() {
    const int row = model_.parameterCount() + model_.readbackCount() + ReadbackRowOffset;
    unsavedLine_ = addLabel(QString::fromLatin1(UnsavedText), 10, row, 250);
    unsavedLine_->setObjectName(QStringLiteral("unsavedLine"));
    const auto makeButton = [this, row](QAction* action, int x) {
        auto* button = named(new QPushButton(action->text(), this), action->text());
        button->setToolTip(action->text() + QStringLiteral(" (") +
                           action->shortcut().toString(QKeySequence::NativeText) +
                           QLatin1Char(')'));
        button->setGeometry(x, rowY(row), 60, 20);
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        button->show();
        rowWidgets_.push_back(button);
        return button;
    };
    undoButton_ = makeButton(undoAction_, 270);
    redoButton_ = makeButton(redoAction_, 340);
}

int ParameterWindow::openedHeight() const {
    return (model_.parameterCount() + model_.readbackCount() + 4) * RowPitch + FirstRowY;
}

QWidget* ParameterWindow::control(int parameter) const {
    const std::size_t s = slot(parameter);
    for (QWidget* widget :
         {static_cast<QWidget*>(potentiometers_[s]), static_cast<QWidget*>(switches_[s]),
          static_cast<QWidget*>(buttons_[s]), static_cast<QWidget*>(selectors_[s])}) {
        if (widget)
            return widget;
    }
    return nullptr;
}

QComboBox* ParameterWindow::ledBox(int readback) const {
    return leds_[static_cast<std::size_t>(std::clamp(readback, 0, frames::MaxReadbacks - 1))];
}

void ParameterWindow::showEffect(const QString& caption) {
    destroyRows();
    buildRows();
    session_.followModel();
    caption_ = caption;
    fitWidth();
    showEdits();
    showAll();
    applyEnabledStates(enabled_);
    show();
    raise();
}

void ParameterWindow::closeEvent(QCloseEvent* event) {
    destroyRows();
    event->accept();
}

// Told once the window is hidden, so that what depends on it being shown
// sees it gone; a minimised window is still open.
void ParameterWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        emit closed();
}

void ParameterWindow::destroyRows() {
    for (QWidget* widget : rowWidgets_)
        delete widget;
    rowWidgets_.clear();
    potentiometers_.fill(nullptr);
    switches_.fill(nullptr);
    switchStates_.fill(nullptr);
    buttons_.fill(nullptr);
    selectors_.fill(nullptr);
    sources_.fill(nullptr);
    reverses_.fill(nullptr);
    leds_.fill(nullptr);
    values_.fill(nullptr);
    unsavedLine_ = nullptr;
    undoButton_ = nullptr;
    redoButton_ = nullptr;
    bypass_ = nullptr;
    preset_ = nullptr;
}

QLabel* ParameterWindow::addLabel(const QString& text, int x, int row, int width) {
    auto* label = new QLabel(text, this);
    label->setGeometry(x, rowY(row), width, 20);
    label->show();
    rowWidgets_.push_back(label);
    return label;
}

QComboBox* ParameterWindow::addPickBox(const QStringList& items, int row, const QString& name) {
    auto* box = named(new QComboBox(this), name);
    box->addItems(items);
    box->setCurrentIndex(-1);
    box->setGeometry(300, rowY(row), 70, 20);
    box->show();
    rowWidgets_.push_back(box);
    return box;
}

void ParameterWindow::buildRows() {
    if (!model_.isLoaded())
        return;
    for (int i = 0; i < model_.parameterCount(); ++i) {
        switch (model_.kind(i)) {
        case ControlKind::Pot:
            buildPotentiometer(i);
            break;
        case ControlKind::Switch:
            buildSwitch(i);
            break;
        case ControlKind::Button:
            buildButton(i);
            break;
        case ControlKind::Selector:
            buildSelector(i);
            break;
        case ControlKind::None:
            break;
        }
    }
    buildRouting();
    buildEditRow();
}

void ParameterWindow::buildPotentiometer(int i) {
    const QString name = model_.name(i);
    // A long name is cut at the knob: the hint holds all of it.
    QLabel* label = addLabel(name, 10, i, 150);
    label->setToolTip(name);
    carryOnDrag(label, RoutedItem::parameter(i));
    auto* bar = named(new QSlider(Qt::Horizontal, this), name);
    bar->setRange(0, MaxLevel);
    bar->setTracking(true);
    bar->setGeometry(160, rowY(i), 100, 20);
    connect(bar, &QSlider::valueChanged, this, [this, bar, i](int value) {
        showTrackBarValue(bar);
        edit(EditTarget::Potentiometer, i, value);
    });
    // A drag from press to release is one step to undo.
    connect(bar, &QSlider::sliderPressed, this, [this, bar] {
        history_.beginGesture();
        showTrackBarValue(bar);
    });
    connect(bar, &QSlider::sliderReleased, this, [this] { history_.endGesture(); });
    bar->show();
    rowWidgets_.push_back(bar);
    potentiometers_[slot(i)] = bar;

    QLabel* value = addLabel(QString(), ValueColumnX, i, ValueColumnWidth);
    value->setObjectName(QStringLiteral("value"));
    value->setVisible(valueColumn_);
    values_[slot(i)] = value;
}

QString ParameterWindow::levelText(int level) {
    return QStringLiteral("%1 (%2 %)").arg(level).arg(qRound(level * 100.0 / MaxLevel));
}

// The level under the handle while it moves, and on hover afterwards.
void ParameterWindow::showTrackBarValue(QSlider* trackBar) {
    const QString text = levelText(trackBar->value());
    trackBar->setToolTip(text);
    if (!trackBar->isSliderDown())
        return;
    const int x = QStyle::sliderPositionFromValue(trackBar->minimum(), trackBar->maximum(),
                                                  trackBar->value(), trackBar->width());
    QToolTip::showText(trackBar->mapToGlobal(QPoint(x, -trackBar->height())), text, trackBar);
}

void ParameterWindow::buildSwitch(int i) {
    const SwitchText text = model_.switchText(i);
    carryOnDrag(addLabel(text.label, 10, i, 150), RoutedItem::parameter(i));
    switchStates_[slot(i)] = addLabel(text.offText, 120, i, 100);
    auto* sw = named(new ToggleSwitch(this), text.label);
    sw->setGeometry(190, rowY(i), 40, 20);
    connect(sw, &ToggleSwitch::toggled, this, [this, i](bool on) {
        edit(EditTarget::Switch, i, on ? 1 : 0);
        showParameter(i);
    });
    sw->show();
    rowWidgets_.push_back(sw);
    switches_[slot(i)] = sw;
}

void ParameterWindow::buildButton(int i) {
    const QString name = model_.name(i);
    carryOnDrag(addLabel(name, 10, i, 150), RoutedItem::parameter(i));
    addLabel(QString(), 120, i, 100);
    // A momentary button shows what it does: its label.
    auto* button = named(new QPushButton(name, this), name);
    button->setCheckable(true);
    button->setGeometry(190, rowY(i), 50, 20);
    connect(button, &QPushButton::clicked, this, [this, button, i] {
        edit(EditTarget::Button, i, model_.buttonOn(i) ? 0 : 1);
        // The click toggled the look; the model's state decides it.
        button->setChecked(model_.buttonOn(i));
        button->clearFocus();
    });
    button->show();
    rowWidgets_.push_back(button);
    buttons_[slot(i)] = button;
}

void ParameterWindow::buildSelector(int i) {
    const QString name = model_.name(i);
    QLabel* label = addLabel(name, 10, i, 100);
    label->setWordWrap(true);
    // A long name wraps out of its row: its first line stays whole and the
    // hint holds all of it.
    if (label->fontMetrics().horizontalAdvance(name) > label->width())
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setToolTip(name);
    carryOnDrag(label, RoutedItem::parameter(i));
    auto* selector = named(new QComboBox(this), name);
    selector->addItems(model_.selectorPositions(i));
    selector->setCurrentIndex(-1);
    selector->setGeometry(160, rowY(i), 100, 20);
    connect(selector, &QComboBox::currentIndexChanged, this,
            [this, i](int position) { edit(EditTarget::Selector, i, position); });
    selector->show();
    rowWidgets_.push_back(selector);
    selectors_[slot(i)] = selector;
}

void ParameterWindow::buildRouting() {
    const int count = model_.parameterCount();
    for (int i = 0; i < count; ++i) {
        QComboBox* box =
            addPickBox(assignSourceNames(), i, model_.name(i) + QStringLiteral(" source"));
        connect(box, &QComboBox::currentIndexChanged, this, [this, i](int position) {
            route(RoutedItem::parameter(i), sourceControl(sourceCodeForPosition(position)));
        });
        sources_[slot(i)] = box;

        auto* reverse = named(new QCheckBox(this), model_.name(i) + QStringLiteral(" reverse"));
        reverse->setToolTip(QString::fromLatin1(ReverseHint));
        reverse->setGeometry(380, rowY(i), 20, 20);
        connect(reverse, &QCheckBox::toggled, this,
                [this, i](bool on) { edit(EditTarget::Reverse, i, on ? 1 : 0); });
        reverse->show();
        rowWidgets_.push_back(reverse);
        reverses_[slot(i)] = reverse;
    }

    auto* separator = new QFrame(this);
    separator->setObjectName(QStringLiteral("separatorLine"));
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Plain);
    // 24.5 pixels a row, in integers.
    separator->setGeometry(280, FirstRowY, 1, count * 49 / 2);
    separator->show();
    rowWidgets_.push_back(separator);

    const QString bypassText = QStringLiteral("Bypass Toggle");
    const QString presetText = QStringLiteral("Preset Change");
    addLabel(bypassText, 10, count, 150)->setToolTip(bypassText);
    carryOnDrag(rowWidgets_.back(), RoutedItem::bypass());
    bypass_ = addPickBox(footswitchNames(), count, bypassText);
    bypass_->setToolTip(bypassText);
    connect(bypass_, &QComboBox::currentIndexChanged, this, [this](int position) {
        const int code = footswitchCodeForPosition(position);
        route(RoutedItem::bypass(), sourceControl(code));
        debugLog(QStringLiteral("BypassAssignment: ") + hex2(static_cast<std::uint32_t>(code)));
    });
    addLabel(presetText, 10, count + 1, 150)->setToolTip(presetText);
    carryOnDrag(rowWidgets_.back(), RoutedItem::preset());
    preset_ = addPickBox(footswitchNames(), count + 1, presetText);
    preset_->setToolTip(presetText);
    connect(preset_, &QComboBox::currentIndexChanged, this, [this](int position) {
        const int code = footswitchCodeForPosition(position);
        route(RoutedItem::preset(), sourceControl(code));
        debugLog(QStringLiteral("PresetAssignment: ") + hex2(static_cast<std::uint32_t>(code)));
    });

    for (int k = 0; k < model_.readbackCount(); ++k) {
        const int row = count + ReadbackRowOffset + k;
        const QString name = model_.readbackName(k);
        addLabel(name, 10, row, 150)->setToolTip(name);
        carryOnDrag(rowWidgets_.back(), RoutedItem::readback(k));
        QComboBox* box = addPickBox(readbackLedNames(), row, name + QStringLiteral(" LED"));
        connect(box, &QComboBox::currentIndexChanged, this, [this, k](int position) {
            route(RoutedItem::readback(k), ledControl(ledCodeForPosition(position)));
        });
        leds_[static_cast<std::size_t>(k)] = box;
    }
}

void ParameterWindow::showParameter(int i) {
    const std::size_t s = slot(i);
    if (QSlider* bar = potentiometers_[s]) {
        const QSignalBlocker quiet(bar);
        bar->setValue(model_.level(i));
        bar->setToolTip(levelText(bar->value()));
        if (values_[s])
            values_[s]->setText(levelText(bar->value()));
    }
    if (ToggleSwitch* sw = switches_[s]) {
        {
            const QSignalBlocker quiet(sw);
            sw->setChecked(model_.switchOn(i));
        }
        const SwitchText text = model_.switchText(i);
        if (switchStates_[s])
            switchStates_[s]->setText(model_.switchOn(i) ? text.onText : text.offText);
    }
    if (QPushButton* button = buttons_[s]) {
        const QSignalBlocker quiet(button);
        button->setChecked(model_.buttonOn(i));
    }
    // Before Request a selector shows no position: the pedal's is unknown.
    if (QComboBox* selector = selectors_[s])
        select(selector, model_.stateRead() ? model_.selectorPosition(i) : -1);
}

void ParameterWindow::showRouting() {
    // Before Request "none" is unknown as much as any other routing.
    const auto position = [this](int code, int none, int known) {
        return code == NoAssignment && !model_.stateRead() ? -1
                                                           : (code == NoAssignment ? none : known);
    };
    for (int i = 0; i < model_.parameterCount(); ++i) {
        const std::size_t s = slot(i);
        const int code = model_.source(i);
        if (sources_[s])
            select(sources_[s], position(code, NoSourcePosition, sourcePositionForCode(code)));
        if (QCheckBox* reverse = reverses_[s]) {
            const QSignalBlocker quiet(reverse);
            reverse->setChecked(model_.reversed(i));
        }
    }
    for (int k = 0; k < model_.readbackCount(); ++k) {
        const int code = model_.led(k);
        if (QComboBox* box = leds_[static_cast<std::size_t>(k)])
            select(box, position(code, NoLedPosition, ledPositionForCode(code)));
    }
    if (bypass_)
        select(bypass_, position(model_.bypassSource(), NoFootswitchPosition,
                                 footswitchPositionForCode(model_.bypassSource())));
    if (preset_)
        select(preset_, position(model_.presetSource(), NoFootswitchPosition,
                                 footswitchPositionForCode(model_.presetSource())));
    applyEnabledStates(enabled_);
}

void ParameterWindow::showAll() {
    for (int i = 0; i < model_.parameterCount(); ++i)
        showParameter(i);
    showRouting();
}

void ParameterWindow::applyEnabledStates(const EnabledStates& enabled) {
    enabled_ = enabled;
    for (QWidget* widget : rowWidgets_)
        widget->setEnabled(enabled.parameters);
    for (int i = 0; i < model_.parameterCount(); ++i) {
        // A direction means something only for a parameter with a source.
        if (QCheckBox* reverse = reverses_[slot(i)])
            reverse->setEnabled(enabled.parameters && model_.source(i) != NoAssignment);
    }
    if (bypass_)
        bypass_->setEnabled(enabled.footswitchRouting);
    if (preset_)
        preset_->setEnabled(enabled.footswitchRouting);
    undoAction_->setEnabled(enabled.undo);
    redoAction_->setEnabled(enabled.redo);
    if (undoButton_)
        undoButton_->setEnabled(enabled.undo);
    if (redoButton_)
        redoButton_->setEnabled(enabled.redo);
}

void ParameterWindow::send(const std::optional<HexFrame>& frame) {
    if (frame)
        session_.sendEdits({*frame});
}

void ParameterWindow::edit(EditTarget target, int index, int value) {
    session_.edit({{target, index, value}});
    if (target == EditTarget::Potentiometer && values_[slot(index)])
        values_[slot(index)]->setText(levelText(model_.level(index)));
    showEdits();
}

void ParameterWindow::undo() {
    session_.undo();
    showEdits();
}

void ParameterWindow::redo() {
    session_.redo();
    showEdits();
}

// The routing rules decide; what they changed shows through edited.
void ParameterWindow::route(const RoutedItem& item, std::optional<PedalControl> control) {
    session_.route(item, control);
    showEdits();
}

void ParameterWindow::markSaved() {
    history_.markSaved();
    showEdits();
}

void ParameterWindow::markChanged() {
    history_.markChanged();
    showEdits();
}

// The title and the line below the rows say whether the pedal runs edits it
// has not stored; the main window hears when that or the history changes.
void ParameterWindow::showEdits() {
    const bool unsaved = history_.unsaved();
    setWindowTitle(unsaved ? caption_ + QStringLiteral(" *") : caption_);
    if (unsavedLine_)
        unsavedLine_->setVisible(unsaved);
    const std::array<bool, 3> now = {unsaved, history_.canUndo(), history_.canRedo()};
    if (now == shownEdits_)
        return;
    shownEdits_ = now;
    emit editsChanged();
}

void ParameterWindow::setValueColumnShown(bool shown) {
    valueColumn_ = shown;
    for (QLabel* value : values_) {
        if (value)
            value->setVisible(shown);
    }
    if (model_.isLoaded())
        fitWidth();
}

void ParameterWindow::fitWidth() {
    setFixedSize(OpenedWidth + (valueColumn_ ? ValueColumnWidth : 0), openedHeight());
}

} // namespace kestra
