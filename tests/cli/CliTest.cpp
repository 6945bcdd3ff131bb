// kestra-cli's commands against the virtual pedal, in process on the test
// clock; and the built program itself, as a script would run it.
#include "catalogue/ResourceNames.h"
#include "cli/CliSession.h"
#include "port/D2xxPort.h"
#include "tests/support/TestClock.h"
#include "tests/support/VirtualPedalControl.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestra::test {
namespace {

const QString Effect = QStringLiteral("Wobblecat Trem");

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loadFrom(virtualD2xxPath())) << library.errorString().toStdString();
        pedal.command("reset");
        if (!ResourceStore::compiled().contains(format_resource_name(Effect)))
            GTEST_SKIP() << "the catalogue has no " << Effect.toStdString();
    }
    void TearDown() override { pedal.command("reset"); }

    // Runs one command to its end; the exit code.
    int run(const QStringList& arguments) {
        out.clear();
        err.clear();
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        Connection connection(port);
        CliSession session(connection, outStream, errStream, [this] { return answer; });
        std::optional<int> code;
        QObject::connect(&session, &CliSession::finished, [&code](int c) { code = c; });
        session.start(arguments);
        EXPECT_TRUE(clock.runUntil([&code] { return code.has_value(); })) << "never ended";
        // The program ends once the device is closed.
        bool closed = false;
        connection.whenClosed([&closed] { closed = true; });
        EXPECT_TRUE(clock.runUntil([&closed] { return closed; })) << "never closed";
        outStream.flush();
        errStream.flush();
        return code.value_or(-1);
    }
    QString status(const QString& key) {
        for (const QString& line : pedal.command("status").split('\n'))
            if (line.startsWith(key + '='))
                return line.mid(key.size() + 1);
        return {};
    }

    TestClock clock;
    VirtualPedalControl pedal;
    D2xxLibrary library;
    D2xxPort port{library};
    QString out;
    QString err;
    std::optional<QString> answer = QString();
};

TEST_F(Cli, ListsTheAdaptersAndSaysWhenThereIsNone) {
    EXPECT_EQ(run({"devices"}), CliSession::Done);
    EXPECT_EQ(out, "KS000001\tFT230X Basic UART\n");
    pedal.command("devices 0");
    EXPECT_EQ(run({"devices"}), CliSession::NotLinked);
    EXPECT_TRUE(err.startsWith("No device found")) << err.toStdString();
    EXPECT_EQ(run({"stored"}), CliSession::NotLinked);
}

TEST_F(Cli, UploadsReadsBackAndEditsTheStoredEffect) {
    EXPECT_EQ(run({"stored"}), CliSession::Done);
    EXPECT_TRUE(out.contains("No effect found on pedal"));

    ASSERT_EQ(run({"upload", Effect}), CliSession::Done) << err.toStdString();
    EXPECT_EQ(out, "Upload complete\n");
    EXPECT_EQ(status("effect.slot"), "preset");

    ASSERT_EQ(run({"stored"}), CliSession::Done);
    EXPECT_TRUE(out.contains("effect: ") && out.contains(Effect)) << out.toStdString();

    ASSERT_EQ(run({"set", "1", "512"}), CliSession::Done) << err.toStdString();
    EXPECT_EQ(status("values").split(',').value(1), "512");

    ASSERT_EQ(run({"request"}), CliSession::Done) << err.toStdString();
    EXPECT_TRUE(out.startsWith(Effect + " v")) << out.toStdString();
    EXPECT_TRUE(out.contains("\n1 ") && out.contains(" = 512\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("MIDI channel: OMNI")) << out.toStdString();
}

TEST_F(Cli, UploadsToABank) {
    ASSERT_EQ(run({"upload", Effect, "--bank", "II"}), CliSession::Done) << err.toStdString();
    EXPECT_EQ(status("pedal-mode"), "bank");
    EXPECT_EQ(status("bank"), "1");
    EXPECT_EQ(pedal.writes().filter(QRegularExpression("^0F")).size(), 1)
        << "the image goes with the bank's command byte";
}

TEST_F(Cli, ListsTheCatalogueByCategory) {
    ASSERT_EQ(run({"effects"}), CliSession::Done) << err.toStdString();
    EXPECT_TRUE(out.startsWith("Gain\n  ")) << out.toStdString();
    EXPECT_TRUE(out.contains("\nModulation\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("\n  " + Effect + "\n")) << out.toStdString();

    // One category, named in any case: its effects alone, one a line.
    ASSERT_EQ(run({"effects", "MODULATION"}), CliSession::Done) << err.toStdString();
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains(Effect)) << out.toStdString();
    EXPECT_FALSE(out.contains("Modulation") || out.contains("  ")) << out.toStdString();

    EXPECT_EQ(run({"effects", "modulatoin"}), CliSession::BadInput);
    EXPECT_TRUE(err.contains("Did you mean Modulation?")) << err.toStdString();
}

TEST_F(Cli, NamesMatchWhateverTheCaseAndANearMissIsAnswered) {
    // A letter left out, in lower case: in every catalogue the test runs with.
    const QString nearMiss = Effect.toLower().remove(2, 1);
    EXPECT_EQ(run({"upload", nearMiss}), CliSession::BadInput);
    EXPECT_TRUE(err.contains("\"" + nearMiss +
                             "\" is not an effect of the catalogue. Did you mean " + Effect + "?"))
        << err.toStdString();
    EXPECT_TRUE(pedal.writes().isEmpty()) << "nothing is sent for a name that is not known";

    ASSERT_EQ(run({"upload", Effect.toUpper()}), CliSession::Done) << err.toStdString();
    ASSERT_EQ(run({"set", "depth", "300"}), CliSession::Done) << err.toStdString();
    EXPECT_EQ(out, "Depth = 300\n");
    EXPECT_EQ(status("values").split(',').value(1), "300");

    EXPECT_EQ(run({"set", "dpeth", "300"}), CliSession::BadInput);
    EXPECT_TRUE(err.contains("has no parameter \"dpeth\". Did you mean Depth?"))
        << err.toStdString();
}

struct RefusalCase {
    const char* name;
    QStringList arguments;
    int code;
    const char* says;
};
void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class CliRefusal : public Cli, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(CliRefusal, SaysWhyWithItsExitCode) {
    ASSERT_EQ(run({"upload", Effect}), CliSession::Done);
    pedal.clearWrites();
    EXPECT_EQ(run(GetParam().arguments), GetParam().code) << err.toStdString();
    EXPECT_TRUE(err.contains(GetParam().says)) << err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliRefusal,
    ::testing::Values(
        RefusalCase{"NoCommand", {}, CliSession::Usage, "No command given"},
        RefusalCase{"UnknownCommand", {"erase"}, CliSession::Usage, "Unknown command"},
        RefusalCase{"BadBank",
                    {"upload", "Wobblecat Trem", "--bank", "IV"},
                    CliSession::Usage,
                    "I, II or III"},
        RefusalCase{"UnknownEffect",
                    {"upload", "No Such Effect"},
                    CliSession::BadInput,
                    "not an effect of the catalogue"},
        RefusalCase{"UnknownParameter",
                    {"set", "Loudness", "3"},
                    CliSession::BadInput,
                    "has no parameter \"Loudness\""},
        RefusalCase{
            "LevelOutOfRange", {"set", "1", "2000"}, CliSession::BadInput, "is no value for"},
        RefusalCase{"BadEeprom", {"dump-eeprom", "52", "x.bin"}, CliSession::Usage, "50 or 51"},
        RefusalCase{
            "UnknownFirmware", {"firmware", "Firmware_9"}, CliSession::BadInput, "Firmware_1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Cli, ASilentPedalIsReportedWithinTheTimeLimit) {
    pedal.command("fault silent on");
    EXPECT_EQ(run({"stored"}), CliSession::PedalFailed);
    EXPECT_TRUE(err.startsWith("The pedal did not answer")) << err.toStdString();
    EXPECT_LT(clock.elapsedMs(), 10000);
}

TEST_F(Cli, DumpsAnEepromToAFile) {
    QTemporaryDir folder;
    const QString path = folder.filePath("51.bin");
    ASSERT_EQ(run({"dump-eeprom", "51", path}), CliSession::Done) << err.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toHex().toUpper(), pedal.command("eeprom 51 hex").toLatin1());
}

TEST_F(Cli, WritesFirmwareOnlyAfterThePlayerHoldsB2) {
    answer.reset(); // the input ends: the player cancels
    EXPECT_EQ(run({"firmware", "Firmware_2"}), CliSession::Cancelled);
    EXPECT_EQ(pedal.writes(), QStringList({"0D01", "0D00", "0A0000"}))
        << "only the bypass, undone, and Live off as the link ends";

    answer = QString();
    pedal.command("save-button down");
    ASSERT_EQ(run({"firmware", "firmware_2"}), CliSession::Done) << err.toStdString();
    EXPECT_TRUE(out.contains("Firmware Upgrade Complete")) << out.toStdString();
    EXPECT_EQ(status("firmware"), "2");
    EXPECT_EQ(status("mode"), "app");
}

// The player answers at once, and the bytes take their time on the line:
// the pedal still settles in bypass before it is told to restart.
TEST_F(Cli, FirmwareAnsweredAtOnceOnATimedLineSucceeds) {
    clock.onTimeChange([this](qint64 ms) { pedal.setClock(ms); });
    pedal.command("timing on");
    pedal.command("save-button down");
    ASSERT_EQ(run({"firmware", "Firmware_2"}), CliSession::Done) << err.toStdString();
    EXPECT_EQ(status("firmware"), "2");
    clock.onTimeChange({});
}

TEST_F(Cli, AFailedHandshakeWritesNothingAndSaysHowToTryAgain) {
    // B2 is not held: the pedal never restarts into its bootloader.
    EXPECT_EQ(run({"firmware", "Firmware_1"}), CliSession::PedalFailed);
    EXPECT_TRUE(err.contains("Connection to bootloader failed")) << err.toStdString();
    EXPECT_EQ(status("mode"), "app");
    EXPECT_EQ(status("firmware"), "3");
}

// The program as a script runs it: its own process, its own virtual pedal
// (started from a state file), its exit code and its two streams.
TEST(CliProgram, RunsAsAScriptWould) {
    QTemporaryDir folder;
    const QString state = folder.filePath("pedal.state");
    {
        QFile file(state);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("firmware=2\n");
    }
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KESTRA_D2XX_LIBRARY", virtualD2xxPath());
    environment.insert("KESTRA_PEDAL_STATE", state);
    process.setProcessEnvironment(environment);

    process.start(QStringLiteral(KESTRA_CLI_PATH), {"stored"});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(process.readAllStandardOutput(), "firmware: 2\nNo effect found on pedal\n");

    process.start(QStringLiteral(KESTRA_CLI_PATH), {"--help"});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().startsWith("Usage: kestra-cli COMMAND"));
}

} // namespace
} // namespace kestra::test
