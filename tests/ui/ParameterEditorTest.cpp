// A player's day with the pedal: link, upload, read the stored effect back,
// Request, then edit live in both directions; and the player clicking on
// while Request waits for its answer.
#include "PedalFixture.h"
#include "operations/PedalOperations.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QCheckBox>
#include <QLabel>

namespace kestra::test {
namespace {

const QString Stored = "Wobblecat Trem"; // Rate, Depth, Level, Tap button, Shape selector; LFO
const QString Other = "Grizzle Drive";   // Drive, Tone, Level, Bright switch

class ParameterEditor : public PedalFixture {
protected:
    void SetUp() override {
        PedalFixture::SetUp();
        if (const QString m = missing({Stored, Other}); !m.isEmpty())
            GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
        link(); // an empty store: "No effect found on pedal"
        upload("Modulation", Stored);
        ASSERT_EQ(statusLabel(), "Upload complete");
        // Get FX Stored on Pedal reads the effect alone: these cases take
        // Request as a step of its own.
        trigger("Edit After Upload");
        dialogs.clear();
    }
    bool enabled(const QString& name) {
        QWidget* w = parameter(name);
        return w && w->isEnabled();
    }
    // Every slider and pick box of the window shows nothing read from the pedal.
    void expectNeutral() {
        for (const QString& entry : shown()) {
            const QString value = entry.section('=', 1);
            EXPECT_TRUE(value == "0" || value == "off" || value.isEmpty()) << entry.toStdString();
        }
    }
};

// With Edit After Upload (the default) Get FX Stored on Pedal reads the state
// too, as an upload does: the window opens live.
TEST_F(ParameterEditor, StoredEffectOpensLiveWithEditAfterUpload) {
    trigger("Edit After Upload"); // on again
    ASSERT_TRUE(action("Edit After Upload")->isChecked());
    getStored();
    ASSERT_TRUE(parameterWindow().isVisible());
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_TRUE(enabled("Rate"));
    EXPECT_TRUE(button("Assign")->isEnabled());
    EXPECT_TRUE(action("Save Configuration")->isEnabled());
    EXPECT_EQ(statusLabel(), "5 parameters read from the pedal");
}

TEST_F(ParameterEditor, StoredEffectOpensDisabledAndRequestMakesItLive) {
    getStored();
    ASSERT_TRUE(parameterWindow().isVisible());
    EXPECT_TRUE(parameterWindow().windowTitle().startsWith(Stored + " v"))
        << parameterWindow().windowTitle().toStdString();
    EXPECT_EQ(main->storedEffect().name, Stored);
    EXPECT_EQ(list("Categories")->currentItem()->text(), "Modulation");
    EXPECT_EQ(list("Effects")->currentItem()->text(), Stored);
    EXPECT_FALSE(enabled("Rate"));
    EXPECT_TRUE(button("Request")->isEnabled());
    EXPECT_FALSE(button("Assign")->isEnabled());
    EXPECT_FALSE(action("Save Configuration")->isEnabled());

    click("Request");
    EXPECT_EQ(connection().state(), Connection::State::Busy);
    EXPECT_FALSE(button("Request")->isEnabled()) << "one Request at a time";
    settle();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_TRUE(enabled("Rate"));
    EXPECT_TRUE(button("Assign")->isEnabled());
    EXPECT_TRUE(button("Store Settings On Pedal")->isEnabled());
    EXPECT_TRUE(control<ToggleSwitch>(main, "Live OFF")->isEnabled());
    EXPECT_TRUE(action("Save Configuration")->isEnabled());
    EXPECT_EQ(connection().state(), Connection::State::Linked);
}

TEST_F(ParameterEditor, ValuesTravelBothWays) {
    getStored();
    request();

    // Editor to pedal: the track bar's value lands at that parameter.
    setSlider("Depth", 512);
    EXPECT_TRUE(clock.runUntil([this] { return pedalValue(1) == 512; }, 100));

    // Route Rate to the first knob and send the routing.
    pick("Rate source", "KI");
    click("Assign");
    EXPECT_EQ(dialogs.questions.last(), "Assign parameters?");
    clock.advance(10); // the routing follows the track bar's frame and its pause
    EXPECT_EQ(pedalList("sources").value(0), "0");

    // Pedal to editor: turning the knob moves the track bar, sending nothing back.
    pedal.clearWrites();
    pedal.command("knob 1 700");
    clock.advance(100);
    EXPECT_EQ(slider("Rate"), 700);
    EXPECT_TRUE(pedal.writes().isEmpty());

    // A fresh window starts neutral; Request reads the pedal's values.
    getStored();
    EXPECT_EQ(slider("Rate"), 0);
    EXPECT_EQ(picked("Rate source"), "");
    request();
    EXPECT_EQ(slider("Rate"), 700);
    EXPECT_EQ(slider("Depth"), 512);
    EXPECT_EQ(picked("Rate source"), "KI");
}

TEST_F(ParameterEditor, SelectorMovedByThePedalSendsItsValueBack) {
    getStored();
    request();
    pick("Shape source", "KII");
    click("Assign");
    clock.advance(10); // the routing reaches the pedal
    pedal.clearWrites();
    pedal.command("knob 2 1023");
    clock.advance(100);
    EXPECT_EQ(picked("Shape"), "Ramp");
    EXPECT_EQ(pedal.writes(), QStringList({setFrame(Stored, 4, "00600000")}));
}

TEST_F(ParameterEditor, AssignWaitsAMomentAfterEachUse) {
    getStored();
    request();
    pick("Rate source", "KI");
    pedal.clearWrites();
    click("Assign");
    click("Assign"); // a double click
    EXPECT_EQ(pedal.writes().size(), 1);
    clock.advance(100);
    EXPECT_TRUE(button("Assign")->isEnabled());
}

TEST_F(ParameterEditor, StoreSettingsSendsTheParameterCount) {
    getStored();
    request();
    setSlider("Rate", 300);
    EXPECT_TRUE(
        clock.runUntil([this] { return pedalStatus("stored-settings") == "changed"; }, 100));
    pedal.clearWrites();
    click("Store Settings On Pedal");
    settle();
    EXPECT_EQ(pedal.writes(), QStringList({"0305"}));
    EXPECT_TRUE(log().contains("Store settings message (HEX): 0305"));
    EXPECT_EQ(pedalStatus("stored-settings"), "same");
}

TEST_F(ParameterEditor, ReverseFlagsReachThePedalOnlyForARoutedParameter) {
    getStored();
    request();
    EXPECT_FALSE(enabled("Level reverse")) << "no source yet";
    pick("Level source", "EXP");
    ASSERT_TRUE(enabled("Level reverse"));
    pedal.clearWrites();
    parameter<QCheckBox>("Level reverse")->click();
    EXPECT_TRUE(clock.runUntil([this] { return !pedal.writes().isEmpty(); }, 100));
    clock.advance(5); // the frame ends where the line falls idle
    EXPECT_EQ(pedal.writes(), QStringList({"080102"}));
    EXPECT_EQ(pedalList("reverse").value(2), "1");
}

TEST_F(ParameterEditor, AnotherEffectDisablesTheStoredEffectsButtons) {
    getStored();
    request();
    select("Gain", Other);
    EXPECT_FALSE(button("Request")->isEnabled());
    EXPECT_FALSE(button("Assign")->isEnabled());
    EXPECT_FALSE(button("Store Settings On Pedal")->isEnabled());
    EXPECT_EQ(parameterWindow().windowTitle(), Other);
    EXPECT_FALSE(enabled("Drive"));
    select("Modulation", Stored);
    EXPECT_TRUE(button("Request")->isEnabled());
    EXPECT_FALSE(button("Assign")->isEnabled()) << "a new window needs a new Request";
}

TEST_F(ParameterEditor, ClosingTheWindowDisablesWhatNeedsIt) {
    getStored();
    request();
    parameterWindow().close();
    EXPECT_FALSE(button("Request")->isEnabled());
    EXPECT_FALSE(button("Assign")->isEnabled());
    EXPECT_FALSE(button("Store Settings On Pedal")->isEnabled());
    EXPECT_FALSE(action("Save Configuration")->isEnabled());
}

// Knobs may turn while no link watches: values read before an unplug are
// read again before Assign or Store can send them.
TEST_F(ParameterEditor, ValuesReadOverALinkThatEndedAreReadAgain) {
    getStored();
    request();
    pedal.command("fault unplug");
    clock.advance(100);
    pedal.command("fault replug");
    pedal.command("knob 1 700");
    dialogs.clear();
    link();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(main->storedEffect().name, Stored);
    EXPECT_TRUE(button("Request")->isEnabled());
    EXPECT_FALSE(button("Assign")->isEnabled());
    EXPECT_FALSE(button("Store Settings On Pedal")->isEnabled());
    request();
    EXPECT_TRUE(button("Assign")->isEnabled());
}

TEST_F(ParameterEditor, SilentPedalDuringRequestLeavesTheEditorUsable) {
    getStored();
    pedal.command("fault silent on");
    click("Request");
    settle();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("The pedal did not answer Request"));
    EXPECT_EQ(connection().state(), Connection::State::Linked);
    EXPECT_TRUE(button("Request")->isEnabled());
    EXPECT_FALSE(button("Assign")->isEnabled());

    pedal.command("fault silent off");
    request();
    EXPECT_TRUE(button("Assign")->isEnabled());
}

TEST_F(ParameterEditor, EffectReportedByThePedalOpensItsWindow) {
    const int number = effectNumber(Other);
    // The player picks it on the pedal, which reports it.
    pedal.command("effect " + QString::number(number));
    clock.advance(100);
    EXPECT_EQ(main->storedEffect().number, number);
    EXPECT_EQ(main->storedEffect().name, Other);
    EXPECT_TRUE(parameterWindow().isVisible());
    EXPECT_TRUE(parameterWindow().windowTitle().startsWith(Other + " v"));
    EXPECT_EQ(main->selectedEffect(), Other);
    EXPECT_EQ(list("Effects")->currentItem()->text(), Other);
    EXPECT_FALSE(enabled("Drive")) << "its state is not read yet";
    EXPECT_TRUE(button("Request")->isEnabled());
}

TEST_F(ParameterEditor, UnknownEffectNumberOpensNothing) {
    select("Gain", Other);
    // The first number past the end of the catalogue's effect list.
    const int unknown = static_cast<int>(Catalogue().list(EffectListResource)->size());
    pedal.command("send " + hexOf("1" + QByteArray::number(unknown, 16).toUpper()));
    clock.advance(100);
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(QString("effect number %1").arg(unknown)))
        << dialogs.errors[0].toStdString();
    EXPECT_EQ(parameterWindow().windowTitle(), Other);
    EXPECT_EQ(connection().state(), Connection::State::Linked);
}

TEST_F(ParameterEditor, UnlinkDisablesTheWindowButKeepsIt) {
    getStored();
    request();
    unlink();
    EXPECT_TRUE(parameterWindow().isVisible());
    EXPECT_FALSE(enabled("Rate"));
    EXPECT_FALSE(button("Assign")->isEnabled());
    EXPECT_EQ(list("Effects")->currentItem()->text(), Stored);
}

TEST_F(ParameterEditor, RequestBringsThePedalsModeBankAndMidiChannel) {
    trigger("FX Bank Mode");
    checkBank(2);
    upload("Modulation", Stored); // the pedal now plays bank III
    ASSERT_EQ(pedalStatus("effect.slot"), "bank2");
    midiChannels().value(5)->trigger();
    EXPECT_EQ(pedal.writes().last(), "0705");
    checkBank(0);
    trigger("Preset Mode");
    EXPECT_FALSE(action("FX Bank Mode")->isChecked());

    getStored();
    request();
    EXPECT_TRUE(action("FX Bank Mode")->isChecked());
    EXPECT_EQ(checkedBank(), 2);
    EXPECT_TRUE(parameterWindow().isVisible()) << "a Request keeps the window open";
    EXPECT_EQ(picked("Bypass Toggle"), "FS");
    EXPECT_EQ(picked("Preset Change"), "FL");
    EXPECT_FALSE(enabled("Bypass Toggle")) << "fixed in bank mode";
    const QList<QAction*> channels = midiChannels();
    ASSERT_EQ(channels.size(), 17);
    for (int i = 0; i < channels.size(); ++i)
        EXPECT_EQ(channels[i]->isChecked(), i == 5) << i;
}

TEST_F(ParameterEditor, InfoWindowFollowsTheSelection) {
    if (const QString m = missing({"Scorchwire"}); !m.isEmpty())
        GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
    select("Gain", Other);
    ASSERT_TRUE(button("Effect info")->isEnabled());
    click("Effect info");
    EXPECT_TRUE(editor->effectInfoWindow().isVisible());
    EXPECT_EQ(editor->effectInfoWindow().windowTitle(), Other);
    select("Gain", "Scorchwire");
    EXPECT_EQ(editor->effectInfoWindow().windowTitle(), "Scorchwire");
}

// The pedal's real-time frames name parameters of the effect it runs.
TEST_F(ParameterEditor, PedalFramesMoveOnlyTheStoredEffectsWindow) {
    getStored();
    request();
    pick("Rate source", "KI");
    pick("Tap source", "B1");
    click("Assign");
    clock.advance(100);
    select("Gain", Other); // Drive, Tone, Level, and a switch where Tap is
    pedal.clearWrites();
    pedal.command("knob 1 700");
    pedal.command("switch B1 on");
    clock.advance(100);
    EXPECT_EQ(slider("Drive"), 0);
    EXPECT_FALSE(parameter<ToggleSwitch>("Bright")->isChecked());
    EXPECT_TRUE(pedal.writes().isEmpty()) << pedal.writes().join('|').toStdString();

    // The stored effect's window follows the pedal even before a Request.
    select("Modulation", Stored);
    pedal.command("knob 1 800");
    clock.advance(100);
    EXPECT_EQ(slider("Rate"), 800);
}

// The player clicks another effect while Request waits for the pedal: the
// answer, or its absence, belongs to the effect the Request was for.

TEST_F(ParameterEditor, AClickDuringAnUnansweredRequestLeavesTheOtherEffectNeutral) {
    getStored();
    pedal.command("fault silent on");
    pedal.clearWrites();
    click("Request");
    clock.advance(10);
    ASSERT_EQ(connection().state(), Connection::State::Busy);
    select("Gain", Other);
    EXPECT_EQ(parameterWindow().windowTitle(), Other);
    clock.advance(ReplyTimeLimitMs + 500);
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("The pedal did not answer Request"));
    EXPECT_EQ(parameterWindow().windowTitle(), Other);
    expectNeutral();
    EXPECT_FALSE(enabled("Drive"));
    EXPECT_FALSE(button("Assign")->isEnabled());
    EXPECT_FALSE(button("Request")->isEnabled()) << Other.toStdString() << " is not on the pedal";
    EXPECT_EQ(pedal.writes(), QStringList({"0205"})) << "nothing for " << Other.toStdString();
}

TEST_F(ParameterEditor, AnAnswerArrivingAfterAClickIsNotAppliedAndTheLogSaysWhy) {
    getStored();
    request();
    setSlider("Rate", 700);
    pick("Rate source", "KI");
    click("Assign");
    clock.advance(100);
    midiChannels().value(5)->trigger(); // the check marks keep showing OMNI until a Request
    getStored();                        // a fresh window: nothing read yet
    pedal.clearWrites();
    dialogs.clear();

    click("Request");
    clock.advance(1); // the frame is out, the answer not read yet
    ASSERT_EQ(connection().state(), Connection::State::Busy);
    select("Gain", Other);
    settle();
    EXPECT_TRUE(log().contains("the answer to Request belongs to an effect no longer shown; "
                               "nothing was applied"));
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
    EXPECT_EQ(parameterWindow().windowTitle(), Other);
    EXPECT_EQ(slider("Drive"), 0) << "Rate's 700 must not land on " << Other.toStdString();
    expectNeutral();
    EXPECT_FALSE(enabled("Drive"));
    EXPECT_FALSE(button("Assign")->isEnabled());
    EXPECT_TRUE(midiChannels().value(0)->isChecked()) << "the answer's MIDI channel is not shown";
    EXPECT_FALSE(midiChannels().value(5)->isChecked());
    EXPECT_EQ(pedal.writes(), QStringList({"0205"})) << "nothing for " << Other.toStdString();

    // Back on the stored effect a Request reads it as usual.
    select("Modulation", Stored);
    request();
    EXPECT_EQ(slider("Rate"), 700);
    EXPECT_EQ(picked("Rate source"), "KI");
}

// In FX bank mode the pedal toggles bypass with FS and steps banks with FL:
// the window shows both fixed and locked as soon as it opens, not only once
// a Request has read the pedal.
TEST_F(ParameterEditor, BankModeLocksTheFootswitchesTheMomentTheWindowOpens) {
    trigger("FX Bank Mode");
    checkBank(1);
    upload("Modulation", Stored);
    ASSERT_EQ(pedalStatus("effect.slot"), "bank1");
    EXPECT_EQ(picked("Bypass Toggle"), "FS") << "a selected effect";
    EXPECT_EQ(picked("Preset Change"), "FL");

    getStored();
    ASSERT_TRUE(parameterWindow().isVisible());
    EXPECT_EQ(picked("Bypass Toggle"), "FS") << "the stored effect, before Request";
    EXPECT_EQ(picked("Preset Change"), "FL");
    EXPECT_FALSE(enabled("Bypass Toggle"));
    EXPECT_FALSE(enabled("Preset Change"));

    request();
    EXPECT_TRUE(enabled("Rate"));
    EXPECT_EQ(picked("Bypass Toggle"), "FS");
    EXPECT_EQ(picked("Preset Change"), "FL");
    EXPECT_FALSE(enabled("Bypass Toggle"));
    EXPECT_FALSE(enabled("Preset Change"));

    trigger("Preset Mode");
    EXPECT_TRUE(enabled("Bypass Toggle")) << "preset mode leaves them to the player";
    EXPECT_TRUE(enabled("Preset Change"));
}

} // namespace
} // namespace kestra::test
