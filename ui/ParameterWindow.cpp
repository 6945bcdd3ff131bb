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
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QToolTip>

namespace kestra {

namespace {

constexpr int MaxLevel = 1023;
// A hand's steps: the arrows move 1 %, Page Up and Page Down 10 %.
constexpr int LevelStep = 10;
constexpr int LevelPage = 102;
constexpr int ReadbackRowOffset = 2; // the bypass and preset rows come first
constexpr int DesignWidth = 373;
constexpr int DesignHeight = 480;
// Columns of a row, left to right.
constexpr int NameX = 10;
constexpr int TrackBarX = 160;
constexpr int ValueColumnX = 265;
constexpr int ValueColumnWidth = 50;
constexpr int SeparatorX = 322;
constexpr int PickBoxX = 335;
constexpr int PickBoxWidth = 70;
constexpr int ReverseX = 436;
constexpr int ReverseHeaderX = 416;
constexpr int ReverseHeaderWidth = 60;
// The effect's name and the column headers above the rows.
constexpr int HeaderHeight = 56;
const char LevelHeader[] = "Level (%)";
// What a window frame's title bar takes when the frame is not known yet.
constexpr int TitleBarAllowance = 40;
const char UnsavedText[] = "Edited, not stored on the pedal";

// The application's style sheet pads buttons and pick boxes for dialogs; the
// rows here are 20 pixels high, so the padding would hide the text.
constexpr char CompactRows[] = "QPushButton { padding: 0px 4px; min-height: 0px; }"
                               "QComboBox { padding: 0px 4px; min-height: 0px; }";

const char ReverseHint[] = "Toggle the Reverse function for the current parameter";

// Each entry of a pick box tells what its code means when the list is open.
void explainItems(QComboBox* box, const QStringList& meanings) {
    for (int k = 0; k < box->count() && k < meanings.size(); ++k)
        box->setItemData(k, meanings[k], Qt::ToolTipRole);
}

// What a pick box's current entry means, for the screen reader that reads
// the box by that entry alone.
QString currentMeaning(const QComboBox* box, const QStringList& meanings) {
    const int position = box->currentIndex();
    if (position < 0 || position >= meanings.size())
        return QStringLiteral("not read from the pedal yet");
    return box->currentText() + QStringLiteral(", ") + meanings[position];
}

// "On" or "Off", with the descriptor's own text when it says something else.
QString switchStateText(bool on, const QString& shown) {
    const QString state = on ? QStringLiteral("On") : QStringLiteral("Off");
    if (shown.isEmpty() || shown.compare(state, Qt::CaseInsensitive) == 0)
        return state;
    return state + QStringLiteral(" (") + shown + QLatin1Char(')');
}

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
    const int row = editRow();
    unsavedLine_ = addLabel(QString::fromLatin1(UnsavedText), NameX, row, 250);
    unsavedLine_->setObjectName(QStringLiteral("unsavedLine"));
    const auto makeButton = [this, row](QAction* action, int x) {
        auto* button = named(new QPushButton(action->text(), rows_), action->text());
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

int ParameterWindow::rowY(int row) const {
    int y = FirstRowY + RowPitch * row;
    for (int r = 0; r < row && r < frames::MaxParameters; ++r)
        y += rowGrowth_[static_cast<std::size_t>(r)];
    return y;
}

void ParameterWindow::growRow(int row, int height) {
    // Rows keep the pitch's gap of five pixels below their controls.
    rowGrowth_[slot(row)] = std::max(0, height + 5 - RowPitch);
}

int ParameterWindow::bypassRow() const {
    return model_.parameterCount();
}

// A header row above the readbacks names their LED column.
int ParameterWindow::readbackRow(int readback) const {
    return bypassRow() + ReadbackRowOffset + 1 + readback;
}

int ParameterWindow::editRow() const {
    return bypassRow() + ReadbackRowOffset + model_.readbackCount() +
           (model_.readbackCount() > 0 ? 1 : 0);
}

// Two rows below the Undo and Redo row: one for them, one for the margin.
int ParameterWindow::openedHeight() const {
    return rowY(editRow() + 2);
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
    caption_ = caption;
    buildRows();
    session_.followModel();
    fitSize();
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
    delete header_;
    delete scroll_;
    header_ = nullptr;
    scroll_ = nullptr;
    rows_ = nullptr;
    effectName_ = nullptr;
    rowGrowth_.fill(0);
}

QLabel* ParameterWindow::addLabel(const QString& text, int x, int row, int width) {
    auto* label = new QLabel(text, rows_);
    label->setGeometry(x, rowY(row), width, 20);
    label->show();
    rowWidgets_.push_back(label);
    return label;
}

QComboBox* ParameterWindow::addPickBox(const QStringList& items, int row, const QString& name) {
    auto* box = named(new QComboBox(rows_), name);
    box->addItems(items);
    box->setCurrentIndex(-1);
    box->setGeometry(PickBoxX, rowY(row), PickBoxWidth, 20);
    box->show();
    rowWidgets_.push_back(box);
    return box;
}

void ParameterWindow::buildRows() {
    if (!model_.isLoaded())
        return;
    buildFrame();
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
    orderTabs();
}

// The effect's name and the column headers, with the rows below them in an
// area that scrolls when the screen is too short.
void ParameterWindow::buildFrame() {
    header_ = new QWidget(this);
    header_->setObjectName(QStringLiteral("parameterHeader"));
    effectName_ = new QLabel(caption_, header_);
    effectName_->setObjectName(QStringLiteral("effectName"));
    QFont bold = effectName_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.25);
    effectName_->setFont(bold);
    effectName_->setGeometry(NameX, 6, OpenedWidth - 2 * NameX, 24);
    buildHeaders();
    header_->show();

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("parameterRows"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidgetResizable(false);
    rows_ = new QWidget;
    rows_->setObjectName(QStringLiteral("rows"));
    rows_->setFixedSize(OpenedWidth, DesignHeight);
    scroll_->setWidget(rows_);
    scroll_->show();
}

void ParameterWindow::buildHeaders() {
    const auto header = [this](const QString& text, int x, int width, const QString& hint,
                               Qt::Alignment alignment) {
        auto* label = new QLabel(text, header_);
        label->setObjectName(QStringLiteral("columnHeader"));
        label->setGeometry(x, 34, width, 18);
        label->setAlignment(alignment | Qt::AlignVCenter);
        label->setToolTip(hint);
        return label;
    };
    header(QStringLiteral("Control"), NameX, 140,
           QStringLiteral("Each parameter of the effect and its control"), Qt::AlignLeft);
    header(QString::fromLatin1(LevelHeader), ValueColumnX, SeparatorX - ValueColumnX,
           QStringLiteral("Each knob's level; its tooltip gives the level from 0 to 1023"),
           Qt::AlignLeft)
        ->setVisible(valueColumn_);
    header(QStringLiteral("Pedal source"), PickBoxX, PickBoxWidth + 10,
           QStringLiteral("The pedal control that moves the parameter\n") +
               spelledOut(assignSourceNames(), assignSourceMeanings()),
           Qt::AlignLeft);
    header(QStringLiteral("Reverse"), ReverseHeaderX, ReverseHeaderWidth,
           QStringLiteral("A reversed parameter goes down as its pedal source goes up"),
           Qt::AlignHCenter);
}

// Tab goes through the rows from top to bottom, each row left to right.
void ParameterWindow::orderTabs() {
    std::vector<QWidget*> chain;
    for (int i = 0; i < model_.parameterCount(); ++i)
        for (QWidget* w : {control(i), static_cast<QWidget*>(sources_[slot(i)]),
                           static_cast<QWidget*>(reverses_[slot(i)])})
            if (w)
                chain.push_back(w);
    chain.push_back(bypass_);
    chain.push_back(preset_);
    for (int k = 0; k < model_.readbackCount(); ++k)
        chain.push_back(leds_[static_cast<std::size_t>(k)]);
    chain.push_back(undoButton_);
    chain.push_back(redoButton_);
    for (std::size_t k = 1; k < chain.size(); ++k)
        QWidget::setTabOrder(chain[k - 1], chain[k]);
}

void ParameterWindow::buildPotentiometer(int i) {
    const QString name = model_.name(i);
    // A long name is cut at the knob: the hint holds all of it.
    QLabel* label = addLabel(name, NameX, i, 150);
    label->setToolTip(name);
    carryOnDrag(label, RoutedItem::parameter(i));
    auto* bar = named(new QSlider(Qt::Horizontal, rows_), name);
    bar->setRange(0, MaxLevel);
    bar->setSingleStep(LevelStep);
    bar->setPageStep(LevelPage);
    bar->setTracking(true);
    bar->setGeometry(TrackBarX, rowY(i), 100, 20);
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
    return QStringLiteral("%1 (%2)").arg(level).arg(percentText(level));
}

QString ParameterWindow::percentText(int level) {
    return QStringLiteral("%1 %").arg(qRound(level * 100.0 / MaxLevel));
}

// The level under the handle while it moves, and on hover afterwards.
void ParameterWindow::showTrackBarValue(QSlider* trackBar) {
    const QString text = levelText(trackBar->value());
    trackBar->setToolTip(text);
    trackBar->setAccessibleDescription(text);
    if (!trackBar->isSliderDown())
        return;
    const int x = QStyle::sliderPositionFromValue(trackBar->minimum(), trackBar->maximum(),
                                                  trackBar->value(), trackBar->width());
    QToolTip::showText(trackBar->mapToGlobal(QPoint(x, -trackBar->height())), text, trackBar);
}

void ParameterWindow::buildSwitch(int i) {
    const SwitchText text = model_.switchText(i);
    carryOnDrag(addLabel(text.label, NameX, i, 150), RoutedItem::parameter(i));
    switchStates_[slot(i)] = addLabel(text.offText, 120, i, 100);
    auto* sw = named(new ToggleSwitch(rows_), text.label);
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
    carryOnDrag(addLabel(name, NameX, i, 150), RoutedItem::parameter(i));
    addLabel(QString(), 120, i, 100);
    // A momentary button shows what it does: its label.
    auto* button = named(new QPushButton(name, rows_), name);
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
    QLabel* label = addLabel(name, NameX, i, 100);
    label->setWordWrap(true);
    label->ensurePolished();
    // A long name wraps to its full text, and its row grows to hold it.
    const int height = label->heightForWidth(label->width());
    if (height > label->height()) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->resize(label->width(), height);
        growRow(i, height);
    }
    label->setToolTip(name);
    carryOnDrag(label, RoutedItem::parameter(i));
    auto* selector = named(new QComboBox(rows_), name);
    selector->addItems(model_.selectorPositions(i));
    selector->setCurrentIndex(-1);
    selector->setGeometry(TrackBarX, rowY(i), 100, 20);
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
        explainItems(box, assignSourceMeanings());
        box->setToolTip(QStringLiteral("Pedal source of ") + model_.name(i) + QLatin1Char('\n') +
                        spelledOut(assignSourceNames(), assignSourceMeanings()));
        connect(box, &QComboBox::currentIndexChanged, this, [this, i](int position) {
            route(RoutedItem::parameter(i), sourceControl(sourceCodeForPosition(position)));
        });
        sources_[slot(i)] = box;

        auto* reverse = named(new QCheckBox(rows_), model_.name(i) + QStringLiteral(" reverse"));
        reverse->setToolTip(QString::fromLatin1(ReverseHint));
        reverse->setAccessibleDescription(QStringLiteral("Reversed, ") + model_.name(i) +
                                          QStringLiteral(" goes down as its pedal source goes up"));
        reverse->setGeometry(ReverseX, rowY(i), 20, 20);
        connect(reverse, &QCheckBox::toggled, this,
                [this, i](bool on) { edit(EditTarget::Reverse, i, on ? 1 : 0); });
        reverse->show();
        rowWidgets_.push_back(reverse);
        reverses_[slot(i)] = reverse;
    }

    auto* separator = new QFrame(rows_);
    separator->setObjectName(QStringLiteral("separatorLine"));
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Plain);
    // 24.5 pixels a row, in integers.
    separator->setGeometry(SeparatorX, FirstRowY, 1,
                           count * 49 / 2 + rowY(count) - RowPitch * count - FirstRowY);
    separator->show();
    rowWidgets_.push_back(separator);

    const QString bypassText = QStringLiteral("Bypass Toggle");
    const QString presetText = QStringLiteral("Preset Change");
    addLabel(bypassText, NameX, count, 150)->setToolTip(bypassText);
    carryOnDrag(rowWidgets_.back(), RoutedItem::bypass());
    bypass_ = addPickBox(footswitchNames(), count, bypassText);
    bypass_->setToolTip(bypassText);
    explainItems(bypass_, footswitchMeanings());
    connect(bypass_, &QComboBox::currentIndexChanged, this, [this](int position) {
        const int code = footswitchCodeForPosition(position);
        route(RoutedItem::bypass(), sourceControl(code));
        debugLog(QStringLiteral("BypassAssignment: ") + hex2(static_cast<std::uint32_t>(code)));
    });
    addLabel(presetText, NameX, count + 1, 150)->setToolTip(presetText);
    carryOnDrag(rowWidgets_.back(), RoutedItem::preset());
    preset_ = addPickBox(footswitchNames(), count + 1, presetText);
    preset_->setToolTip(presetText);
    explainItems(preset_, footswitchMeanings());
    connect(preset_, &QComboBox::currentIndexChanged, this, [this](int position) {
        const int code = footswitchCodeForPosition(position);
        route(RoutedItem::preset(), sourceControl(code));
        debugLog(QStringLiteral("PresetAssignment: ") + hex2(static_cast<std::uint32_t>(code)));
    });

    if (model_.readbackCount() > 0) {
        const int row = readbackRow(0) - 1;
        addLabel(QStringLiteral("Readback"), NameX, row, 150)
            ->setToolTip(QStringLiteral("What the effect shows on the pedal's LEDs"));
        addLabel(QStringLiteral("LED"), PickBoxX, row, PickBoxWidth)
            ->setToolTip(spelledOut(readbackLedNames(), readbackLedMeanings()));
    }
    for (int k = 0; k < model_.readbackCount(); ++k) {
        const int row = readbackRow(k);
        const QString name = model_.readbackName(k);
        addLabel(name, NameX, row, 150)->setToolTip(name);
        carryOnDrag(rowWidgets_.back(), RoutedItem::readback(k));
        QComboBox* box = addPickBox(readbackLedNames(), row, name + QStringLiteral(" LED"));
        explainItems(box, readbackLedMeanings());
        box->setToolTip(QStringLiteral("LED that shows ") + name + QLatin1Char('\n') +
                        spelledOut(readbackLedNames(), readbackLedMeanings()));
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
        showLevel(i);
    }
    if (ToggleSwitch* sw = switches_[s]) {
        {
            const QSignalBlocker quiet(sw);
            sw->setChecked(model_.switchOn(i));
        }
        const SwitchText text = model_.switchText(i);
        const QString shown = model_.switchOn(i) ? text.onText : text.offText;
        if (switchStates_[s])
            switchStates_[s]->setText(shown);
        sw->setToolTip(switchStateText(model_.switchOn(i), shown));
        sw->setAccessibleDescription(sw->toolTip());
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
    describeRouting();
    applyEnabledStates(enabled_);
}

// A screen reader reads a pick box by its current entry alone: the
// description says what the box routes and what the entry means.
void ParameterWindow::describeRouting() {
    for (int i = 0; i < model_.parameterCount(); ++i)
        if (QComboBox* box = sources_[slot(i)])
            box->setAccessibleDescription(QStringLiteral("Pedal source of ") + model_.name(i) +
                                          QStringLiteral(": ") +
                                          currentMeaning(box, assignSourceMeanings()));
    for (int k = 0; k < model_.readbackCount(); ++k)
        if (QComboBox* box = leds_[static_cast<std::size_t>(k)])
            box->setAccessibleDescription(QStringLiteral("LED that shows ") +
                                          model_.readbackName(k) + QStringLiteral(": ") +
                                          currentMeaning(box, readbackLedMeanings()));
    for (QComboBox* box : {bypass_, preset_})
        if (box)
            box->setAccessibleDescription(QStringLiteral("Footswitch of ") + box->accessibleName() +
                                          QStringLiteral(": ") +
                                          currentMeaning(box, footswitchMeanings()));
}

void ParameterWindow::showLevel(int i) {
    QSlider* bar = potentiometers_[slot(i)];
    if (!bar)
        return;
    const QString text = levelText(bar->value());
    bar->setToolTip(text);
    bar->setAccessibleDescription(text);
    if (QLabel* value = values_[slot(i)]) {
        value->setText(percentText(bar->value()));
        value->setToolTip(text);
    }
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

void ParameterWindow::edit(EditTarget target, int index, int value) {
    session_.edit({{target, index, value}});
    if (target == EditTarget::Potentiometer)
        showLevel(index);
    else
        describeRouting();
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
    if (header_)
        for (QLabel* label : header_->findChildren<QLabel*>(QStringLiteral("columnHeader")))
            if (label->text() == QLatin1String(LevelHeader))
                label->setVisible(shown);
}

// As tall as the rows, but never taller than the screen: the rows scroll.
void ParameterWindow::fitSize() {
    if (!rows_)
        return;
    rows_->setFixedSize(OpenedWidth, openedHeight());
    int width = OpenedWidth;
    int height = HeaderHeight + openedHeight();
    if (const QScreen* shown = screen()) {
        const int frame = frameGeometry().height() - geometry().height();
        const int room =
            shown->availableGeometry().height() - (frame > 0 ? frame : TitleBarAllowance);
        if (height > room) {
            height = std::max(HeaderHeight + 4 * RowPitch, room);
            width += scroll_->verticalScrollBar()->sizeHint().width();
        }
    }
    header_->setGeometry(0, 0, width, HeaderHeight);
    scroll_->setGeometry(0, HeaderHeight, width, height - HeaderHeight);
    setFixedSize(width, height);
}

} // namespace kestra
