// One step from upload to live editing: once the pedal says "Upload
// complete", the editor reads the stored effect and its state by itself, as
// Get FX Stored on Pedal and Request would; a setting turns this off.
#include "PedalFixture.h"
#include "core/Settings.h"

#include <QFile>

namespace kestra::test {
namespace {

const QString Stored = "Wobblecat Trem"; // Rate, Depth, Level, Tap button, Shape selector

class UploadToLive : public PedalFixture {
protected:
    void SetUp() override {
        PedalFixture::SetUp();
        if (const QString m = missing({Stored}); !m.isEmpty())
            GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
        link();
        select("Modulation", Stored);
        pedal.clearWrites();
        dialogs.clear();
    }
    bool live() {
        QWidget* rate = parameter("Rate");
        return rate && rate->isEnabled() && button("Assign")->isEnabled();
    }
};

TEST_F(UploadToLive, TheParameterWindowIsLiveWithoutAnotherClick) {
    ASSERT_TRUE(action("Edit After Upload")->isChecked()) << "on unless the player turns it off";
    click("Upload Selected Effect");
    settle();
    EXPECT_EQ(statusLabel(), "Upload complete");
    const QStringList writes = pedal.writes();
    ASSERT_EQ(writes.size(), 4) << writes.join(' ').toStdString();
    EXPECT_EQ(writes[2], "0600") << "Get FX Stored on Pedal";
    EXPECT_EQ(writes[3], "0205") << "Request, for its five parameters";
    EXPECT_EQ(main->storedEffect().name, Stored);
    EXPECT_TRUE(live());
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
    ASSERT_EQ(dialogs.questions.size(), 1) << "no question on the way";
    EXPECT_TRUE(dialogs.questions[0].startsWith("Upload the selected effect?"));

    // The values shown are the pedal's: an edit reaches it at once.
    setSlider("Depth", 512);
    EXPECT_TRUE(clock.runUntil([this] { return pedalValue(1) == 512; }, 100));
}

TEST_F(UploadToLive, TheSettingTurnsItOffAndIsKept) {
    trigger("Edit After Upload");
    EXPECT_FALSE(action("Edit After Upload")->isChecked());
    QFile file(settings::liveAfterUploadFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "NO");

    click("Upload Selected Effect");
    settle();
    EXPECT_EQ(statusLabel(), "Upload complete");
    EXPECT_EQ(pedal.writes().size(), 2) << "the upload's frames alone";
    EXPECT_FALSE(live());
}

// An upload cut short leaves nothing waiting: a later "Upload complete" (a
// stray message, another program's upload) reads nothing.
TEST_F(UploadToLive, AnUploadCutShortReadsNothingLater) {
    click("Upload Selected Effect");
    pedal.command("fault unplug");
    settle();
    ASSERT_EQ(connection().state(), Connection::State::Lost);
    pedal.command("fault replug");
    link();
    pedal.clearWrites();
    pedal.command("send " + hexOf("Upload complete"));
    settle();
    EXPECT_TRUE(pedal.writes().isEmpty()) << pedal.writes().join(' ').toStdString();
    EXPECT_FALSE(live());
}

TEST_F(UploadToLive, AnUnplugBeforeTheReadLeavesTheEditorUsable) {
    click("Upload Selected Effect");
    // The upload's frames are written; the pedal goes before it reads back.
    ASSERT_TRUE(clock.runUntil([this] { return statusLabel() == "Upload complete"; }));
    pedal.command("fault unplug");
    settle();
    EXPECT_EQ(connection().state(), Connection::State::Lost);
    EXPECT_FALSE(live());
    pedal.command("fault replug");
    link();
    EXPECT_EQ(connection().state(), Connection::State::Linked);
    EXPECT_TRUE(button("Get FX Stored on Pedal")->isEnabled());
}

} // namespace
} // namespace kestra::test
