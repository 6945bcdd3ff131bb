// The search field above the lists: the effects of every category whose
// name holds what the player types, and Enter selecting the first one in its
// category as a click there would.
#include "PedalFixture.h"

#include <QLineEdit>
#include <QTest>

namespace kestra::test {
namespace {

const QString Stored = "Wobblecat Trem";
const QString Other = "Grizzle Drive";

class SearchField : public PedalFixture {
protected:
    void SetUp() override {
        PedalFixture::SetUp();
        if (const QString m = missing({Stored, Other}); !m.isEmpty())
            GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
    }
    QLineEdit* field() { return control<QLineEdit>(main, "Search effects"); }
    void type(const QString& text) {
        field()->clear();
        QTest::keyClicks(field(), text);
    }
    QStringList effectsShown() {
        QStringList names;
        for (int row = 0; row < list("Effects")->count(); ++row)
            names << list("Effects")->item(row)->text();
        return names;
    }
};

TEST_F(SearchField, ListsEveryCategorysMatchesAsThePlayerTypes) {
    chooseCategory("Gain");
    type("TREM");
    EXPECT_TRUE(effectsShown().contains(Stored)) << effectsShown().join('|').toStdString();
    EXPECT_FALSE(effectsShown().contains(Other));
    EXPECT_EQ(list("Categories")->currentRow(), -1) << "the list is no one category's";
    const auto rows = list("Effects")->findItems(Stored, Qt::MatchExactly);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0]->toolTip(), "Modulation") << "its category, for the player who asks";

    type("zzzz");
    EXPECT_TRUE(effectsShown().isEmpty());

    // Cleared, the lists are back where the player left them.
    field()->clear();
    EXPECT_EQ(list("Categories")->currentItem()->text(), "Gain");
    EXPECT_TRUE(effectsShown().contains(Other));
}

TEST_F(SearchField, EnterSelectsTheFirstMatchInItsCategory) {
    link();
    type("wobble");
    QTest::keyClick(field(), Qt::Key_Return);
    EXPECT_EQ(main->selectedEffect(), Stored);
    EXPECT_EQ(list("Categories")->currentItem()->text(), "Modulation");
    EXPECT_EQ(list("Effects")->currentItem()->text(), Stored);
    EXPECT_TRUE(effectsShown().contains(Stored));
    EXPECT_TRUE(field()->text().isEmpty());
    EXPECT_TRUE(parameterWindow().isVisible());
    EXPECT_EQ(parameterWindow().windowTitle(), Stored);
    EXPECT_TRUE(button("Upload Selected Effect")->isEnabled()) << "as a click would";

    // Nothing found: Enter changes nothing.
    type("no such effect");
    QTest::keyClick(field(), Qt::Key_Return);
    EXPECT_EQ(main->selectedEffect(), Stored);
}

TEST_F(SearchField, CtrlFReachesTheFieldFromTheLists) {
    QAction* find = nullptr;
    for (QAction* a : main->actions())
        if (a->shortcut() == QKeySequence(QKeySequence::Find))
            find = a;
    ASSERT_NE(find, nullptr);
    field()->setText("drive");
    find->trigger();
    EXPECT_EQ(field()->selectedText(), "drive") << "typing replaces the last search";
}

// Enter opens an effect as a click does: edits not stored on the pedal are
// offered to be stored first, and Cancel stays where the player was.
TEST_F(SearchField, EnterWithUnsavedEditsAsksFirst) {
    link();
    putOnPedal("Modulation", Stored);
    setSlider("Depth", 300);
    dialogs.offerAnswers = {Dialogs::Choice::Cancel};
    type("grizzle");
    QTest::keyClick(field(), Qt::Key_Return);
    ASSERT_EQ(dialogs.offers.size(), 1);
    EXPECT_EQ(main->selectedEffect(), Stored);
    EXPECT_TRUE(parameterWindow().windowTitle().startsWith(Stored));

    dialogs.offerAnswers = {Dialogs::Choice::No};
    type("grizzle");
    QTest::keyClick(field(), Qt::Key_Return);
    EXPECT_EQ(main->selectedEffect(), Other);
    clock.advance(10); // the edit's frame reaches the pedal
    EXPECT_EQ(pedalStatus("stored-settings"), "changed") << "left behind, as answered";
}

} // namespace
} // namespace kestra::test
