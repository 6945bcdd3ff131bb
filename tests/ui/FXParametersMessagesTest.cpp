#include "tests/editor/EditorWindowFixture.h"
#include "ui/widgets/ToggleSwitch.h"

#include <functional>

namespace kestra {
namespace {

using test::EditorWindow;

const QString Wobblecat = QStringLiteral("Wobblecat Trem"); // pots 0-2, Tap 3, Shape 4, LFO
const QString Grizzle = QStringLiteral("Grizzle Drive");    // pots 0-2, switch Bright 3
const QString Pitchfold = QStringLiteral("Pitchfold");      // selector of 16 at 3
const QString Octovolt = QStringLiteral("Octovolt Synth");  // 16 parameters

TEST_F(EditorWindow, KnobSendsItsLevel) {
    open(Wobblecat);
    window->potParameter[1]->setValue(512);
    EXPECT_EQ(pedal.writes(), QStringList{setFrame(Wobblecat, 1, "00400000")});
    EXPECT_EQ(window->potParameter[1]->toolTip(), QStringLiteral("512"));
}

TEST_F(EditorWindow, SwitchSendsFullScaleOrZeroAndShowsItsText) {
    open(Grizzle);
    ToggleSwitch* sw = window->switchParameter[3];
    sw->click();
    EXPECT_EQ(window->stateLabel[3]->text(), QStringLiteral("ON"));
    sw->click();
    EXPECT_EQ(window->stateLabel[3]->text(), QStringLiteral("OFF"));
    EXPECT_EQ(pedal.writes(),
              QStringList({setFrame(Grizzle, 3, "00800000"), setFrame(Grizzle, 3, "00000000")}));
}

TEST_F(EditorWindow, ButtonTogglesBetweenFullScaleAndZero) {
    open(Wobblecat);
    QPushButton* button = window->buttonParameter[3];
    button->setFocus();
    button->click();
    EXPECT_TRUE(button->isChecked());
    EXPECT_EQ(window->buttonStates[3], 1);
    EXPECT_FALSE(button->hasFocus());
    button->click();
    EXPECT_FALSE(button->isChecked());
    EXPECT_EQ(pedal.writes(), QStringList({setFrame(Wobblecat, 3, "00800000"),
                                           setFrame(Wobblecat, 3, "00000000")}));
}

TEST_F(EditorWindow, SelectorSendsItsPositionOnTheScale) {
    open(Pitchfold);
    ASSERT_EQ(window->multiSwitch[3]->count(), 16);
    window->multiSwitch[3]->setCurrentIndex(15);
    window->multiSwitch[3]->setCurrentIndex(1);
    EXPECT_EQ(pedal.writes(), QStringList({setFrame(Pitchfold, 3, "00780000"),
                                           setFrame(Pitchfold, 3, "00080000")}));
}

TEST_F(EditorWindow, NothingIsSentWhileARequestIsInProgress) {
    const std::pair<const char*, std::function<void(TformFXParameters&)>> changes[] = {
        {"knob", [](TformFXParameters& w) { w.potParameter[0]->setValue(700); }},
        {"button", [](TformFXParameters& w) { w.buttonParameter[3]->click(); }},
        {"selector", [](TformFXParameters& w) { w.multiSwitch[4]->setCurrentIndex(2); }},
        {"reverse",
         [](TformFXParameters& w) {
             w.boxAssign[0]->setCurrentIndex(0);
             w.reverseCheckBox[0]->click();
         }},
    };
    for (const auto& [what, change] : changes) {
        open(Wobblecat);
        state.requestInProgress = true;
        change(*window);
        EXPECT_TRUE(pedal.writes().isEmpty()) << what;
        state.requestInProgress = false;
        window->close();
    }
    // A button clicked meanwhile keeps the look of its toggle state.
    open(Wobblecat);
    state.requestInProgress = true;
    window->buttonParameter[3]->click();
    EXPECT_FALSE(window->buttonParameter[3]->isChecked());
    state.requestInProgress = false;
    window->close();

    open(Grizzle);
    state.requestInProgress = true;
    window->switchParameter[3]->click();
    EXPECT_TRUE(pedal.writes().isEmpty());
}

TEST_F(EditorWindow, SourceNoneDisablesAndReleasesReverse) {
    open(Wobblecat);
    window->boxAssign[1]->setCurrentIndex(0); // KI
    EXPECT_EQ(window->parameterAssignments[1], 0);
    ASSERT_TRUE(window->reverseCheckBox[1]->isEnabled());
    window->reverseCheckBox[1]->click();
    EXPECT_EQ(window->reverseParameters[1], 1);

    window->boxAssign[1]->setCurrentIndex(12); // "--"
    EXPECT_EQ(window->parameterAssignments[1], NoAssignment);
    EXPECT_FALSE(window->reverseCheckBox[1]->isEnabled());
    EXPECT_FALSE(window->reverseCheckBox[1]->isChecked());
    EXPECT_EQ(window->reverseParameters[1], 0);
    EXPECT_EQ(pedal.writes(), QStringList({"080101", "08FF01"}));
}

TEST_F(EditorWindow, ReverseNamesItsParameter) {
    open(Octovolt);
    window->boxAssign[10]->setCurrentIndex(1);
    window->reverseCheckBox[10]->click();
    EXPECT_EQ(pedal.writes(), QStringList{"08010A"});
}

TEST_F(EditorWindow, BankModeLocksBypassAndPresetToTheFootswitches) {
    open(Wobblecat);
    window->DisableBypassAndPresetAssignInBankMode(); // preset mode: nothing
    EXPECT_EQ(window->boxAssignBypass->currentIndex(), -1);
    EXPECT_TRUE(window->boxAssignBypass->isEnabled());

    state.bankMode = true;
    window->boxAssignBypass->setCurrentIndex(0); // FS already chosen
    window->DisableBypassAndPresetAssignInBankMode();
    EXPECT_EQ(window->boxAssignBypass->currentText(), QStringLiteral("FS"));
    EXPECT_EQ(window->boxAssignPreset->currentText(), QStringLiteral("FL"));
    EXPECT_FALSE(window->boxAssignBypass->isEnabled());
    EXPECT_FALSE(window->boxAssignPreset->isEnabled());
    EXPECT_EQ(window->bypassAssignment, 8);
    EXPECT_EQ(window->presetAssignment, 9);
    EXPECT_TRUE(window->assignFrame().text.endsWith(QStringLiteral("0809")));
}

TEST_F(EditorWindow, AssignFrameReadsTheBoxes) {
    open(QStringLiteral("Gravel X2")); // 5 parameters, 1 readback
    ASSERT_EQ(window->numOfParameters(), 5);
    ASSERT_EQ(window->numOfReadbacks(), 1);
    for (int i = 0; i < 5; ++i)
        window->boxAssign[static_cast<std::size_t>(i)]->setCurrentIndex(12);
    window->boxAssign[0]->setCurrentIndex(0);       // KI
    window->boxAssign[3]->setCurrentIndex(11);      // EXP
    window->boxAssignRdbcks[0]->setCurrentIndex(2); // RED
    window->boxAssignBypass->setCurrentIndex(0);    // FS
    window->boxAssignPreset->setCurrentIndex(3);    // "--"
    const HexFrame frame = window->assignFrame();
    EXPECT_EQ(frame.text, QStringLiteral("0400FFFF0BFF") + QStringLiteral("FF").repeated(11) +
                              QStringLiteral("02FFFFFF") + QStringLiteral("08FF"));
    EXPECT_EQ(frame.byteCount, 23);
    EXPECT_EQ(window->parameterAssignments[3], 11);
    EXPECT_EQ(window->parameterAssignments[4], NoAssignment);
    EXPECT_EQ(window->readbackLEDs[0], 2);
}

TEST_F(EditorWindow, RoutingSurvivesReopening) {
    open(Wobblecat);
    window->boxAssign[2]->setCurrentIndex(9);       // FL
    window->boxAssignRdbcks[0]->setCurrentIndex(4); // "--"
    window->reverseCheckBox[2]->click();
    window->close();
    open(Wobblecat);
    window->setParameterAssignments();
    window->setReadbackLEDs();
    window->setReverseParameters();
    EXPECT_EQ(window->boxAssign[2]->currentText(), QStringLiteral("FL"));
    EXPECT_EQ(window->boxAssign[0]->currentText(), QStringLiteral("--"));
    EXPECT_EQ(window->boxAssignRdbcks[0]->currentText(), QStringLiteral("--"));
    EXPECT_TRUE(window->reverseCheckBox[2]->isChecked());
    EXPECT_TRUE(window->reverseCheckBox[2]->isEnabled());
    EXPECT_FALSE(window->reverseCheckBox[0]->isEnabled());
}

TEST_F(EditorWindow, BypassSendsItsFrame) {
    open(Wobblecat);
    window->bypass(true);
    window->bypass(false);
    EXPECT_EQ(pedal.writes(), QStringList({"0D01", "0D00"}));
}

// Real-time frames: what the pedal reports moved.

TEST_F(EditorWindow, KnobMovedOnThePedalSendsNothingBack) {
    open(Wobblecat);
    window->applyRealtimeFrame({0, 1, 700});
    window->applyRealtimeFrame({11, 2, 300}); // expression pedal
    EXPECT_EQ(window->potParameter[1]->value(), 700);
    EXPECT_EQ(window->potParameter[2]->value(), 300);
    EXPECT_FALSE(window->applyingRealtimeFrame);
    EXPECT_TRUE(pedal.writes().isEmpty());
}

TEST_F(EditorWindow, SwitchTurnedOffOnThePedalIsSentBack) {
    open(Grizzle);
    window->switchParameter[3]->click();
    pedal.clearWrites();
    window->applyRealtimeFrame({5, 3, 0});
    EXPECT_FALSE(window->switchParameter[3]->isChecked());
    EXPECT_EQ(window->stateLabel[3]->text(), QStringLiteral("OFF"));
    EXPECT_EQ(pedal.writes(), QStringList{setFrame(Grizzle, 3, "00000000")});
}

TEST_F(EditorWindow, ButtonPressedOnThePedalOnlyChangesItsLook) {
    open(Wobblecat);
    window->applyRealtimeFrame({6, 3, 1024});
    EXPECT_TRUE(window->buttonParameter[3]->isChecked());
    EXPECT_TRUE(pedal.writes().isEmpty());
    window->buttonParameter[3]->click(); // the next click releases it
    EXPECT_EQ(pedal.writes(), QStringList{setFrame(Wobblecat, 3, "00000000")});
}

TEST_F(EditorWindow, SelectorMovedOnThePedalTakesTheNearestLowerItem) {
    open(Wobblecat); // "Shape" has 4 positions
    const std::pair<int, int> cases[] = {{1024, 3}, {300, 1}, {255, 0}, {768, 3}};
    for (auto [level, item] : cases) {
        window->applyRealtimeFrame({0, 4, level});
        EXPECT_EQ(window->multiSwitch[4]->currentIndex(), item) << level;
    }
}

TEST_F(EditorWindow, FramesForParametersTheEffectDoesNotHaveAreIgnored) {
    open(Wobblecat);
    for (const RealtimeFrame& f :
         {RealtimeFrame{0, 5, 100}, RealtimeFrame{5, 15, 1024}, RealtimeFrame{0, 200, 100},
          RealtimeFrame{0, -1, 100}, RealtimeFrame{12, 0, 100}, RealtimeFrame{5, 0, 1024},
          RealtimeFrame{0, 3, 100}})
        window->applyRealtimeFrame(f);
    EXPECT_EQ(window->potParameter[0]->value(), 0);
    EXPECT_FALSE(window->buttonParameter[3]->isChecked());
    EXPECT_TRUE(pedal.writes().isEmpty());
    window->close();
    window->applyRealtimeFrame({0, 0, 100});
}

} // namespace
} // namespace kestra
