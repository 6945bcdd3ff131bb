#include "EditorFixture.h"
#include "console/PrintConsole.h"
#include "core/DebugLog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QScrollBar>

namespace kestra::test {
namespace {

class Console : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        main->menuConnectClick();
        prompts.clear();
        pedal.clearWrites();
        console = editor->formPrint.get();
    }
    TformPrint* console = nullptr;
};

TEST_F(Console, EraseThenReadShowsMemoryErasedWithOneLinePerAddress) {
    console->cmbI2Caddr->setCurrentText("50");
    console->btnEraseEeprom->click();
    console->btnReadEEPROM->click();
    EXPECT_EQ(pedal.writes(), QStringList({"0B50000000", "0C5000000000"}));
    EXPECT_EQ(clock.pausedMs() >= 4100, true);
    const int before = console->logLineCount();
    poll(2);
    EXPECT_EQ(prompts.messages, QStringList({"Memory Erased"}));
    EXPECT_GE(console->logLineCount() - before, 16384);
    EXPECT_TRUE(log().contains("\n0: FF\n1: FF\n"));
    EXPECT_TRUE(log().contains("\n16383: FF"));
}

TEST_F(Console, ADumpWithDataShowsNoMessage) {
    console->ReadEEPROM("51");
    poll(2);
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_TRUE(log().contains("\n16383: "));
}

TEST_F(Console, EraseSettingsWipesBothDevicesAndReadsThemBack) {
    prompts.answers = {false};
    main->menuEraseSettings->trigger();
    EXPECT_TRUE(pedal.writes().isEmpty());
    ASSERT_EQ(prompts.questions.size(), 1);
    EXPECT_TRUE(prompts.questions[0].startsWith("Are you sure you want to delete all settings?"));

    main->menuEraseSettings->trigger();
    EXPECT_EQ(pedal.writes(),
              QStringList({"0B50000000", "0C5000000000", "0B51000000", "0C5100000000"}));
    poll(4);
    EXPECT_EQ(prompts.messages, QStringList({"Memory Erased", "Memory Erased"}));
}

TEST_F(Console, ToolsWithoutAnAddressSendTheShortFrames) {
    console->btnEraseEeprom->click();
    console->btnReadEEPROM->click();
    EXPECT_EQ(pedal.writes(), QStringList({"0B000000", "0C00000000"}));
}

TEST_F(Console, ScrollBoxDecidesWhetherNewLinesMoveTheView) {
    console->resize(400, 200);
    for (int i = 0; i < 200; ++i)
        debugLog(QStringLiteral("line %1").arg(i));
    QScrollBar* bar = console->Memo1->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());
    console->btnScrollTop->click();
    EXPECT_EQ(bar->value(), 0);
    console->CheckBox1->setChecked(false);
    debugLog(QStringLiteral("one more"));
    EXPECT_EQ(bar->value(), 0);
    console->btnClear->click();
    EXPECT_EQ(console->logText(), QString());
}

} // namespace
} // namespace kestra::test
