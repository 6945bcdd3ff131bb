// The rules the pedal session keeps whatever a window shows: the bank's size
// limit, frames the player confirmed during an exchange, the wait for
// "Upload complete", the version of an effect the pedal reported or an upload
// not read back, the question before Settings > Mode leaves edits behind, and
// the caption of an effect chosen in the list.
#include "PedalFixture.h"

#include <QRegularExpression>

namespace kestra::test {
namespace {

const QString Stored = "Wobblecat Trem"; // Rate, Depth, Level, Tap button, Shape selector
const QString Large = "Glasswave Pad";   // one byte more than a bank holds
const QString Other = "Grizzle Drive";

class SessionRules : public PedalFixture {
protected:
    void SetUp() override {
        PedalFixture::SetUp();
        if (const QString m = missing({Stored, Large, Other}); !m.isEmpty())
            GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
        link();
        dialogs.clear();
    }
    PedalSession& session() { return editor->session(); }
    QListWidgetItem* effectItem(const QString& name) {
        const auto items = list("Effects")->findItems(name, Qt::MatchExactly);
        return items.size() == 1 ? items[0] : nullptr;
    }
    static bool enabled(QListWidgetItem* item) {
        return item && (item->flags() & Qt::ItemIsEnabled);
    }
    // The host's writes that start with command.
    QStringList writesOf(const QString& command) {
        return pedal.writes().filter(QRegularExpression("^" + command));
    }
};

// The editor's mode setting says preset while the pedal runs FX banks: the
// list was filled for the preset slot, and Request brings the pedal's mode.
TEST_F(SessionRules, AnImageTooLargeForABankNeverGoesIntoOne) {
    trigger("FX Bank Mode");
    upload("Modulation", Stored); // into Bank I, and live
    trigger("Preset Mode");
    ASSERT_FALSE(main->bankMode());
    trigger("Edit After Upload"); // off: Get FX reads the effect alone
    getStored();
    chooseCategory("Synthesis");
    ASSERT_TRUE(enabled(effectItem(Large))) << "every effect fits the preset slot";
    request();
    ASSERT_TRUE(main->bankMode()) << "the pedal runs FX banks";
    EXPECT_FALSE(enabled(effectItem(Large)));

    pedal.clearWrites();
    emit list("Effects")->itemClicked(effectItem(Large));
    click("Upload Selected Effect");
    settle();
    EXPECT_TRUE(writesOf("0E").isEmpty()) << pedal.writes().join(' ').toStdString();
    EXPECT_EQ(pedalStatus("effect.number").toInt(), effectNumber(Stored));

    // Whatever a list shows, the session refuses it.
    std::optional<SessionResult> refused;
    session().upload(Large, false, [&refused](const SessionResult& r) { refused = r; });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, SessionResult::Status::BadInput);
    EXPECT_EQ(refused->text, Large + " is larger than an FX bank holds (5440 bytes).");
    EXPECT_TRUE(pedal.writes().isEmpty());

    // Back in preset mode every effect may be chosen again, at once.
    trigger("Preset Mode");
    EXPECT_TRUE(enabled(effectItem(Large)));
    EXPECT_TRUE(effectItem(Large)->toolTip().isEmpty());
}

// The player says Yes to Assign while an exchange has started meanwhile:
// the routing goes out once it has ended.
TEST_F(SessionRules, AnAssignConfirmedDuringAReadIsSentAfterIt) {
    putOnPedal("Modulation", Stored);
    pedal.clearWrites();
    trigger("Edit After Upload"); // off: Get FX reads the effect alone
    dialogs.whileAsked = [this](const QString& question) {
        if (question == "Assign parameters?")
            click("Get FX Stored on Pedal");
    };
    click("Assign");
    dialogs.whileAsked = {};
    settle();
    const QStringList writes = pedal.writes();
    ASSERT_EQ(writes.size(), 2) << writes.join(' ').toStdString();
    EXPECT_EQ(writes[0], "0600") << "the read that started during the question";
    EXPECT_TRUE(writes[1].startsWith("04")) << "then the routing";
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
}

// A confirmed change that cannot reach the pedal is told, never dropped.
TEST_F(SessionRules, AChangeWaitingForAnExchangeIsToldWhenTheLinkEnds) {
    putOnPedal("Modulation", Stored);
    pedal.command("fault silent on"); // the read below never gets an answer
    click("Get FX Stored on Pedal");
    ASSERT_EQ(connection().state(), Connection::State::Busy);
    QString why;
    ASSERT_TRUE(session().send(frames::midiChannel(3), &why)) << why.toStdString();
    trigger("Unlink");
    settle();
    ASSERT_EQ(dialogs.errors.size(), 1) << dialogs.errors.join('\n').toStdString();
    EXPECT_TRUE(dialogs.errors[0].startsWith("A change you made was not sent to the pedal"));
}

TEST_F(SessionRules, TheWaitForUploadCompleteEndsWithTheLinkOrItsTimeLimit) {
    select("Modulation", Stored);
    pedal.command("fault silent on"); // takes the image, never confirms it
    click("Upload Selected Effect");
    ASSERT_TRUE(clock.runUntil([this] { return connection().operation().isEmpty(); }));
    ASSERT_TRUE(session().uploadPending());
    pedal.command("fault unplug");
    clock.advance(100);
    EXPECT_FALSE(session().uploadPending());
    EXPECT_TRUE(dialogs.errors.join('\n').contains("before it confirmed the upload"))
        << dialogs.errors.join('\n').toStdString();

    pedal.command("fault replug");
    link();
    dialogs.clear();
    select("Modulation", Stored);
    click("Upload Selected Effect");
    ASSERT_TRUE(clock.runUntil([this] { return connection().operation().isEmpty(); }));
    pedal.clearWrites();
    clock.advance(PedalSession::UploadConfirmLimitMs);
    EXPECT_FALSE(session().uploadPending());
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("The pedal did not confirm the upload"));
    // A confirmation that comes after all goes live no more.
    pedal.command("fault silent off");
    pedal.command("send " + hexOf("Upload complete"));
    clock.advance(200);
    EXPECT_TRUE(pedal.writes().isEmpty()) << pedal.writes().join(' ').toStdString();
}

// An upload the pedal took but never confirmed may be stored all the same:
// the version the editor read before is no longer taken for the pedal's.
TEST_F(SessionRules, AnUnconfirmedUploadLeavesTheStoredVersionUnknown) {
    putOnPedal("Modulation", Stored);
    ASSERT_TRUE(session().storedEffect().versionKnown);
    pedal.command("fault silent on");
    click("Upload Selected Effect");
    clock.advance(PedalSession::UploadConfirmLimitMs + 1000);
    ASSERT_FALSE(session().uploadPending());
    EXPECT_FALSE(session().storedEffect().versionKnown);
}

// Effects carry different versions: one the pedal reports by itself is read
// back, so what the editor holds (and a saved file carries) is the pedal's.
TEST_F(SessionRules, TheVersionOfAnEffectThePedalReportsIsThePedals) {
    putOnPedal("Modulation", Stored);
    const int before = main->storedEffect().version;
    pedal.command("bank 1"); // an empty bank, where the player picks Other
    pedal.command("effect " + QString::number(effectNumber(Other)));
    settle();
    const int version = pedalStatus("effect.version").toInt();
    ASSERT_NE(version, before) << "the case needs effects of different versions";
    EXPECT_EQ(main->storedEffect().name, Other);
    EXPECT_EQ(main->storedEffect().version, version);
    EXPECT_TRUE(main->storedEffect().versionKnown);
    EXPECT_EQ(parameterWindow().windowTitle(), Other + QString(" v%1").arg(version));
}

// An upload the editor does not read back changes the stored effect; the
// version it runs is read before a preset file carries one.
TEST_F(SessionRules, AnUploadNotReadBackIsReadBeforeAFileCarriesItsVersion) {
    putOnPedal("Modulation", Stored);
    const int before = main->storedEffect().version;
    trigger("Edit After Upload"); // off
    upload("Gain", Other);
    EXPECT_EQ(main->storedEffect().name, Other);
    EXPECT_FALSE(main->storedEffect().versionKnown);
    const int version = pedalStatus("effect.version").toInt();
    ASSERT_NE(version, before) << "the case needs effects of different versions";
    request();
    ASSERT_TRUE(action("Save Configuration")->isEnabled());

    pedal.clearWrites();
    dialogs.files.push_back(documents.path() + "/other.txt");
    trigger("Save Configuration");
    settle();
    EXPECT_TRUE(statusLabel().startsWith("File saved successfully: "))
        << dialogs.errors.join('|').toStdString();
    EXPECT_EQ(pedal.writes().value(0), "0600") << "the stored effect is read first";
    EXPECT_EQ(main->storedEffect().version, version);
    EXPECT_TRUE(main->storedEffect().versionKnown);
}

// The pedal may change while no link watches it: a version read before the
// link ended is not taken for the pedal's.
TEST_F(SessionRules, AVersionReadBeforeTheLinkEndedIsKnownNoMore) {
    putOnPedal("Modulation", Stored);
    ASSERT_TRUE(main->storedEffect().versionKnown);
    unlink();
    EXPECT_FALSE(main->storedEffect().versionKnown);
    pedal.command("fault garbage C1"); // the next identification fails
    link();
    EXPECT_FALSE(main->storedEffect().versionKnown);
}

TEST_F(SessionRules, SettingsModeAsksBeforeLeavingEditsBehind) {
    putOnPedal("Modulation", Stored);
    setSlider("Rate", slider("Rate") == 700 ? 300 : 700);
    ASSERT_TRUE(main->unsavedEdits());
    dialogs.offerAnswers = {Dialogs::Choice::Cancel};
    trigger("FX Bank Mode");
    ASSERT_EQ(dialogs.offers.size(), 1);
    EXPECT_TRUE(dialogs.offers[0].startsWith("The settings of " + Stored + " were edited"));
    EXPECT_FALSE(main->bankMode());
    EXPECT_TRUE(action("Preset Mode")->isChecked());
    EXPECT_FALSE(action("FX Bank Mode")->isChecked());
    EXPECT_TRUE(parameterWindow().isVisible());

    dialogs.offerAnswers = {Dialogs::Choice::No};
    trigger("FX Bank Mode");
    EXPECT_EQ(dialogs.offers.size(), 2);
    EXPECT_TRUE(main->bankMode());
    EXPECT_FALSE(parameterWindow().isVisible());
    EXPECT_EQ(main->windowTitle(), "Kestra Editor") << "no edits are shown that Store could keep";
}

// "Name vN" is the pedal's answer: the stored effect chosen in the list is
// captioned by its name alone.
TEST_F(SessionRules, TheStoredEffectChosenInTheListIsCaptionedByItsName) {
    putOnPedal("Modulation", Stored);
    ASSERT_TRUE(parameterWindow().windowTitle().startsWith(Stored + " v"));
    select("Gain", Other);
    select("Modulation", Stored);
    EXPECT_EQ(parameterWindow().windowTitle(), Stored);
    EXPECT_TRUE(button("Request")->isEnabled()) << "it is still the pedal's effect";
    getStored();
    EXPECT_EQ(parameterWindow().windowTitle(),
              Stored + QString(" v%1").arg(main->storedEffect().version));
}

} // namespace
} // namespace kestra::test
