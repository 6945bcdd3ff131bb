// The preset library: the player's preset files with the effect and date of
// each, at first only the stored effect's; double-click loads one with the
// checks Load Configuration makes; Rename and Delete ask first.
#include "PedalFixture.h"
#include "operations/Configuration.h"
#include "ui/PresetLibraryWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <QTreeWidget>

namespace kestra::test {
namespace {

const QString Stored = "Wobblecat Trem"; // Rate, Depth, Level, Tap button, Shape selector
const QString Other = "Grizzle Drive";

class PresetLibrary : public PedalFixture {
protected:
    void SetUp() override {
        PedalFixture::SetUp();
        if (const QString m = missing({Stored, Other}); !m.isEmpty())
            GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
        link();
        putOnPedal("Modulation", Stored);
        // Two presets of the stored effect, saved from the pedal, and one of another.
        QDir().mkpath(presetFolder());
        for (const auto& [name, depth] : {std::pair{"Soft", 200}, std::pair{"Deep", 900}}) {
            setSlider("Depth", depth);
            dialogs.files = {presetFolder() + '/' + name};
            trigger("Save Configuration");
            settle();
        }
        Configuration other;
        other.effectNumber = effectNumber(Other);
        other.effectVersion = 1;
        other.numOfParameters = 4;
        other.assignments.fill(0xFF);
        QString error;
        ASSERT_TRUE(
            writePresetFile(presetFolder() + "/Crunch.txt", composeConfiguration(other), &error));
        dialogs.clear();
        pedal.clearWrites();
        trigger("Preset Library…");
    }
    PresetLibraryWindow& library() { return *main->presetLibrary(); }
    QTreeWidget* presets() { return control<QTreeWidget>(&library(), "Presets"); }
    QStringList names() {
        QStringList all;
        for (const QString& row : library().rows())
            all << row.section(" | ", 0, 0);
        return all;
    }
    void choose(const QString& name) {
        const auto items = presets()->findItems(name, Qt::MatchExactly, 0);
        ASSERT_EQ(items.size(), 1) << name.toStdString();
        presets()->setCurrentItem(items[0]);
    }
    void libraryClick(const QString& name) {
        if (auto* b = control<QAbstractButton>(&library(), name))
            b->click();
    }
};

TEST_F(PresetLibrary, ShowsTheStoredEffectsPresetsWithEffectAndDate) {
    ASSERT_TRUE(library().isVisible());
    const QStringList rows = library().rows();
    ASSERT_EQ(rows.size(), 2) << rows.join('\n').toStdString();
    EXPECT_EQ(names(), QStringList({"Deep", "Soft"}));
    EXPECT_TRUE(rows[0].startsWith("Deep | " + Stored + " v")) << rows[0].toStdString();
    EXPECT_FALSE(rows[0].section(" | ", 2).isEmpty()) << "the date";

    control<QCheckBox>(&library(), "Only the effect stored on the pedal")->click();
    EXPECT_EQ(names(), QStringList({"Crunch", "Deep", "Soft"}));
    EXPECT_TRUE(library().rows()[0].startsWith("Crunch | " + Other));
}

TEST_F(PresetLibrary, DoubleClickOrEnterLoadsOneIntoThePedal) {
    ASSERT_EQ(slider("Depth"), 900);
    choose("Soft");
    QTest::keyClick(presets(), Qt::Key_Return);
    settle();
    EXPECT_EQ(slider("Depth"), 200);
    EXPECT_EQ(pedalValue(1), 200);
    EXPECT_TRUE(parameterWindow().windowTitle().endsWith(" *")) << "loaded, not stored";
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();

    // A double-click is the press and release of a click, then another press.
    const auto items = presets()->findItems("Deep", Qt::MatchExactly, 0);
    ASSERT_EQ(items.size(), 1);
    const QPoint row = presets()->visualItemRect(items[0]).center();
    QTest::mouseClick(presets()->viewport(), Qt::LeftButton, {}, row);
    QTest::mouseDClick(presets()->viewport(), Qt::LeftButton, {}, row);
    settle();
    EXPECT_EQ(pedalValue(1), 900);
}

// A preset carries its effect: one of another effect is offered to be
// uploaded first; declined, it is refused as Load Configuration refuses it.
TEST_F(PresetLibrary, APresetOfAnotherEffectIsRefusedUnlessItsEffectIsUploaded) {
    control<QCheckBox>(&library(), "Only the effect stored on the pedal")->click();
    choose("Crunch");
    dialogs.answers = {false};
    libraryClick("Load");
    settle();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0], "This preset is for " + Other + ", but the pedal holds " +
                                        Stored + ".\n\nUpload " + Other +
                                        " to the pedal first, then apply the preset?");
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Loaded configuration does not match the effect"))
        << dialogs.errors[0].toStdString();
    EXPECT_TRUE(pedal.writes().isEmpty());
}

// Saved with Grizzle Drive on the pedal, loaded with Wobblecat Trem there:
// the drive goes up, is read back live, and takes the preset's values.
TEST_F(PresetLibrary, APresetOfAnotherEffectUploadsItThenAppliesIt) {
    putOnPedal("Gain", Other);
    setSlider("Drive", 700);
    dialogs.files = {presetFolder() + "/Hot"};
    trigger("Save Configuration");
    settle();
    putOnPedal("Modulation", Stored);
    dialogs.clear();
    control<QCheckBox>(&library(), "Only the effect stored on the pedal")->click();
    choose("Hot");
    libraryClick("Load");
    settle();
    EXPECT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
    EXPECT_EQ(editor->session().storedEffect().name, Other);
    EXPECT_EQ(slider("Drive"), 700);
    EXPECT_EQ(pedalValue(0), 700);
    EXPECT_TRUE(statusLine(*main).startsWith("File loaded successfully: "))
        << statusLine(*main).toStdString();
}

TEST_F(PresetLibrary, LoadWaitsForALiveWindow) {
    select("Gain", Other);
    EXPECT_FALSE(control<QAbstractButton>(&library(), "Load")->isEnabled());
    select("Modulation", Stored);
    EXPECT_FALSE(control<QAbstractButton>(&library(), "Load")->isEnabled()) << "before Request";
    request();
    EXPECT_TRUE(control<QAbstractButton>(&library(), "Load")->isEnabled());
}

TEST_F(PresetLibrary, RenameAndDeleteAskFirst) {
    choose("Soft");
    dialogs.files = {presetFolder() + "/Gentle.txt"};
    libraryClick("Rename...");
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0], "Rename the preset \"Soft\" to \"Gentle\"?");
    EXPECT_EQ(names(), QStringList({"Deep", "Gentle"}));
    EXPECT_EQ(presets()->currentItem()->text(0), "Gentle") << "the renamed one stays chosen";

    // A name another preset has is refused.
    dialogs.files = {presetFolder() + "/Deep.txt"};
    libraryClick("Rename...");
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("already exists"));

    dialogs.clear();
    dialogs.answers = {false};
    libraryClick("Delete...");
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.defaults[0], Dialogs::Default::No) << "a slip of Enter deletes nothing";
    EXPECT_TRUE(QFileInfo::exists(presetFolder() + "/Gentle.txt"));
    libraryClick("Delete...");
    EXPECT_FALSE(QFileInfo::exists(presetFolder() + "/Gentle.txt"));
    EXPECT_EQ(names(), QStringList({"Deep"}));
}

TEST_F(PresetLibrary, F2AndDeleteWorkOnTheList) {
    QStringList keys;
    for (QAction* a : presets()->actions())
        keys << a->shortcut().toString();
    EXPECT_EQ(keys, QStringList({"F2", QKeySequence(QKeySequence::Delete).toString()}));
    choose("Soft");
    dialogs.answers = {true};
    presets()->actions().value(1)->trigger();
    EXPECT_EQ(names(), QStringList({"Deep"}));
}

} // namespace
} // namespace kestra::test
