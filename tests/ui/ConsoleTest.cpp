// The debug console: its EEPROM tools on the linked pedal, Erase Settings
// that uses them, and how new log lines move the view.
#include "EditorFixture.h"
#include "core/DebugLog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

namespace kestra::test {
namespace {

class Console : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        link();
        dialogs.clear();
        pedal.clearWrites();
    }
    ConsoleWindow& console() { return editor->console(); }
    QPushButton* tool(const QString& name) { return control<QPushButton>(&console(), name); }
    void chooseDevice(const QString& address) {
        control<QComboBox>(&console(), "E2P addr")->setCurrentText(address);
    }
};

TEST_F(Console, EraseThenReadShowsMemoryErasedWithOneLinePerAddress) {
    chooseDevice("50");
    tool("Erase EEPROM")->click();
    // The erase runs: a Read clicked meanwhile would reach a pedal still erasing.
    EXPECT_FALSE(tool("Read EEPROM")->isEnabled());
    tool("Read EEPROM")->click();
    settle();
    EXPECT_EQ(pedal.writes(), QStringList({"0B50000000"}));

    const int before = console().logLineCount();
    tool("Read EEPROM")->click();
    settle();
    EXPECT_EQ(pedal.writes(), QStringList({"0B50000000", "0C5000000000"}));
    EXPECT_EQ(dialogs.messages, QStringList({"Memory Erased"}));
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_GE(console().logLineCount() - before, 16384);
    EXPECT_TRUE(log().contains("\n0: FF\n1: FF\n"));
    EXPECT_TRUE(log().contains("\n16383: FF"));
}

// Long use keeps a bounded history: the oldest lines go, and one first
// line says how many went, counting on across later drops.
TEST_F(Console, TheHistoryKeepsFourDumpsAndSaysHowManyOlderLinesWent) {
    chooseDevice("51");
    const int before = console().logLineCount();
    tool("Read EEPROM")->click();
    settle();
    const int perRead = console().logLineCount() - before;
    ASSERT_GE(perRead, 16384);
    for (int i = 0; i < 4; ++i) {
        tool("Read EEPROM")->click();
        settle();
    }
    // The note is one of the lines kept.
    const int expectedDropped = before + 5 * perRead - (ConsoleWindow::HistoryLines - 1);
    ASSERT_GT(expectedDropped, 0);
    EXPECT_EQ(console().logLineCount(), ConsoleWindow::HistoryLines);
    EXPECT_EQ(log().section('\n', 0, 0),
              QString("[%1 older lines were dropped]").arg(expectedDropped));
    EXPECT_TRUE(log().contains("\n16383: ")) << "the newest lines stay";

    tool("Read EEPROM")->click();
    settle();
    EXPECT_EQ(console().logLineCount(), ConsoleWindow::HistoryLines);
    EXPECT_EQ(log().section('\n', 0, 0),
              QString("[%1 older lines were dropped]").arg(expectedDropped + perRead));
    EXPECT_EQ(log().count("older lines were dropped"), 1);

    tool("Clear")->click();
    debugLog("after clearing");
    EXPECT_EQ(log(), "after clearing") << "a cleared console starts without the note";
}

TEST_F(Console, ADumpWithDataShowsNoMessage) {
    chooseDevice("51");
    tool("Read EEPROM")->click();
    settle();
    EXPECT_EQ(pedal.writes(), QStringList({"0C5100000000"}));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_TRUE(log().contains("\n16383: "));
}

TEST_F(Console, EraseSettingsAsksFirstThenWipesBothDevicesAndReadsThemBack) {
    dialogs.answers = {false};
    trigger("Erase Settings");
    settle();
    EXPECT_TRUE(pedal.writes().isEmpty());
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.questions[0].startsWith("Are you sure you want to delete all settings?"));
    EXPECT_EQ(dialogs.defaults[0], Dialogs::Default::No) << "a slip of Enter erases nothing";

    trigger("Erase Settings");
    settle();
    EXPECT_EQ(pedal.writes(),
              QStringList({"0B50000000", "0C5000000000", "0B51000000", "0C5100000000"}));
    EXPECT_EQ(dialogs.messages, QStringList({"Memory Erased", "Memory Erased"}));
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
}

// The first half's dump cut short: the erase stops there and says which
// half of the memory is in which state.
TEST_F(Console, EraseSettingsThatStopsSaysWhatWasErased) {
    pedal.command("fault truncate 100");
    trigger("Erase Settings");
    settle();
    EXPECT_EQ(pedal.writes(), QStringList({"0B50000000", "0C5000000000"}));
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors[0],
              "Erase Settings stopped before it was finished: the first half of the pedal's "
              "settings memory may not be erased (the pedal did not send it back), the second "
              "half was not erased.\n\nCheck that the pedal is switched on and connected, then "
              "choose Erase Settings again.");
    EXPECT_EQ(connection().state(), Connection::State::Linked);
}

TEST_F(Console, ToolsWithoutAnAddressSendTheShortFrames) {
    tool("Erase EEPROM")->click();
    settle();
    tool("Read EEPROM")->click();
    settle();
    EXPECT_EQ(pedal.writes(), QStringList({"0B000000", "0C00000000"}));
}

// A dump that stops short never reaches the log as a whole one, and the
// link stays usable.
TEST_F(Console, ADumpCutShortSaysThePedalDidNotAnswer) {
    chooseDevice("50");
    pedal.command("fault truncate 100");
    tool("Read EEPROM")->click();
    settle();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("The pedal did not answer Read EEPROM"))
        << dialogs.errors[0].toStdString();
    EXPECT_FALSE(log().contains("\n16383: "));
    EXPECT_EQ(connection().state(), Connection::State::Linked);

    dialogs.clear();
    tool("Read EEPROM")->click();
    settle();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_TRUE(log().contains("\n16383: "));
}

TEST_F(Console, ToolsNeedALinkedPedal) {
    unlink();
    EXPECT_FALSE(tool("Erase EEPROM")->isEnabled());
    EXPECT_FALSE(tool("Read EEPROM")->isEnabled());
    link();
    EXPECT_TRUE(tool("Erase EEPROM")->isEnabled());
    EXPECT_TRUE(tool("Read EEPROM")->isEnabled());
}

TEST_F(Console, ScrollBoxDecidesWhetherNewLinesMoveTheView) {
    console().resize(400, 200);
    console().show();
    for (int i = 0; i < 200; ++i)
        debugLog(QStringLiteral("line %1").arg(i));
    QScrollBar* bar = control<QPlainTextEdit>(&console(), "Debug log")->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    tool("UP")->click();
    EXPECT_EQ(bar->value(), 0);
    control<QCheckBox>(&console(), "scroll")->setChecked(false);
    debugLog(QStringLiteral("one more"));
    EXPECT_EQ(bar->value(), 0);
    tool("Clear")->click();
    EXPECT_EQ(console().logText(), QString());
}

} // namespace
} // namespace kestra::test
