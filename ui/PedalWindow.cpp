#include "ui/PedalWindow.h"

#include "core/Dialogs.h"
#include "port/FrontPanel.h"
#include "ui/widgets/Accessible.h"
#include "ui/widgets/Placement.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestra {

namespace {

const char RoutingHint[] =
    "Drop a parameter's name from FX Parameters on a control, or open a control's menu "
    "(right click, Enter or the Menu key). Assign sends the routing to the pedal.";

} // namespace

PedalWindow::PedalWindow(PedalSession& session, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session) {
    setObjectName(QStringLiteral("pedalWindow"));
    setWindowTitle(QStringLiteral("Pedal"));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    view_ = new PedalView(this);
    layout->addWidget(view_);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("pedalStatus"));
    status_->setWordWrap(true);
    status_->setFixedWidth(view_->width());
    layout->addWidget(status_);
    buildPanelRow();
    layout->addWidget(panelRow_);
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("controlMenu"));

    for (PedalControlView* control : view_->controls()) {
        control->setAcceptor(
            [this](PedalControl c, const RoutedItem& item) { return accepts(c, item); });
        connect(control, &PedalControlView::menuRequested, this, &PedalWindow::openMenu);
        connect(control, &PedalControlView::itemDropped, this,
                [this](PedalControl c, const RoutedItem& item) { session_.route(item, c); });
        connect(control, &PedalControlView::turned, this, &PedalWindow::turn);
        connect(control, &PedalControlView::flipped, this, &PedalWindow::flip);
        connect(control, &PedalControlView::pressed, this, &PedalWindow::press);
    }

    // Whatever changed the model or what may be done with it: the controls
    // whose look changed repaint.
    for (auto signal :
         {&PedalSession::stateApplied, &PedalSession::edited, &PedalSession::editsChanged,
          &PedalSession::storedEffectChanged, &PedalSession::situationChanged})
        connect(&session_, signal, this, &PedalWindow::refresh);
    connect(&session_, &PedalSession::effectOpened, this, &PedalWindow::refresh);
    connect(&session_, &PedalSession::parameterMoved, this, &PedalWindow::refresh);
    connect(&session_, &PedalSession::modeChanged, this, &PedalWindow::refresh);
    refresh();
}

// The pedal's own effect and bank choice, for the front panel only.
void PedalWindow::buildPanelRow() {
    panelRow_ = new QWidget(this);
    auto* row = new QHBoxLayout(panelRow_);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(QStringLiteral("On the pedal:"), panelRow_));
    const QString effectName = QStringLiteral("Effect on the pedal");
    panelEffect_ = named(new QComboBox(panelRow_), effectName);
    panelEffect_->setToolTip(QStringLiteral("Pick an effect on the pedal itself, as its "
                                            "effect knob does"));
    for (int number = 1;; ++number) {
        const auto name = session_.catalogue().effectName(number);
        if (!name)
            break;
        panelEffect_->addItem(*name, number);
    }
    panelEffect_->setCurrentIndex(-1);
    connect(panelEffect_, &QComboBox::activated, this, [this](int index) {
        if (frontPanel_)
            tell(frontPanel_->pickEffect(panelEffect_->itemData(index).toInt()));
    });
    row->addWidget(panelEffect_, 1);
    const QString banks[] = {QStringLiteral("I"), QStringLiteral("II"), QStringLiteral("III")};
    for (int bank = 0; bank < 3; ++bank) {
        auto* button = named(new QPushButton(banks[bank], panelRow_),
                             QStringLiteral("Pedal bank ") + banks[bank]);
        button->setToolTip(QStringLiteral("Step the pedal itself to bank ") + banks[bank]);
        connect(button, &QPushButton::clicked, this, [this, bank] {
            if (frontPanel_)
                tell(frontPanel_->pickBank(bank));
        });
        row->addWidget(button);
        panelBanks_[static_cast<std::size_t>(bank)] = button;
    }
    panelRow_->hide();
}

void PedalWindow::showBeside(const QWidget* anchor) {
    show();
    raise();
    activateWindow();
    moveBeside(this, anchor);
}

void PedalWindow::applyEnabledStates(const EnabledStates& enabled) {
    enabled_ = enabled;
    const bool panel = enabled.frontPanel && frontPanel_ && frontPanel_->inUse();
    for (PedalControlView* control : view_->controls())
        control->setFrontPanel(panel);
    panelRow_->setVisible(panel);
    panelEffect_->setEnabled(enabled.pedalEffectChoice);
    for (QPushButton* bank : panelBanks_)
        bank->setEnabled(enabled.pedalEffectChoice);
    refresh();
}

bool PedalWindow::accepts(PedalControl control, const RoutedItem& item) const {
    const bool footswitchRole =
        item.kind == RoutedItem::Kind::Bypass || item.kind == RoutedItem::Kind::Preset;
    return enabled_.parameters && (!footswitchRole || enabled_.footswitchRouting) &&
           mayRoute(session_.parameters(), item, control, session_.bankMode());
}

PedalControlView::Look PedalWindow::lookOf(PedalControl control) const {
    const ParameterModel& model = session_.parameters();
    PedalControlView::Look look;
    const auto index = static_cast<std::size_t>(control);
    look.level = panelLevels_[index];
    if (isToggle(control) && enabled_.frontPanel)
        look.on = panelSwitches_[static_cast<std::size_t>(routingCode(control) - 5)];
    // Before Request the pedal's routing is unknown: nothing is shown on it.
    if (!session_.effectOpen() || !model.stateRead())
        return look;
    QStringList names;
    bool levelShown = false;
    for (const RoutedItem& item : routedTo(model, control)) {
        QString name = routedItemName(model, item);
        if (item.kind == RoutedItem::Kind::Parameter) {
            const int p = item.index;
            if (model.reversed(p))
                name += QStringLiteral(" (reversed)");
            // The first parameter on it sets the position.
            if (!levelShown) {
                levelShown = true;
                switch (model.kind(p)) {
                case ControlKind::Pot:
                    look.level = model.level(p);
                    break;
                case ControlKind::Switch:
                    look.on = model.switchOn(p);
                    look.level = model.level(p);
                    break;
                case ControlKind::Button:
                    look.on = model.buttonOn(p);
                    break;
                case ControlKind::Selector:
                case ControlKind::None:
                    look.level = model.level(p);
                    break;
                }
            }
        }
        names << name;
    }
    look.routed = names.join(QLatin1Char('\n'));
    look.lit = isLed(control) && !names.isEmpty();
    return look;
}

void PedalWindow::refresh() {
    for (PedalControlView* control : view_->controls())
        control->showLook(lookOf(control->control()));
    const ParameterModel& model = session_.parameters();
    QString title = QStringLiteral("Pedal");
    QString status;
    if (!session_.effectOpen()) {
        status = QStringLiteral("No effect open: Get FX Stored on Pedal opens the pedal's.");
    } else {
        title += QStringLiteral(" - ") + model.effectName();
        if (session_.unsavedEdits())
            title += QStringLiteral(" *");
        status = !model.stateRead()
                     ? QStringLiteral("Request reads the routing of %1 from the pedal.")
                           .arg(model.effectName())
                     : QString::fromLatin1(RoutingHint);
        if (session_.bankMode())
            status += QStringLiteral(" FX bank mode keeps bypass on FS and bank steps on FL.");
    }
    if (windowTitle() != title)
        setWindowTitle(title);
    if (status_->text() != status)
        status_->setText(status);
}

// A control's menu: what may go on it, what is on it checked; picking an
// unchecked entry routes it here, a checked one takes it off.
void PedalWindow::openMenu(PedalControl control, QPoint position) {
    menu_->clear();
    menu_->setTitle(controlName(control));
    menu_->addSection(controlName(control));
    const ParameterModel& model = session_.parameters();
    std::vector<RoutedItem> items;
    if (session_.effectOpen()) {
        if (isLed(control)) {
            for (int k = 0; k < model.readbackCount(); ++k)
                items.push_back(RoutedItem::readback(k));
        } else {
            for (int i = 0; i < model.parameterCount(); ++i)
                items.push_back(RoutedItem::parameter(i));
            if (isFootswitch(control)) {
                items.push_back(RoutedItem::bypass());
                items.push_back(RoutedItem::preset());
            }
        }
    }
    for (const RoutedItem& item : items) {
        if (item.kind == RoutedItem::Kind::Bypass)
            menu_->addSeparator();
        QAction* action = menu_->addAction(routedItemName(model, item));
        action->setCheckable(true);
        const bool here = model.stateRead() && routedControl(model, item) == control;
        action->setChecked(here);
        action->setEnabled(accepts(control, item));
        connect(action, &QAction::triggered, this, [this, item, control, here] {
            session_.route(item, here ? std::nullopt : std::optional<PedalControl>(control));
        });
    }
    if (items.empty()) {
        const QString nothing = !session_.effectOpen()
                                    ? QStringLiteral("No effect open")
                                    : QStringLiteral("This effect has nothing to show here");
        menu_->addAction(nothing)->setEnabled(false);
    }
    menu_->popup(position);
}

void PedalWindow::tell(const QString& refusal) {
    if (!refusal.isEmpty())
        Dialogs::instance().error(refusal);
}

void PedalWindow::turn(PedalControl control, int level) {
    if (!frontPanel_ || !enabled_.frontPanel)
        return;
    const QString refusal = control == PedalControl::Expression
                                ? frontPanel_->moveExpression(level)
                                : frontPanel_->turnKnob(routingCode(control), level);
    if (!refusal.isEmpty())
        return tell(refusal);
    // The knob is where it was turned; a parameter on it follows when the
    // pedal says so.
    panelLevels_[static_cast<std::size_t>(control)] = level;
    refresh();
}

// B2 is the SAVE button as well: on the panel it stays down until flipped
// back, so that a player can answer a question while it is held.
void PedalWindow::flip(PedalControl control, bool on) {
    if (!frontPanel_ || !enabled_.frontPanel)
        return;
    const int toggle = routingCode(control) - routingCode(PedalControl::SwitchB1);
    QString refusal = frontPanel_->flipSwitch(toggle, on);
    if (refusal.isEmpty() && control == PedalControl::SwitchB2)
        refusal = frontPanel_->holdSave(on);
    if (!refusal.isEmpty())
        return tell(refusal);
    panelSwitches_[static_cast<std::size_t>(toggle)] = on;
    refresh();
}

void PedalWindow::press(PedalControl control) {
    if (!frontPanel_ || !enabled_.frontPanel)
        return;
    tell(frontPanel_->pressFootswitch(routingCode(control) -
                                      routingCode(PedalControl::FootswitchFS)));
}

} // namespace kestra
