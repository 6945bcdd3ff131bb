// The editor without a mouse: the lists answer to their keys as to a click,
// the list with the focus shows it, and the repeated operations have keys.
#include "PedalFixture.h"

#include <QApplication>
#include <QImage>
#include <QMenuBar>
#include <QSet>
#include <QTest>

namespace kestra::test {
namespace {

class KeyboardTest : public PedalFixture {
protected:
    void SetUp() override {
        PedalFixture::SetUp();
        // Shortcuts reach only the active window.
        main->show();
        main->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(main));
    }
    void press(QWidget* to, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        to->setFocus();
        QTest::keyClick(to, key, modifiers);
    }
    QStringList effectList() {
        QStringList names;
        for (int i = 0; i < list("Effects")->count(); ++i)
            names << list("Effects")->item(i)->text();
        return names;
    }
    static QStringList categoryEffects(int row) {
        return Catalogue().categoryEffects(row).value_or(QStringList());
    }
};

TEST_F(KeyboardTest, ArrowsInTheCategoryListLoadTheCategoryTheyReach) {
    QListWidget* categories = list("Categories");
    press(categories, Qt::Key_Home);
    EXPECT_EQ(categories->currentRow(), 0);
    EXPECT_EQ(effectList(), categoryEffects(0));
    press(categories, Qt::Key_Down);
    EXPECT_EQ(categories->currentRow(), 1);
    EXPECT_EQ(effectList(), categoryEffects(1));
    press(categories, Qt::Key_Up);
    EXPECT_EQ(effectList(), categoryEffects(0));
    press(categories, Qt::Key_Up);
    EXPECT_EQ(categories->currentRow(), 0) << "the first row stays";
    EXPECT_EQ(effectList(), categoryEffects(0));
}

struct PickCase {
    const char* name;
    Qt::Key key;
};

void PrintTo(const PickCase& c, std::ostream* os) {
    *os << c.name;
}

class PickKey : public KeyboardTest, public ::testing::WithParamInterface<PickCase> {};

// The effect list's arrows only move the highlight (picking switches Live
// off and opens a window); the pick keys open the highlighted effect.
TEST_P(PickKey, PicksTheHighlightedEffectAsAClickDoes) {
    chooseCategory("Gain");
    QListWidget* effects = list("Effects");
    const auto rows = effects->findItems("Grizzle Drive", Qt::MatchExactly);
    ASSERT_EQ(rows.size(), 1);
    effects->setCurrentItem(rows[0]);
    ASSERT_EQ(main->selectedEffect(), "") << "highlighting alone picks nothing";
    press(effects, GetParam().key);
    EXPECT_EQ(main->selectedEffect(), "Grizzle Drive");
    EXPECT_TRUE(parameterWindow().isVisible());

    // A pick key in the category list reloads it, as a click does.
    press(list("Categories"), GetParam().key);
    EXPECT_EQ(effectList(), categoryEffects(list("Categories")->currentRow()));
}

INSTANTIATE_TEST_SUITE_P(Keys, PickKey,
                         ::testing::Values(PickCase{"Return", Qt::Key_Return},
                                           PickCase{"Enter", Qt::Key_Enter},
                                           PickCase{"Space", Qt::Key_Space}),
                         [](const auto& info) { return std::string(info.param.name); });

// The keys that move in the effect list leave the pick where it is: Upload
// and Ctrl+U take the effect the list shows selected.
TEST_F(KeyboardTest, MovingInTheEffectListKeepsThePickThatUploadTakes) {
    press(main, Qt::Key_L, Qt::ControlModifier);
    settle();
    chooseCategory("Gain");
    QListWidget* effects = list("Effects");
    ASSERT_GE(effects->count(), 3);
    effects->setCurrentRow(0);
    const QString picked = effects->item(0)->text();
    press(effects, Qt::Key_Return);
    ASSERT_EQ(main->selectedEffect(), picked);
    for (const Qt::Key key :
         {Qt::Key_Down, Qt::Key_Down, Qt::Key_End, Qt::Key_PageUp, Qt::Key_Home, Qt::Key_Down}) {
        press(effects, key);
        ASSERT_EQ(effects->selectedItems().size(), 1);
        EXPECT_EQ(effects->selectedItems()[0]->text(), picked) << "after key " << key;
    }
    EXPECT_EQ(effects->currentRow(), 1);
    EXPECT_EQ(main->selectedEffect(), picked);
    dialogs.clear();
    press(main, Qt::Key_U, Qt::ControlModifier);
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.questions[0].endsWith("\n" + picked + " to the preset slot"))
        << dialogs.questions[0].toStdString();
}

// Ctrl+Q (File > Quit) asks what closing asks.
TEST_F(KeyboardTest, QuitAsksAboutEditsNotStoredAsClosingDoes) {
    press(main, Qt::Key_L, Qt::ControlModifier);
    settle();
    putOnPedal("Modulation", "Wobblecat Trem");
    main->activateWindow();
    setSlider("Rate", slider("Rate") == 700 ? 300 : 700);
    ASSERT_TRUE(main->unsavedEdits());
    dialogs.offerAnswers = {Dialogs::Choice::Cancel};
    press(main, Qt::Key_Q, Qt::ControlModifier);
    ASSERT_EQ(dialogs.offers.size(), 1);
    EXPECT_TRUE(dialogs.offers[0].startsWith("The settings of Wobblecat Trem were edited"));
    EXPECT_TRUE(main->isVisible());

    dialogs.offerAnswers = {Dialogs::Choice::No};
    press(main, Qt::Key_Q, Qt::ControlModifier);
    settle();
    EXPECT_FALSE(main->isVisible());
}

// Alt and a letter opens each menu; no two share their letter.
TEST_F(KeyboardTest, EveryMenuHasAnAltKeyOfItsOwn) {
    QSet<QKeySequence> keys;
    const QList<QAction*> menus = main->menuBar()->actions();
    ASSERT_FALSE(menus.isEmpty());
    for (QAction* menu : menus) {
        const QKeySequence key = QKeySequence::mnemonic(menu->text());
        EXPECT_FALSE(key.isEmpty()) << menu->text().toStdString();
        keys.insert(key);
    }
    EXPECT_EQ(keys.size(), menus.size());
}

TEST_F(KeyboardTest, TheListWithTheFocusLooksDifferent) {
    QListWidget* categories = list("Categories");
    list("Effects")->setFocus();
    ASSERT_FALSE(categories->hasFocus());
    const QImage unfocused = categories->grab().toImage();
    categories->setFocus();
    ASSERT_TRUE(categories->hasFocus());
    EXPECT_NE(categories->grab().toImage(), unfocused);
}

TEST_F(KeyboardTest, ShortcutsLinkUploadRequestAndOpenTheConfigurationDialogs) {
    // Disabled operations ignore their keys.
    press(main, Qt::Key_U, Qt::ControlModifier);
    EXPECT_TRUE(dialogs.questions.isEmpty());

    press(main, Qt::Key_L, Qt::ControlModifier);
    settle();
    EXPECT_EQ(connection().state(), Connection::State::Linked);

    select("Gain", "Grizzle Drive");
    dialogs.clear();
    press(main, Qt::Key_U, Qt::ControlModifier);
    settle();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.questions[0].startsWith("Upload the selected effect?"));
    getStored();
    pedal.clearWrites();
    press(main, Qt::Key_R, Qt::ControlModifier);
    settle();
    EXPECT_TRUE(button("Assign")->isEnabled()) << "Request read the pedal's state";
    EXPECT_FALSE(pedal.writes().isEmpty());

    ASSERT_TRUE(action("Save Configuration")->isEnabled());
    press(main, Qt::Key_S, Qt::ControlModifier);
    settle(); // Save reads the values again first
    EXPECT_EQ(dialogs.lastDialog.title, "Save Preset File");
    press(main, Qt::Key_O, Qt::ControlModifier);
    settle();
    EXPECT_EQ(dialogs.lastDialog.title, "Open Preset File");
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
}

} // namespace
} // namespace kestra::test
