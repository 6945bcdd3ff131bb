// The parameter window on its own: a model of an effect of the compiled
// catalogue (skipped when this build's catalogue lacks it) and a connection
// over a scripted port that records what would reach the pedal. Controls are
// found by their accessible names, as a screen reader finds them.
#include "ui/ParameterWindow.h"

#include "catalogue/ResourceNames.h"
#include "tests/support/FakePort.h"
#include "tests/support/TestClock.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <functional>
#include <gtest/gtest.h>

namespace kestra {
namespace {

const QString Snarlhound = QStringLiteral("Snarlhound");    // three knobs
const QString DubEcho = QStringLiteral("Dub Echo X3");      // 7 knobs, button, switch, selector
const QString Octovolt = QStringLiteral("Octovolt Synth");  // 16 parameters
const QString Wobblecat = QStringLiteral("Wobblecat Trem"); // knobs 0-2, Tap 3, Shape 4, LFO
const QString Grizzle = QStringLiteral("Grizzle Drive");    // knobs 0-2, switch Bright 3

// Linked, the window shows the effect stored on the pedal and Request has
// read it: everything may be used.
EditorSituation live(bool bankMode = false) {
    EditorSituation s;
    s.link = Connection::State::Linked;
    s.effectSelected = true;
    s.selectionUploadable = true;
    s.showsStoredEffect = true;
    s.stateRead = true;
    s.bankMode = bankMode;
    return s;
}

class ParameterWindowTest : public ::testing::Test {
public:
    void SetUp() override {
        const PortResult linked = connection.link(port.devices[0]);
        ASSERT_TRUE(linked.ok()) << linked.detail.toStdString();
        window.applyEnabledStates(enabledStates(live()));
    }

    // Loads effect into the model and shows it, as the main window does.
    // False when the test cannot go on (skipped).
    bool open(const QString& effect) {
        if (!ResourceStore::compiled().contains(format_resource_name(effect))) {
            [&] { GTEST_SKIP() << effect.toStdString() << " is not in the compiled catalogue"; }();
            return false;
        }
        QString error;
        loaded = model.load(effect, &error);
        window.showEffect(effect);
        port.writes.clear();
        return true;
    }

    // What reached the pedal since the last look, once every pause is over.
    QStringList sent() {
        clock.advance(50);
        const QStringList texts = port.writtenHex();
        port.writes.clear();
        return texts;
    }

    // The one control named name.
    template <typename W = QWidget>
    W* named(const QString& name) {
        W* found = nullptr;
        for (W* widget : window.findChildren<W*>()) {
            if (widget->accessibleName() != name)
                continue;
            EXPECT_EQ(found, nullptr) << "two controls named " << name.toStdString();
            found = widget;
        }
        EXPECT_NE(found, nullptr) << "no control named " << name.toStdString();
        return found;
    }
    // The one label showing text.
    QLabel* label(const QString& text) {
        QLabel* found = nullptr;
        for (QLabel* l : window.findChildren<QLabel*>()) {
            if (l->text() != text || l->objectName() == QLatin1String("separatorLine"))
                continue;
            EXPECT_EQ(found, nullptr) << "two labels " << text.toStdString();
            found = l;
        }
        EXPECT_NE(found, nullptr) << "no label " << text.toStdString();
        return found;
    }
    QFrame* separator() { return window.findChild<QFrame*>(QStringLiteral("separatorLine")); }

    test::TestClock clock;
    test::FakePort port;
    Connection connection{port};
    PedalSession session{connection};
    ParameterModel& model = session.parameters();
    ParameterWindow window{session};
    bool loaded = false;
};

enum class Kind { None, Knob, Switch, Button, Selector };

Kind kindOf(QWidget* control) {
    if (!control)
        return Kind::None;
    if (qobject_cast<QSlider*>(control))
        return Kind::Knob;
    if (qobject_cast<ToggleSwitch*>(control))
        return Kind::Switch;
    if (qobject_cast<QPushButton*>(control))
        return Kind::Button;
    if (qobject_cast<QComboBox*>(control))
        return Kind::Selector;
    return Kind::None;
}

QStringList itemsOf(QComboBox* box) {
    QStringList items;
    for (int k = 0; k < box->count(); ++k)
        items << box->itemText(k);
    return items;
}

TEST_F(ParameterWindowTest, KnobsOnlyEffectHasAKnobRowPerParameter) {
    if (!open(Snarlhound))
        return;
    const QStringList names{"Snarl", "Tone", "Level"};
    for (int i = 0; i < 3; ++i) {
        auto* knob = named<QSlider>(names[i]);
        ASSERT_NE(knob, nullptr);
        EXPECT_EQ(window.control(i), knob);
        EXPECT_EQ(knob->minimum(), 0);
        EXPECT_EQ(knob->maximum(), 1023);
        EXPECT_EQ(label(names[i])->geometry(), QRect(10, 10 + 25 * i, 150, 20));
    }
    for (int i = 3; i < frames::MaxParameters; ++i) {
        EXPECT_EQ(window.control(i), nullptr) << i;
        EXPECT_EQ(window.sourceBox(i), nullptr) << i;
        EXPECT_EQ(window.reverseBox(i), nullptr) << i;
    }
    EXPECT_TRUE(window.findChildren<ToggleSwitch*>().isEmpty());
    EXPECT_EQ(window.ledBox(0), nullptr);
    EXPECT_EQ(window.rowsArea()->size(),
              QSize(ParameterWindow::OpenedWidth, (3 + 0 + 4) * 25 + 10));
}

TEST_F(ParameterWindowTest, RowsSitWhereTheLayoutPutsThem) {
    if (!open(DubEcho))
        return;
    struct Case {
        const char* what;
        QWidget* widget;
        QRect expected;
    };
    const Case cases[] = {
        {"first knob label", label("Time"), {10, 10, 150, 20}},
        {"first knob", named("Time"), {160, 10, 100, 20}},
        {"last knob", named("Drive"), {160, 160, 100, 20}},
        {"button label", label("Tap"), {10, 185, 150, 20}},
        {"button state", label(""), {120, 185, 100, 20}},
        {"button", named("Tap"), {190, 185, 50, 20}},
        {"switch state", label("1"), {120, 210, 100, 20}},
        {"switch", named("Heads"), {190, 210, 40, 20}},
        {"selector label", label("Pattern"), {10, 235, 100, 20}},
        {"selector", named("Pattern"), {160, 235, 100, 20}},
        {"source box", named("Pattern source"), {335, 235, 70, 20}},
        {"reverse box", named("Pattern reverse"), {436, 235, 20, 20}},
        {"separator", separator(), {322, 10, 1, 245}},
        {"bypass label", label("Bypass Toggle"), {10, 260, 150, 20}},
        {"bypass box", named("Bypass Toggle"), {335, 260, 70, 20}},
        {"preset label", label("Preset Change"), {10, 285, 150, 20}},
        {"preset box", named("Preset Change"), {335, 285, 70, 20}},
        {"readback header", label("Readback"), {10, 310, 150, 20}},
        {"LED header", label("LED"), {335, 310, 70, 20}},
        {"readback label", label("Tempo"), {10, 335, 150, 20}},
        {"readback box", named("Tempo LED"), {335, 335, 70, 20}},
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.widget, nullptr) << c.what;
        EXPECT_EQ(c.widget->geometry(), c.expected) << c.what;
    }
    EXPECT_TRUE(label("Pattern")->wordWrap());
    // One more row: the readbacks' header.
    EXPECT_EQ(window.rowsArea()->size(),
              QSize(ParameterWindow::OpenedWidth, (10 + 1 + 5) * 25 + 10));
}

TEST_F(ParameterWindowTest, EachParameterGetsTheControlOfItsKindAndItsNames) {
    if (!open(DubEcho))
        return;
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(kindOf(window.control(i)), Kind::Knob) << i;
    EXPECT_EQ(kindOf(window.control(7)), Kind::Button);
    EXPECT_EQ(kindOf(window.control(8)), Kind::Switch);
    EXPECT_EQ(kindOf(window.control(9)), Kind::Selector);
    EXPECT_EQ(kindOf(window.control(10)), Kind::None);

    auto* tap = named<QPushButton>("Tap");
    ASSERT_NE(tap, nullptr);
    EXPECT_EQ(tap->text(), "Tap") << "a button's caption is its label, not its off text";
    EXPECT_TRUE(tap->isCheckable());
    EXPECT_FALSE(tap->isChecked());
    EXPECT_EQ(label("1")->y(), named("Heads")->y()) << "\"Heads:1:3\" shows its off text";
    auto* pattern = named<QComboBox>("Pattern");
    ASSERT_NE(pattern, nullptr);
    EXPECT_EQ(pattern->count(), 8);
    EXPECT_EQ(pattern->currentIndex(), -1) << "the pedal's position is unknown before Request";

    for (const char* name : {"Time source", "Pattern source", "Heads reverse", "Tempo LED"})
        EXPECT_NE(named(name), nullptr) << name;
    EXPECT_EQ(named("Bypass Toggle")->toolTip(), "Bypass Toggle");
    // Every name label carries its whole name as its hint.
    for (const char* name : {"Time", "Drive", "Pattern", "Bypass Toggle", "Tempo"})
        EXPECT_EQ(label(name)->toolTip(), name) << name;
    QCheckBox* reverse = window.reverseBox(0);
    EXPECT_EQ(reverse->text(), QString());
    EXPECT_EQ(reverse->toolTip(), "Toggle the Reverse function for the current parameter");

    // Pick boxes list their items and start with none chosen.
    const std::pair<QComboBox*, QStringList> boxes[] = {
        {window.sourceBox(3),
         {"KI", "KII", "KIII", "KIV", "KV", "B1", "B2", "B3", "FS", "FL", "RMT", "EXP", "--"}},
        {window.ledBox(0), {"SX", "DX", "RED", "GREEN", "--"}},
        {window.bypassBox(), {"FS", "FL", "RMT", "--"}},
        {window.presetBox(), {"FS", "FL", "RMT", "--"}},
    };
    for (const auto& [box, items] : boxes) {
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(itemsOf(box), items) << box->accessibleName().toStdString();
        EXPECT_EQ(box->currentIndex(), -1) << box->accessibleName().toStdString();
    }
}

TEST_F(ParameterWindowTest, SixteenParametersFillEveryRow) {
    if (!open(Octovolt))
        return;
    for (int i = 0; i < frames::MaxParameters; ++i) {
        EXPECT_NE(kindOf(window.control(i)), Kind::None) << i;
        ASSERT_NE(window.sourceBox(i), nullptr) << i;
        EXPECT_EQ(window.sourceBox(i)->y(), 10 + 25 * i) << i;
    }
    EXPECT_EQ(window.findChildren<QSlider*>().size(), 11);
    EXPECT_EQ(window.findChildren<ToggleSwitch*>().size(), 2);
    EXPECT_EQ(static_cast<QComboBox*>(window.control(15))->count(), 12);
    EXPECT_EQ(separator()->height(), 392);
    EXPECT_EQ(window.bypassBox()->y(), 410);
    EXPECT_EQ(window.ledBox(0)->y(), 485);
    EXPECT_EQ(window.rowsArea()->size(), QSize(ParameterWindow::OpenedWidth, 560));
}

// Which controls may be used follows the editor's situation.
struct EnabledCase {
    const char* name;
    EditorSituation situation;
    bool parameters;
    bool footswitches;
};

void PrintTo(const EnabledCase& c, std::ostream* os) {
    *os << c.name;
}

EditorSituation notStored() {
    EditorSituation s = live();
    s.showsStoredEffect = false;
    s.stateRead = false;
    return s;
}

EditorSituation storedNotRead() {
    EditorSituation s = live();
    s.stateRead = false;
    return s;
}

class EnabledAtOpening : public ParameterWindowTest,
                         public ::testing::WithParamInterface<EnabledCase> {};

TEST_P(EnabledAtOpening, ControlsFollowTheSituationFromTheFirstMoment) {
    const EnabledCase& c = GetParam();
    window.applyEnabledStates(enabledStates(c.situation));
    if (!open(DubEcho))
        return;
    if (c.situation.bankMode)
        model.fixFootswitchesForBank();
    window.showAll();
    for (int i = 0; i < model.parameterCount(); ++i) {
        EXPECT_EQ(window.control(i)->isEnabled(), c.parameters) << i;
        EXPECT_EQ(window.sourceBox(i)->isEnabled(), c.parameters) << i;
        // A direction needs a source, and nothing has one yet.
        EXPECT_FALSE(window.reverseBox(i)->isEnabled()) << i;
    }
    EXPECT_EQ(window.ledBox(0)->isEnabled(), c.parameters);
    EXPECT_EQ(window.bypassBox()->isEnabled(), c.footswitches);
    EXPECT_EQ(window.presetBox()->isEnabled(), c.footswitches);

    // A source enables its reverse box while the parameters may be used.
    window.sourceBox(0)->setCurrentIndex(0);
    EXPECT_EQ(window.reverseBox(0)->isEnabled(), c.parameters);
}

INSTANTIATE_TEST_SUITE_P(
    Situations, EnabledAtOpening,
    ::testing::Values(EnabledCase{"AnotherEffectThanTheStoredOne", notStored(), false, false},
                      EnabledCase{"StoredEffectBeforeRequest", storedNotRead(), false, false},
                      EnabledCase{"StoredEffectRead", live(), true, true},
                      EnabledCase{"BankMode", live(true), true, false}),
    [](const ::testing::TestParamInfo<EnabledCase>& info) { return std::string(info.param.name); });

TEST_F(ParameterWindowTest, BankModeShowsTheFixedFootswitchesDisabledAsSoonAsItOpens) {
    window.applyEnabledStates(enabledStates(live(true)));
    QString error;
    if (!ResourceStore::compiled().contains(format_resource_name(Wobblecat)))
        GTEST_SKIP() << "Wobblecat Trem is not in the compiled catalogue";
    ASSERT_TRUE(model.load(Wobblecat, &error)) << error.toStdString();
    model.fixFootswitchesForBank();
    window.showEffect(Wobblecat);
    EXPECT_FALSE(window.bypassBox()->isEnabled());
    EXPECT_FALSE(window.presetBox()->isEnabled());
    EXPECT_EQ(window.bypassBox()->currentText(), "FS");
    EXPECT_EQ(window.presetBox()->currentText(), "FL");
    EXPECT_TRUE(window.sourceBox(0)->isEnabled());
    EXPECT_TRUE(sent().isEmpty());
}

TEST_F(ParameterWindowTest, ClosingDestroysEveryControlAndKeepsTheModel) {
    if (!open(Wobblecat))
        return;
    QSignalSpy closed(&window, &ParameterWindow::closed);
    named<QPushButton>("Tap")->click();
    window.close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(window.findChildren<QWidget*>().isEmpty());
    for (int i = 0; i < frames::MaxParameters; ++i) {
        EXPECT_EQ(window.control(i), nullptr) << i;
        EXPECT_EQ(window.sourceBox(i), nullptr) << i;
    }
    EXPECT_EQ(window.bypassBox(), nullptr);
    EXPECT_EQ(window.ledBox(0), nullptr);
    EXPECT_TRUE(model.isLoaded());
    EXPECT_EQ(model.parameterCount(), 5);
    EXPECT_EQ(model.selectorPositions(4).size(), 4);
    EXPECT_TRUE(model.buttonOn(3));

    // Opened again on a new load, the button is released.
    ASSERT_TRUE(open(Wobblecat));
    EXPECT_FALSE(named<QPushButton>("Tap")->isChecked());
}

TEST_F(ParameterWindowTest, AButtonRowAfterASwitchAtTheSameNumberShowsNoState) {
    if (!open(Grizzle))
        return;
    ASSERT_EQ(label("OFF")->y(), 10 + 25 * 3);
    window.close();
    ASSERT_TRUE(open(Wobblecat));
    ASSERT_EQ(kindOf(window.control(3)), Kind::Button);
    window.showParameter(3);
    for (QLabel* l : window.findChildren<QLabel*>())
        EXPECT_NE(l->text(), "OFF");
    EXPECT_EQ(label("")->y(), 10 + 25 * 3);
}

TEST_F(ParameterWindowTest, ARefusedDescriptorLeavesAnEmptyWindow) {
    if (!open(Wobblecat))
        return;
    window.close();
    if (!open(QStringLiteral("Signal Probe")))
        return;
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(window.findChildren<QWidget*>().isEmpty());
    EXPECT_EQ(window.control(0), nullptr);
    EXPECT_EQ(window.bypassBox(), nullptr);

    // Nothing that reaches the window later may touch a missing row.
    window.showAll();
    window.showParameter(0);
    window.showParameter(15);
    window.applyEnabledStates(enabledStates(live()));
    EXPECT_TRUE(window.findChildren<QWidget*>().isEmpty());
    EXPECT_TRUE(sent().isEmpty());
}

// What the window shows because the model changed goes nowhere: only the
// player's edits are sent.
TEST_F(ParameterWindowTest, ValuesShownFromTheModelSendNothing) {
    if (!open(Wobblecat))
        return;
    ParameterState state;
    state.parameterValues = {512, 0, 0, 1024, 768};
    state.sources.fill(NoAssignment);
    state.sources[0] = 0;  // KI
    state.sources[4] = 11; // EXP
    state.reverse[0] = true;
    state.leds = {2, 255, 255, 255};
    state.bypassSource = 9;
    model.apply(state);
    window.showAll();

    EXPECT_EQ(named<QSlider>("Rate")->value(), 512);
    EXPECT_EQ(named<QSlider>("Rate")->toolTip(), "512 (50 %)");
    EXPECT_FALSE(named<QPushButton>("Tap")->isChecked()) << "buttons keep their own state";
    EXPECT_EQ(named<QComboBox>("Shape")->currentIndex(), 3);
    EXPECT_EQ(window.sourceBox(0)->currentText(), "KI");
    EXPECT_EQ(window.sourceBox(1)->currentText(), "--");
    EXPECT_EQ(window.sourceBox(4)->currentText(), "EXP");
    EXPECT_TRUE(window.reverseBox(0)->isChecked());
    EXPECT_TRUE(window.reverseBox(0)->isEnabled());
    EXPECT_FALSE(window.reverseBox(1)->isEnabled());
    EXPECT_EQ(window.ledBox(0)->currentText(), "RED");
    EXPECT_EQ(window.bypassBox()->currentText(), "FL");
    EXPECT_EQ(window.presetBox()->currentText(), "--");

    // What the pedal reported moved is shown the same way.
    model.applyRealtime({0, 1, 700});
    window.showParameter(1);
    model.applyRealtime({0, 4, 300});
    window.showParameter(4);
    EXPECT_EQ(named<QSlider>("Depth")->value(), 700);
    EXPECT_EQ(named<QComboBox>("Shape")->currentIndex(), 1);

    EXPECT_TRUE(sent().isEmpty());
}

TEST_F(ParameterWindowTest, ASwitchShownFromTheModelShowsItsTextAndSendsNothing) {
    if (!open(Grizzle))
        return;
    model.applyRealtime({5, 3, 1024});
    window.showParameter(3);
    EXPECT_TRUE(named<ToggleSwitch>("Bright")->isChecked());
    EXPECT_EQ(label("ON")->y(), 10 + 25 * 3);
    EXPECT_TRUE(sent().isEmpty()) << "the echo is the main window's to send";
}

// A player's edit, and the frame the model gives for the same edit.
struct PlayerEdit {
    const char* name;
    QString effect;
    std::function<void(ParameterWindowTest&)> edit;
    std::function<std::vector<std::optional<HexFrame>>(ParameterModel&)> frames;
};

void PrintTo(const PlayerEdit& c, std::ostream* os) {
    *os << c.name;
}

class PlayerEdits : public ParameterWindowTest, public ::testing::WithParamInterface<PlayerEdit> {};

TEST_P(PlayerEdits, SendExactlyTheModelsFrames) {
    const PlayerEdit& c = GetParam();
    if (!open(c.effect))
        return;
    ParameterModel twin;
    QString error;
    ASSERT_TRUE(twin.load(c.effect, &error)) << error.toStdString();
    QStringList expected;
    for (const std::optional<HexFrame>& frame : c.frames(twin))
        if (frame)
            expected << frame->text;

    c.edit(*this);
    EXPECT_EQ(sent(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, PlayerEdits,
    ::testing::Values(
        PlayerEdit{"Knob", Wobblecat,
                   [](ParameterWindowTest& t) { t.named<QSlider>("Depth")->setValue(512); },
                   [](ParameterModel& m) { return std::vector{m.setPotentiometer(1, 512)}; }},
        PlayerEdit{"SwitchOnAndOff", Grizzle,
                   [](ParameterWindowTest& t) {
                       auto* sw = t.named<ToggleSwitch>("Bright");
                       sw->click();
                       sw->click();
                   },
                   [](ParameterModel& m) {
                       return std::vector{m.setSwitch(3, true), m.setSwitch(3, false)};
                   }},
        PlayerEdit{"ButtonTwice", Wobblecat,
                   [](ParameterWindowTest& t) {
                       auto* tap = t.named<QPushButton>("Tap");
                       tap->click();
                       tap->click();
                   },
                   [](ParameterModel& m) {
                       return std::vector{m.toggleButton(3), m.toggleButton(3)};
                   }},
        PlayerEdit{"SelectorOfSixteen", QStringLiteral("Pitchfold"),
                   [](ParameterWindowTest& t) {
                       auto* selector = t.named<QComboBox>("Interval");
                       selector->setCurrentIndex(15);
                       selector->setCurrentIndex(1);
                   },
                   [](ParameterModel& m) {
                       return std::vector{m.setSelector(3, 15), m.setSelector(3, 1)};
                   }},
        PlayerEdit{"SourceThenReverseThenNone", Wobblecat,
                   [](ParameterWindowTest& t) {
                       t.window.sourceBox(1)->setCurrentIndex(0); // KI
                       t.window.reverseBox(1)->click();
                       t.window.sourceBox(1)->setCurrentIndex(12); // "--"
                   },
                   [](ParameterModel& m) {
                       return std::vector{m.setSource(1, 0), m.setReversed(1, true),
                                          m.setSource(1, NoAssignment)};
                   }},
        PlayerEdit{"ReverseOfTheEleventh", Octovolt,
                   [](ParameterWindowTest& t) {
                       t.window.sourceBox(10)->setCurrentIndex(1);
                       t.window.reverseBox(10)->click();
                   },
                   [](ParameterModel& m) {
                       return std::vector{m.setSource(10, 1), m.setReversed(10, true)};
                   }},
        // Routing of footswitches and LEDs goes out with Assign.
        PlayerEdit{"FootswitchesAndLeds", Wobblecat,
                   [](ParameterWindowTest& t) {
                       t.window.bypassBox()->setCurrentIndex(0);
                       t.window.presetBox()->setCurrentIndex(1);
                       t.window.ledBox(0)->setCurrentIndex(2);
                   },
                   [](ParameterModel&) { return std::vector<std::optional<HexFrame>>{}; }}),
    [](const ::testing::TestParamInfo<PlayerEdit>& info) { return std::string(info.param.name); });

TEST_F(ParameterWindowTest, TheModelKeepsWhatThePlayerChose) {
    if (!open(Wobblecat))
        return;
    named<QSlider>("Depth")->setValue(512);
    window.sourceBox(2)->setCurrentIndex(9); // FL
    window.reverseBox(2)->click();
    window.bypassBox()->setCurrentIndex(0); // FS
    window.presetBox()->setCurrentIndex(3); // "--"
    window.ledBox(0)->setCurrentIndex(2);   // RED
    EXPECT_EQ(named<QSlider>("Depth")->toolTip(), "512 (50 %)");
    EXPECT_EQ(model.level(1), 512);
    EXPECT_EQ(model.source(2), 9);
    EXPECT_TRUE(model.reversed(2));
    EXPECT_EQ(model.assignFrame().text, QStringLiteral("04FFFF09") +
                                            QStringLiteral("FF").repeated(13) +
                                            QStringLiteral("02FFFFFF") + QStringLiteral("08FF"));
}

TEST_F(ParameterWindowTest, ReopeningShowsTheRoutingTheModelKept) {
    if (!open(Wobblecat))
        return;
    window.sourceBox(2)->setCurrentIndex(9); // FL
    window.reverseBox(2)->click();
    window.ledBox(0)->setCurrentIndex(4); // "--"
    ASSERT_EQ(sent(), QStringList{"080102"});
    window.close();
    window.showEffect(Wobblecat);
    EXPECT_EQ(window.sourceBox(2)->currentText(), "FL");
    EXPECT_TRUE(window.reverseBox(2)->isChecked());
    EXPECT_TRUE(window.reverseBox(2)->isEnabled());
    EXPECT_FALSE(window.reverseBox(0)->isEnabled());
    // Before Request "none" is as unknown as any other routing.
    EXPECT_EQ(window.sourceBox(0)->currentIndex(), -1);
    EXPECT_EQ(window.ledBox(0)->currentIndex(), -1);
    EXPECT_TRUE(sent().isEmpty());
}

TEST_F(ParameterWindowTest, NothingIsSentWhileAnOperationRuns) {
    if (!open(Wobblecat))
        return;
    // An operation that waits for an answer that does not come.
    Exchange request(QStringLiteral("Request"));
    request.frame(frames::requestParameterState(5))
        .awaitReply(ReplyShape::textLines(parameterStateSize(5)), 2000, QStringLiteral("Request"),
                    {});
    ASSERT_TRUE(connection.run(std::move(request)));
    ASSERT_EQ(sent(), QStringList{"0205"});
    EditorSituation busy = live();
    busy.link = Connection::State::Busy;
    window.applyEnabledStates(enabledStates(busy));

    auto* tap = named<QPushButton>("Tap");
    EXPECT_FALSE(tap->isEnabled());
    tap->click();
    EXPECT_FALSE(tap->isChecked());
    EXPECT_FALSE(model.buttonOn(3));
    // A change that reaches the session all the same goes out once the
    // operation has ended, never in the middle of it.
    named<QSlider>("Rate")->setValue(700);
    EXPECT_TRUE(sent().isEmpty());
    clock.advance(3000);
    ASSERT_EQ(connection.state(), Connection::State::Linked);
    const QStringList after = sent();
    ASSERT_EQ(after.size(), 1);
    EXPECT_TRUE(after[0].startsWith("01")) << after[0].toStdString();
}

} // namespace
} // namespace kestra
