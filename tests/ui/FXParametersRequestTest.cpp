#include "protocol/ParameterStateReply.h"
#include "tests/editor/EditorWindowFixture.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QFile>
#include <QTemporaryDir>

namespace kestra {
namespace {

const QString Wobblecat = QStringLiteral("Wobblecat Trem"); // pots 0-2, Tap 3, Shape 4, LFO

class Request : public test::EditorWindow {
protected:
    // Powers the pedal up with these settings (keys of its state file).
    void pedalHolds(const QStringList& lines) {
        QFile file(dir.filePath(QStringLiteral("pedal.state")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(lines.join(QLatin1Char('\n')).toLatin1());
        file.close();
        pedal.command(QStringLiteral("state load ") + file.fileName());
    }

    QTemporaryDir dir;
};

// Levels are listed on the 0..1024 scale; the pedal shifts them itself.
const QStringList WobblecatSettings{
    "values=512,0,0,1024,768,0,0,0,0,0,0,0,0,0,0,0",
    "sources=0,255,13,5,11,0,0,0,0,0,0,0,0,0,0,0",
    "reverse=1,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0",
    "leds=2,255,255,255",
    "bypass-source=9",
    "preset-source=255",
    "mode=bank",
    "bank=2",
    "midi=0",
};

TEST_F(Request, AppliesTheAnswerWithoutSendingAnythingBack) {
    pedalHolds(WobblecatSettings);
    open(Wobblecat);
    const std::optional<ParameterState> answer = window->requestParameterState();
    ASSERT_TRUE(answer) << prompts.errors.join('\n').toStdString();

    EXPECT_EQ(pedal.writes(), QStringList{"0205"});
    EXPECT_FALSE(state.requestInProgress);
    EXPECT_EQ(window->potParameter[0]->value(), 512);
    EXPECT_FALSE(window->buttonParameter[3]->isChecked()); // buttons keep their own state
    EXPECT_EQ(window->multiSwitch[4]->currentIndex(), 3);  // 768 of 4 positions

    EXPECT_EQ(window->boxAssign[0]->currentText(), QStringLiteral("KI"));
    EXPECT_EQ(window->boxAssign[1]->currentText(), QStringLiteral("--"));
    EXPECT_EQ(window->boxAssign[2]->currentIndex(), -1); // 13 names no source
    EXPECT_EQ(window->boxAssign[4]->currentText(), QStringLiteral("EXP"));
    EXPECT_EQ(window->boxAssignBypass->currentText(), QStringLiteral("FL"));
    EXPECT_EQ(window->boxAssignPreset->currentText(), QStringLiteral("--"));
    EXPECT_EQ(window->boxAssignRdbcks[0]->currentText(), QStringLiteral("RED"));
    EXPECT_EQ(window->bypassAssignment, 9);
    EXPECT_EQ(window->presetAssignment, NoAssignment);

    EXPECT_TRUE(window->reverseCheckBox[0]->isChecked());
    EXPECT_EQ(window->reverseParameters[0], 1);
    EXPECT_FALSE(window->reverseCheckBox[2]->isChecked());
    window->EnableRevCheckBoxes();
    EXPECT_TRUE(window->reverseCheckBox[0]->isEnabled());
    EXPECT_FALSE(window->reverseCheckBox[1]->isEnabled()); // source "--"

    // What belongs to the main window comes back to it.
    EXPECT_EQ(answer->bankMode, std::optional<bool>(true));
    EXPECT_EQ(answer->bankOrPresetNumber, 2);
    EXPECT_EQ(answer->midiChannel, std::optional<int>(0)); // OMNI
    EXPECT_EQ(pedal.writes(), QStringList{"0205"});
}

TEST_F(Request, FullScaleTurnsASwitchOn) {
    pedalHolds({"values=0,0,0,1024,0,0,0,0,0,0,0,0,0,0,0,0", "midi=16"});
    open(QStringLiteral("Grizzle Drive"));
    const auto answer = window->requestParameterState();
    ASSERT_TRUE(answer);
    EXPECT_TRUE(window->switchParameter[3]->isChecked());
    EXPECT_EQ(window->stateLabel[3]->text(), QStringLiteral("ON"));
    EXPECT_EQ(answer->midiChannel, std::optional<int>(16));
    EXPECT_EQ(pedal.writes(), QStringList{"0204"});
}

TEST_F(Request, TopOfTheScaleSelectsTheLastOfTwelve) {
    pedalHolds({"values=0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1023"});
    open(QStringLiteral("Octovolt Synth"));
    ASSERT_TRUE(window->requestParameterState());
    EXPECT_EQ(window->multiSwitch[15]->currentIndex(), 11);
}

TEST_F(Request, AnswerInTwoPiecesIsCollected) {
    pedalHolds(WobblecatSettings);
    open(Wobblecat);
    pedal.command("fault split 20");
    ASSERT_TRUE(window->requestParameterState());
    EXPECT_EQ(window->boxAssignRdbcks[0]->currentText(), QStringLiteral("RED"));
}

// Refused answers leave the window exactly as it was.
TEST_F(Request, UnusableAnswersChangeNothing) {
    const std::pair<const char*, const char*> faults[] = {
        {"fault silent on", "did not answer Request"},
        {"fault truncate 30", "was incomplete"},
        {"fault garbage 4B0D0A", "is not a decimal number"},
    };
    for (const auto& [fault, message] : faults) {
        pedalHolds(WobblecatSettings);
        open(Wobblecat);
        window->potParameter[0]->setValue(100);
        window->boxAssign[0]->setCurrentIndex(3);
        prompts.clear();
        pedal.clearWrites();
        pedal.command(QString::fromLatin1(fault));

        EXPECT_FALSE(window->requestParameterState()) << fault;
        EXPECT_FALSE(state.requestInProgress) << fault;
        ASSERT_EQ(prompts.errors.size(), 1) << fault;
        EXPECT_TRUE(prompts.errors[0].contains(QLatin1String(message)))
            << prompts.errors[0].toStdString();
        EXPECT_EQ(window->potParameter[0]->value(), 100) << fault;
        EXPECT_EQ(window->boxAssign[0]->currentIndex(), 3) << fault;
        EXPECT_EQ(window->boxAssignBypass->currentIndex(), -1) << fault;
        pedal.command("fault clear");
        window->close();
    }
}

TEST_F(Request, SilentPedalGivesUpAtTheTimeLimit) {
    pedal.command("fault silent on");
    const qint64 start = clock.elapsedMs();
    const Reply reply = receiveParameterState(transport, false);
    EXPECT_EQ(reply.outcome, Reply::Outcome::TimedOut);
    EXPECT_GE(clock.elapsedMs() - start, ReplyTimeLimitMs);
    EXPECT_LT(clock.elapsedMs() - start, ReplyTimeLimitMs + 100);
}

} // namespace
} // namespace kestra
