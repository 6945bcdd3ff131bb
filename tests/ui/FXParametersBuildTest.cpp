#include "tests/editor/EditorWindowFixture.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QFrame>

namespace kestra {
namespace {

using test::EditorWindow;

enum class Kind { Pot, Switch, Button, Selector };

// Which control table holds something at index; exactly one must.
std::vector<Kind> kindsAt(const TformFXParameters& w, int index) {
    const auto i = static_cast<std::size_t>(index);
    std::vector<Kind> kinds;
    if (w.potParameter[i])
        kinds.push_back(Kind::Pot);
    if (w.switchParameter[i])
        kinds.push_back(Kind::Switch);
    if (w.buttonParameter[i])
        kinds.push_back(Kind::Button);
    if (w.multiSwitch[i])
        kinds.push_back(Kind::Selector);
    return kinds;
}

// Controls a player can operate, and the rest of what the window holds.
std::vector<QWidget*> operable(const TformFXParameters& w) {
    std::vector<QWidget*> all;
    for (std::size_t i = 0; i < MaxParameters; ++i) {
        for (QWidget* c :
             {static_cast<QWidget*>(w.potParameter[i]), static_cast<QWidget*>(w.switchParameter[i]),
              static_cast<QWidget*>(w.buttonParameter[i]), static_cast<QWidget*>(w.multiSwitch[i]),
              static_cast<QWidget*>(w.boxAssign[i])}) {
            if (c)
                all.push_back(c);
        }
    }
    for (QComboBox* box : w.boxAssignRdbcks) {
        if (box)
            all.push_back(box);
    }
    all.push_back(w.boxAssignBypass);
    all.push_back(w.boxAssignPreset);
    return all;
}

std::vector<QWidget*> passive(const TformFXParameters& w) {
    std::vector<QWidget*> all{w.bypassLabel, w.presetLabel, w.separatorLine};
    for (std::size_t i = 0; i < MaxParameters; ++i) {
        if (w.nameLabel[i])
            all.push_back(w.nameLabel[i]);
        if (w.stateLabel[i])
            all.push_back(w.stateLabel[i]);
    }
    for (QLabel* label : w.readbackLabel) {
        if (label)
            all.push_back(label);
    }
    return all;
}

TEST_F(EditorWindow, PotsOnlyEffectHasAKnobRowPerParameter) {
    open(QStringLiteral("Snarlhound"));
    ASSERT_TRUE(window->hasParameterRows());
    EXPECT_EQ(window->numOfParameters(), 3);
    const QStringList names{"Snarl", "Tone", "Level"};
    for (int i = 0; i < MaxParameters; ++i) {
        const auto s = static_cast<std::size_t>(i);
        if (i < 3) {
            EXPECT_EQ(kindsAt(*window, i), std::vector<Kind>{Kind::Pot}) << i;
            EXPECT_EQ(window->nameLabel[s]->text(), names[i]);
            EXPECT_EQ(window->potParameter[s]->accessibleName(), names[i]);
            EXPECT_EQ(window->potParameter[s]->minimum(), 0);
            EXPECT_EQ(window->potParameter[s]->maximum(), 1023);
            EXPECT_EQ(window->stateLabel[s], nullptr);
        } else {
            EXPECT_TRUE(kindsAt(*window, i).empty()) << i;
            EXPECT_EQ(window->boxAssign[s], nullptr) << i;
            EXPECT_EQ(window->reverseCheckBox[s], nullptr) << i;
        }
    }
    for (QComboBox* box : window->boxAssignRdbcks)
        EXPECT_EQ(box, nullptr);
    EXPECT_EQ(window->size(), QSize(420, (3 + 0 + 4) * 25 + 10));
}

TEST_F(EditorWindow, RowsSitWhereTheLayoutPutsThem) {
    open(QStringLiteral("Dub Echo X3")); // 7 pots, button, switch, selector, 1 readback
    ASSERT_TRUE(window->hasParameterRows());
    const auto& w = *window;
    struct Case {
        const char* what;
        QWidget* widget;
        QRect expected;
    };
    const Case cases[] = {
        {"first knob label", w.nameLabel[0], {10, 10, 150, 20}},
        {"first knob", w.potParameter[0], {160, 10, 100, 20}},
        {"last knob", w.potParameter[6], {160, 160, 100, 20}},
        {"button label", w.nameLabel[7], {10, 185, 150, 20}},
        {"button state", w.stateLabel[7], {120, 185, 100, 20}},
        {"button", w.buttonParameter[7], {190, 185, 50, 20}},
        {"switch state", w.stateLabel[8], {120, 210, 100, 20}},
        {"switch", w.switchParameter[8], {190, 210, 40, 20}},
        {"selector label", w.nameLabel[9], {10, 235, 100, 20}},
        {"selector", w.multiSwitch[9], {160, 235, 100, 20}},
        {"source box", w.boxAssign[9], {300, 235, 70, 20}},
        {"reverse box", w.reverseCheckBox[9], {380, 235, 20, 20}},
        {"separator", w.separatorLine, {280, 10, 1, 245}},
        {"bypass label", w.bypassLabel, {10, 260, 150, 20}},
        {"bypass box", w.boxAssignBypass, {300, 260, 70, 20}},
        {"preset label", w.presetLabel, {10, 285, 150, 20}},
        {"preset box", w.boxAssignPreset, {300, 285, 70, 20}},
        {"readback label", w.readbackLabel[0], {10, 310, 150, 20}},
        {"readback box", w.boxAssignRdbcks[0], {300, 310, 70, 20}},
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.widget, nullptr) << c.what;
        EXPECT_EQ(c.widget->geometry(), c.expected) << c.what;
    }
    EXPECT_TRUE(w.nameLabel[9]->wordWrap());
    EXPECT_EQ(w.size(), QSize(420, (10 + 1 + 4) * 25 + 10));
}

TEST_F(EditorWindow, EachParameterGetsTheControlOfItsKindAndItsNames) {
    open(QStringLiteral("Dub Echo X3"));
    ASSERT_TRUE(window->hasParameterRows());
    const auto& w = *window;
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(kindsAt(w, i), std::vector<Kind>{Kind::Pot}) << i;
    EXPECT_EQ(kindsAt(w, 7), std::vector<Kind>{Kind::Button});
    EXPECT_EQ(kindsAt(w, 8), std::vector<Kind>{Kind::Switch});
    EXPECT_EQ(kindsAt(w, 9), std::vector<Kind>{Kind::Selector});
    EXPECT_TRUE(kindsAt(w, 10).empty());

    EXPECT_TRUE(w.isButtonParameter[7]);
    EXPECT_FALSE(w.isButtonParameter[8]);
    EXPECT_EQ(w.buttonParameter[7]->text(), QStringLiteral("TAP"));
    EXPECT_TRUE(w.buttonParameter[7]->isCheckable());
    EXPECT_FALSE(w.buttonParameter[7]->isChecked());
    EXPECT_EQ(w.stateLabel[7]->text(), QString());
    EXPECT_EQ(w.stateLabel[8]->text(), QStringLiteral("1")); // "Heads:1:3", off
    EXPECT_EQ(w.switchOnTexts[8], QStringLiteral("3"));
    EXPECT_EQ(w.multiSwitch[9]->count(), 8);
    EXPECT_EQ(w.multiSwitchPositions[9], 8);
    EXPECT_EQ(w.multiSwitch[9]->currentIndex(), -1);

    const std::pair<QWidget*, const char*> names[] = {
        {w.potParameter[0], "Time"},
        {w.buttonParameter[7], "Tap"},
        {w.switchParameter[8], "Heads"},
        {w.multiSwitch[9], "Pattern"},
        {w.boxAssign[0], "Time source"},
        {w.boxAssign[9], "Pattern source"},
        {w.reverseCheckBox[8], "Heads reverse"},
        {w.boxAssignRdbcks[0], "Tempo LED"},
        {w.boxAssignBypass, "Bypass Toggle"},
        {w.boxAssignPreset, "Preset Change"},
    };
    for (const auto& [widget, name] : names)
        EXPECT_EQ(widget->accessibleName(), QString::fromLatin1(name));
    EXPECT_EQ(w.bypassLabel->text(), QStringLiteral("Bypass Toggle"));
    EXPECT_EQ(w.presetLabel->text(), QStringLiteral("Preset Change"));
    EXPECT_EQ(w.boxAssignBypass->toolTip(), QStringLiteral("Bypass Toggle"));
    EXPECT_EQ(w.readbackLabel[0]->text(), QStringLiteral("Tempo"));
    EXPECT_EQ(w.reverseCheckBox[0]->text(), QString());
    EXPECT_EQ(w.reverseCheckBox[0]->toolTip(),
              QStringLiteral("Toggle the Reverse function for the current parameter"));

    // Pick boxes list their items and start with none chosen.
    const std::pair<QComboBox*, QStringList> boxes[] = {
        {w.boxAssign[3],
         {"KI", "KII", "KIII", "KIV", "KV", "B1", "B2", "B3", "FS", "FL", "RMT", "EXP", "--"}},
        {w.boxAssignRdbcks[0], {"SX", "DX", "RED", "GREEN", "--"}},
        {w.boxAssignBypass, {"FS", "FL", "RMT", "--"}},
        {w.boxAssignPreset, {"FS", "FL", "RMT", "--"}},
    };
    for (const auto& [box, items] : boxes) {
        QStringList shown;
        for (int k = 0; k < box->count(); ++k)
            shown << box->itemText(k);
        EXPECT_EQ(shown, items) << box->accessibleName().toStdString();
        EXPECT_EQ(box->currentIndex(), -1) << box->accessibleName().toStdString();
    }
}

TEST_F(EditorWindow, SixteenParametersFillEveryRow) {
    open(QStringLiteral("Octovolt Synth"));
    ASSERT_TRUE(window->hasParameterRows());
    EXPECT_EQ(window->numOfPots(), 11);
    EXPECT_EQ(window->numOfSwitches(), 2);
    EXPECT_EQ(window->numOfMultiSwitches(), 3);
    EXPECT_EQ(window->numOfReadbacks(), 1);
    for (int i = 0; i < MaxParameters; ++i) {
        EXPECT_EQ(kindsAt(*window, i).size(), 1u) << i;
        EXPECT_EQ(window->boxAssign[static_cast<std::size_t>(i)]->y(), 10 + 25 * i) << i;
    }
    EXPECT_EQ(window->multiSwitch[15]->count(), 12);
    EXPECT_EQ(window->separatorLine->height(), 392);
    EXPECT_EQ(window->boxAssignBypass->y(), 410);
    EXPECT_EQ(window->boxAssignRdbcks[0]->y(), 460);
    EXPECT_EQ(window->size(), QSize(420, 535));
}

class EnabledAtBuild : public EditorWindow, public ::testing::WithParamInterface<bool> {};

TEST_P(EnabledAtBuild, ControlsFollowWhetherTheEffectIsTheStoredOne) {
    const bool stored = GetParam();
    open(QStringLiteral("Dub Echo X3"), stored);
    ASSERT_TRUE(window->hasParameterRows());
    for (QWidget* c : operable(*window))
        EXPECT_EQ(c->isEnabled(), stored) << c->accessibleName().toStdString();
    for (QCheckBox* box : window->reverseCheckBox) {
        if (box) {
            EXPECT_FALSE(box->isEnabled()) << box->accessibleName().toStdString();
        }
    }
    for (QWidget* c : passive(*window))
        EXPECT_TRUE(c->isEnabled());

    for (bool enabled : {!stored, stored}) {
        window->EnableDisableControls(enabled);
        for (QWidget* c : operable(*window))
            EXPECT_EQ(c->isEnabled(), enabled) << c->accessibleName().toStdString();
        for (QWidget* c : passive(*window))
            EXPECT_EQ(c->isEnabled(), enabled);
        for (QCheckBox* box : window->reverseCheckBox) {
            if (box) {
                EXPECT_EQ(box->isEnabled(), enabled);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(StoredOrNot, EnabledAtBuild, ::testing::Bool());

TEST_F(EditorWindow, ClosingDestroysEveryControlAndKeepsTheParameterData) {
    open(QStringLiteral("Wobblecat Trem"));
    ASSERT_TRUE(window->hasParameterRows());
    window->close();
    EXPECT_TRUE(closedSignal);
    EXPECT_TRUE(window->findChildren<QWidget*>().isEmpty());
    EXPECT_FALSE(window->hasParameterRows());
    for (int i = 0; i < MaxParameters; ++i) {
        EXPECT_TRUE(kindsAt(*window, i).empty());
        EXPECT_EQ(window->boxAssign[static_cast<std::size_t>(i)], nullptr);
    }
    EXPECT_EQ(window->boxAssignBypass, nullptr);
    EXPECT_EQ(window->separatorLine, nullptr);
    EXPECT_EQ(window->parameterAddresses[0], addressOf(QStringLiteral("Wobblecat Trem"), 0));
    EXPECT_EQ(window->multiSwitchPositions[4], 4);
    EXPECT_EQ(window->numOfParameters(), 5);
}

TEST_F(EditorWindow, ReopeningReleasesButtons) {
    open(QStringLiteral("Wobblecat Trem"));
    window->buttonParameter[3]->click();
    ASSERT_TRUE(window->buttonParameter[3]->isChecked());
    window->close();
    window->show();
    ASSERT_TRUE(window->hasParameterRows());
    EXPECT_EQ(window->buttonStates[3], 0);
    EXPECT_FALSE(window->buttonParameter[3]->isChecked());
}

TEST_F(EditorWindow, ButtonRowAfterASwitchAtTheSameNumberShowsNoState) {
    open(QStringLiteral("Grizzle Drive")); // switch "Bright:OFF:ON" at 3
    ASSERT_EQ(window->stateLabel[3]->text(), QStringLiteral("OFF"));
    window->close();
    open(QStringLiteral("Wobblecat Trem")); // button "Tap" at 3
    ASSERT_NE(window->buttonParameter[3], nullptr);
    EXPECT_EQ(window->stateLabel[3]->text(), QString());
    window->showSwitchState(3);
    EXPECT_EQ(window->stateLabel[3]->text(), QString());
}

TEST_F(EditorWindow, RefusedDescriptorLeavesAnEmptyWindow) {
    open(QStringLiteral("Wobblecat Trem"));
    window->close();
    open(QStringLiteral("Signal Probe"));
    EXPECT_FALSE(window->hasParameterRows());
    EXPECT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(window->findChildren<QWidget*>().isEmpty());
    EXPECT_EQ(window->numOfParameters(), 0);
    EXPECT_EQ(window->numOfReadbacks(), 0);

    // Nothing that reaches the window later may touch a missing row.
    window->applyRealtimeFrame({0, 0, 512});
    window->applyRealtimeFrame({5, 3, 1024});
    window->setItems();
    window->EnableDisableControls(true);
    window->EnableRevCheckBoxes();
    EXPECT_EQ(window->assignFrame().text.mid(2, 40), QStringLiteral("FF").repeated(20));
    EXPECT_FALSE(window->requestParameterState());
    EXPECT_TRUE(pedal.writes().isEmpty());
}

} // namespace
} // namespace kestra
