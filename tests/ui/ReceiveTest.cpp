// What the pedal sends on its own reaches the windows message by message,
// however the reads join or split the messages.
#include "PedalFixture.h"

#include <utility>
#include <vector>

namespace kestra::test {
namespace {

const QString Stored = "Wobblecat Trem";  // Rate, Depth, Level, Tap button, Shape selector
const QString Reported = "Glasswave Pad"; // a hex letter in its number in either catalogue

class ReceiveTest : public PedalFixture {
protected:
    void SetUp() override {
        PedalFixture::SetUp();
        link();
        // What follows the stored-effect reply until the line is quiet is
        // its tail, not a message.
        clock.advance(MessageFramer::ReplyQuietMs);
        dialogs.clear();
    }
};

TEST_F(ReceiveTest, BankStatusChecksTheBankRadio) {
    pedal.command("send " + hexOf("02"));
    clock.advance(100);
    EXPECT_EQ(checkedBank(), 2);
    EXPECT_TRUE(log().contains("Data(ASCII): 02"));
    pedal.command("send " + hexOf("05")); // names no bank
    clock.advance(100);
    EXPECT_EQ(checkedBank(), 2);
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(ReceiveTest, FootswitchInBankModeReachesTheBankRadio) {
    pedal.command("mode bank");
    pedal.command("footswitch FS"); // steps from bank I to bank II
    clock.advance(100);
    EXPECT_EQ(pedalStatus("bank"), "1");
    EXPECT_EQ(checkedBank(), 1);
}

// The pedal's "Upload complete" is cut out of the stream by its text, not by
// the read it came in.
TEST_F(ReceiveTest, UploadCompleteReachesTheStatusLabelOnlyWhole) {
    const QString before = statusLabel();
    pedal.command("send " + hexOf("Upload comp"));
    clock.advance(200);
    EXPECT_EQ(statusLabel(), before);
    EXPECT_TRUE(log().contains("incomplete \"Upload complete\" dropped after"));
    pedal.command("send " + hexOf("Upload failed"));
    clock.advance(200);
    EXPECT_EQ(statusLabel(), before);
    pedal.command("send " + hexOf("Upload complete\r\n"));
    clock.advance(200);
    EXPECT_EQ(statusLabel(), "Upload complete");
    EXPECT_TRUE(log().contains("stray bytes: 2 bytes")) << "the line end is no message";
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(ReceiveTest, AWriteIntoAnUnpluggedPedalIsOneMessage) {
    clock.advance(100);
    pedal.command("fault unplug");
    midiChannels().value(5)->trigger(); // before any read finds the pedal gone
    EXPECT_EQ(dialogs.errors,
              QStringList({"The pedal was disconnected. Reconnect it and choose Link."}));
    EXPECT_EQ(connection().state(), Connection::State::Lost);
    clock.advance(5000);
    EXPECT_EQ(dialogs.errors.size(), 1) << "the polls that follow stay quiet";
}

// Joined and split messages. Each case runs its steps, then lets 200 ms
// pass; the window shows the stored effect before.

struct StreamCase {
    const char* name = "";
    // Pedal commands: "send TEXT" sends a status text ({effect} reports
    // Reported, {number} is its number), "send-raw HEX" sends bytes, "wait
    // N" lets N ms pass; any other step is a command for the pedal.
    std::vector<QString> steps = {};
    int reads = 1;                                        // reads that carry the bytes
    int bank = -1;                                        // the bank radio checked afterwards
    bool opensReported = false;                           // the effect status opened Reported
    std::vector<std::pair<const char*, int>> levels = {}; // track bars of the stored effect
    std::vector<const char*> logOnce = {};                // each exactly once in the log
    std::vector<const char*> logNever = {};
};

void PrintTo(const StreamCase& c, std::ostream* os) {
    *os << c.name;
}

class Stream : public ReceiveTest, public ::testing::WithParamInterface<StreamCase> {
protected:
    void SetUp() override {
        ReceiveTest::SetUp();
        if (const QString m = missing({Stored, Reported}); !m.isEmpty())
            GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
        upload("Modulation", Stored);
        getStored();
        clock.advance(MessageFramer::ReplyQuietMs);
        ASSERT_TRUE(parameterWindow().windowTitle().startsWith(Stored));
        dialogs.clear();
    }
    QString effectStatus() { return "1" + QString::number(effectNumber(Reported), 16).toUpper(); }
    QString expand(const QString& text) {
        QString t = text;
        return t.replace("{effect}", effectStatus())
            .replace("{number}", QString::number(effectNumber(Reported)));
    }
};

TEST_P(Stream, EveryMessageArrivesOnce) {
    const StreamCase& c = GetParam();
    const int readsBefore = logCount("Data(ASCII): ");
    for (const QString& step : c.steps) {
        if (step.startsWith("wait "))
            clock.advance(step.mid(5).toInt());
        else if (step.startsWith("send-raw "))
            pedal.command("send " + step.mid(9));
        else if (step.startsWith("send "))
            pedal.command("send " + hexOf(expand(step.mid(5)).toLatin1()));
        else
            pedal.command(expand(step));
    }
    clock.advance(200);

    EXPECT_EQ(logCount("Data(ASCII): ") - readsBefore, c.reads);
    EXPECT_EQ(checkedBank(), c.bank);
    if (c.opensReported) {
        EXPECT_EQ(main->storedEffect().name, Reported);
        EXPECT_TRUE(parameterWindow().windowTitle().startsWith(Reported + " v"))
            << parameterWindow().windowTitle().toStdString();
    } else {
        EXPECT_TRUE(parameterWindow().windowTitle().startsWith(Stored + " v"));
    }
    for (const auto& [name, level] : c.levels)
        EXPECT_EQ(slider(name), level) << name;
    for (const char* line : c.logOnce)
        EXPECT_EQ(logCount(expand(line)), 1) << line;
    for (const char* line : c.logNever)
        EXPECT_EQ(logCount(line), 0) << line;
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
}

const QString Dump11 = "AB" + QString("11").repeated(EepromSize);
const QString Dump22 = "AB" + QString("22").repeated(EepromSize);

INSTANTIATE_TEST_SUITE_P(
    Reads, Stream,
    ::testing::Values(
        // The pedal steps to bank II and the player picks Reported there: it
        // says "01" and "1..." at once, and the editor reads the effect's
        // version with Get stored effect (the second read).
        StreamCase{.name = "BankAndEffectStatusInOneRead",
                   .steps = {"bank 1", "effect {number}"},
                   .reads = 2,
                   .bank = 1,
                   .opensReported = true,
                   .logOnce = {"Data(ASCII): 01{effect}"}},
        StreamCase{.name = "RealtimeFramesInOneRead",
                   .steps = {"send-raw AA00000100", "send-raw AA00010200", "send-raw AA0B020155"},
                   .levels = {{"Rate", 256}, {"Depth", 512}, {"Level", 341}},
                   .logOnce = {"realtime frame: source 0 parameter 0 value 256",
                               "realtime frame: source 0 parameter 1 value 512",
                               "realtime frame: source 11 parameter 2 value 341"}},
        StreamCase{.name = "TwoEepromDumpsInOneRead",
                   // At line time the two take 2.8 s, in many reads: delivered at
                   // once, they come in one.
                   .steps = {"timing off", "send-raw " + Dump11, "send-raw " + Dump22},
                   .logOnce = {"16383: 11", "16383: 22"}},
        StreamCase{.name = "RealtimeFrameSplitOverTwoReads",
                   .steps = {"fault split 2", "send-raw AA00000100"},
                   .reads = 2,
                   .levels = {{"Rate", 256}},
                   .logOnce = {"realtime frame: source 0 parameter 0 value 256"}},
        StreamCase{.name = "RealtimeFragmentThenBankStatusInOneRead",
                   .steps = {"fault truncate 3", "send-raw AA00000100", "send 01"},
                   .bank = 1,
                   .levels = {{"Rate", 0}},
                   .logOnce = {"malformed real-time frame dropped"},
                   .logNever = {"realtime frame:", "value 12337"}},
        StreamCase{.name = "RealtimeFragmentThenBankStatusInALaterRead",
                   .steps = {"fault truncate 3", "send-raw AA00000100", "wait 40", "send 01"},
                   .reads = 2,
                   .bank = 1,
                   .levels = {{"Rate", 0}},
                   .logOnce = {"malformed real-time frame dropped"},
                   .logNever = {"realtime frame:", "value 12337"}},
        StreamCase{.name = "RealtimeFragmentThenSilence",
                   .steps = {"fault truncate 3", "send-raw AA00000100"},
                   .levels = {{"Rate", 0}},
                   .logOnce = {"incomplete real-time frame dropped after"},
                   .logNever = {"realtime frame:"}},
        StreamCase{.name = "BankStatusWithoutItsDigitThenSilence",
                   .steps = {"send 0", "wait 150", "send 01"},
                   .reads = 2,
                   .bank = 1,
                   .logOnce = {"incomplete bank status dropped after"}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kestra::test
