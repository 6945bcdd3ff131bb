// The player's edits in the parameter window: Undo and Redo set the pedal
// back and forward, a drag is one step, another effect starts afresh; the
// marker says when the pedal runs edits it has not stored, and leaving them
// asks first; each track bar's level reads as a percentage too.
#include "PedalFixture.h"
#include "core/Settings.h"
#include "ui/ParameterWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>

namespace kestra::test {
namespace {

const QString Stored = "Wobblecat Trem"; // Rate, Depth, Level, Tap button, Shape selector
const QString Other = "Grizzle Drive";
const QString UnsavedTitle = "Kestra Editor (edits not stored on the pedal)";

class EditHistoryTest : public PedalFixture {
protected:
    void SetUp() override {
        PedalFixture::SetUp();
        if (const QString m = missing({Stored, Other}); !m.isEmpty())
            GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
        link();
        putOnPedal("Modulation", Stored);
        pedal.clearWrites();
    }
    QAbstractButton* windowButton(const QString& name) { return parameter<QAbstractButton>(name); }
    // Frames go out one after another, with their pauses.
    void undo() {
        windowButton("Undo")->click();
        settle();
    }
    void redo() {
        windowButton("Redo")->click();
        settle();
    }
    void edit(const QString& name, int level) {
        setSlider(name, level);
        settle();
    }
    bool marked() {
        auto* line = parameterWindow().findChild<QLabel*>("unsavedLine");
        const bool title = parameterWindow().windowTitle().endsWith(" *");
        EXPECT_EQ(line && line->isVisibleTo(&parameterWindow()), title)
            << "the line and the title agree";
        EXPECT_EQ(main->windowTitle() == UnsavedTitle, title) << "and the main window";
        return title;
    }
};

TEST_F(EditHistoryTest, UndoAndRedoSendTheRestoredValue) {
    EXPECT_FALSE(windowButton("Undo")->isEnabled()) << "nothing to undo after Request";
    edit("Depth", 512);
    pick("Shape", "Ramp");
    settle();
    const int shape = pedalValue(4);
    pedal.clearWrites();

    undo();
    EXPECT_EQ(pedalValue(4), 0);
    undo();
    EXPECT_EQ(pedal.writes(),
              QStringList({setFrame(Stored, 4, "00000000"), setFrame(Stored, 1, "00000000")}));
    EXPECT_EQ(slider("Depth"), 0);
    EXPECT_EQ(pedalValue(1), 0);
    EXPECT_FALSE(windowButton("Undo")->isEnabled());
    EXPECT_TRUE(windowButton("Redo")->isEnabled());

    pedal.clearWrites();
    redo();
    redo();
    EXPECT_EQ(pedal.writes(),
              QStringList({setFrame(Stored, 1, "00400000"), setFrame(Stored, 4, "00600000")}));
    EXPECT_EQ(slider("Depth"), 512);
    EXPECT_EQ(picked("Shape"), "Ramp");
    EXPECT_EQ(pedalValue(4), shape);
    EXPECT_FALSE(windowButton("Redo")->isEnabled());
}

TEST_F(EditHistoryTest, TheUsualKeysUndoAndRedo) {
    QStringList keys;
    for (QAction* a : parameterWindow().actions())
        keys << a->text() + '=' + a->shortcut().toString();
    EXPECT_TRUE(keys.contains("Undo=" + QKeySequence(QKeySequence::Undo).toString()))
        << keys.join('|').toStdString();
    EXPECT_TRUE(keys.contains("Redo=" + QKeySequence(QKeySequence::Redo).toString()));
}

TEST_F(EditHistoryTest, ADragIsOneStep) {
    auto* depth = parameter<QSlider>("Depth");
    depth->setSliderDown(true);
    for (int level : {100, 300, 700}) {
        depth->setValue(level);
        settle();
    }
    depth->setSliderDown(false);
    EXPECT_EQ(pedalValue(1), 700);
    undo();
    EXPECT_EQ(pedalValue(1), 0);
    EXPECT_FALSE(windowButton("Undo")->isEnabled());
}

// A knob turned on the pedal is the pedal's change, not an edit to undo.
TEST_F(EditHistoryTest, TheRestoredValueIsTheOneBeforeThePlayersEdit) {
    pick("Rate source", "KI");
    click("Assign");
    clock.advance(100);
    pedal.command("knob 1 700");
    clock.advance(100);
    ASSERT_EQ(slider("Rate"), 700);
    edit("Rate", 200);
    undo();
    EXPECT_EQ(pedalValue(0), 700);
    undo(); // the source picked
    EXPECT_EQ(picked("Rate source"), "--");
    EXPECT_FALSE(windowButton("Undo")->isEnabled()) << "the knob was no step";
}

// Undo sends frames: never while an operation waits for the pedal.
TEST_F(EditHistoryTest, NoUndoWhileRequestWaits) {
    setSlider("Depth", 512);
    click("Request");
    EXPECT_FALSE(windowButton("Undo")->isEnabled());
    settle();
    EXPECT_TRUE(windowButton("Undo")->isEnabled()) << "the edit can still be taken back";
}

TEST_F(EditHistoryTest, AnotherEffectStartsWithoutHistory) {
    setSlider("Depth", 512);
    select("Gain", Other); // the offer to store is declined
    select("Modulation", Stored);
    request();
    EXPECT_FALSE(windowButton("Undo")->isEnabled());
    EXPECT_FALSE(windowButton("Redo")->isEnabled());
}

TEST_F(EditHistoryTest, TheMarkerFollowsEditsStoreAndRequest) {
    EXPECT_FALSE(marked());
    setSlider("Depth", 512);
    EXPECT_TRUE(marked());
    click("Store Settings On Pedal");
    settle();
    EXPECT_FALSE(marked());

    setSlider("Depth", 100);
    EXPECT_TRUE(marked());
    undo();
    EXPECT_FALSE(marked()) << "back to what the pedal stored";
    redo();
    EXPECT_TRUE(marked());
    request();
    EXPECT_FALSE(marked()) << "the values read are the player's starting point";

    // Routing is kept by Store too.
    pick("Rate source", "KI");
    EXPECT_TRUE(marked());
}

struct LeaveCase {
    const char* name;
    Dialogs::Choice answer;
    bool left;           // the other effect is shown
    const char* pedalIs; // stored-settings
};
void PrintTo(const LeaveCase& c, std::ostream* os) {
    *os << c.name;
}

class LeavingEdits : public EditHistoryTest, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(LeavingEdits, SwitchingEffectAsksWhetherToStoreThem) {
    const LeaveCase& c = GetParam();
    setSlider("Depth", 512);
    dialogs.clear();
    dialogs.offerAnswers = {c.answer};
    select("Gain", Other);
    settle();
    ASSERT_EQ(dialogs.offers.size(), 1);
    EXPECT_TRUE(dialogs.offers[0].startsWith("The settings of " + Stored + " were edited"))
        << dialogs.offers[0].toStdString();
    EXPECT_EQ(dialogs.offerDefaults[0], Dialogs::Default::Yes);
    EXPECT_EQ(main->selectedEffect(), c.left ? Other : Stored);
    EXPECT_TRUE(parameterWindow().windowTitle().startsWith(c.left ? Other : Stored));
    EXPECT_EQ(pedalStatus("stored-settings"), c.pedalIs);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, LeavingEdits,
    ::testing::Values(LeaveCase{"YesStoresThenSwitches", Dialogs::Choice::Yes, true, "same"},
                      LeaveCase{"NoSwitchesWithoutStoring", Dialogs::Choice::No, true, "changed"},
                      LeaveCase{"CancelStays", Dialogs::Choice::Cancel, false, "changed"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EditHistoryTest, ClosingWithEditsAsksAndYesStoresBeforeClosing) {
    setSlider("Depth", 512);
    dialogs.offerAnswers = {Dialogs::Choice::Cancel};
    QCloseEvent stay;
    QCoreApplication::sendEvent(main, &stay);
    EXPECT_FALSE(stay.isAccepted());
    EXPECT_EQ(connection().state(), Connection::State::Linked);

    dialogs.offerAnswers = {Dialogs::Choice::Yes};
    QCloseEvent store;
    QCoreApplication::sendEvent(main, &store);
    settle();
    EXPECT_EQ(dialogs.offers.size(), 2);
    EXPECT_EQ(pedalStatus("stored-settings"), "same");
    EXPECT_EQ(connection().state(), Connection::State::Unlinked) << "closed once stored";
}

TEST_F(EditHistoryTest, LevelsReadAsPercentagesInTheTooltipAndTheValueColumn) {
    setSlider("Depth", 512);
    EXPECT_EQ(parameter<QSlider>("Depth")->toolTip(), "512 (50 %)");
    QAction* column = action("Show Track Bar Values");
    ASSERT_TRUE(column->isChecked()) << "shown unless the player turns it off";
    const auto shownValues = [this] {
        QStringList values;
        for (QLabel* label : parameterWindow().findChildren<QLabel*>("value"))
            if (label->isVisibleTo(&parameterWindow()))
                values << label->text();
        return values;
    };
    QStringList values = shownValues();
    EXPECT_EQ(values.size(), 3) << "one a track bar";
    EXPECT_TRUE(values.contains("50 %")) << values.join('|').toStdString();
    setSlider("Level", 1023);
    EXPECT_TRUE(shownValues().contains("100 %")) << shownValues().join('|').toStdString();
    column->trigger();
    EXPECT_TRUE(shownValues().isEmpty());
    column->trigger();
    EXPECT_EQ(shownValues().size(), 3);
    QFile file(settings::valueColumnFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "YES");
}

} // namespace
} // namespace kestra::test
