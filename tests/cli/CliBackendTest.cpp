// kestra-cli's --virtual and --port, as a script runs the program: the
// virtual pedal needs no library path, a state file still sets it up, and a
// wrong option is a usage error.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestra::test {
namespace {

struct CliRun {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

CliRun runCli(const QStringList& arguments, const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KESTRA_CLI_PATH), arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

TEST(CliBackendOptions, TheVirtualPedalNeedsNoLibraryPath) {
    QTemporaryDir folder;
    const QString state = folder.filePath("pedal.state");
    {
        QFile file(state);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("firmware=2\n");
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("KESTRA_D2XX_LIBRARY");
    environment.insert("KESTRA_PEDAL_STATE", state);
    environment.insert("XDG_DATA_HOME", folder.path());

    const CliRun stored = runCli({"stored", "--virtual"}, environment);
    EXPECT_EQ(stored.code, 0) << stored.err.toStdString();
    EXPECT_EQ(stored.out, "firmware: 2\nNo effect found on pedal\n");

    const CliRun devices = runCli({"--virtual", "devices"}, environment);
    EXPECT_EQ(devices.out, "KS000001\tFT230X Basic UART\n");
}

// Each run is its own process: the virtual pedal keeps what the last one
// left until a run asks for a fresh one.
TEST(CliBackendOptions, TheVirtualPedalKeepsItsStateBetweenRuns) {
    QTemporaryDir data;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("KESTRA_D2XX_LIBRARY");
    environment.remove("KESTRA_PEDAL_STATE");
    environment.insert("XDG_DATA_HOME", data.path());

    const CliRun upload = runCli({"--virtual-reset", "upload", "wobblecat trem"}, environment);
    ASSERT_EQ(upload.code, 0) << upload.err.toStdString();
    EXPECT_TRUE(QFile::exists(data.filePath("Kestra/virtual-pedal.state")));

    const CliRun set = runCli({"--virtual", "set", "1", "512"}, environment);
    EXPECT_EQ(set.code, 0) << set.err.toStdString();
    EXPECT_EQ(set.out, "Depth = 512\n");

    // Between runs the pedal is as if switched off and on again: it holds
    // its effect and what it stored, not the edits it was not told to store.
    const CliRun request = runCli({"request", "--virtual"}, environment);
    EXPECT_TRUE(request.out.startsWith("Wobblecat Trem v")) << request.out.toStdString();

    const CliRun fresh = runCli({"stored", "--virtual-reset"}, environment);
    EXPECT_EQ(fresh.code, 0) << fresh.err.toStdString();
    EXPECT_TRUE(fresh.out.contains("No effect found on pedal")) << fresh.out.toStdString();
    const CliRun after = runCli({"stored", "--virtual"}, environment);
    EXPECT_TRUE(after.out.contains("No effect found on pedal")) << after.out.toStdString();
}

TEST(CliBackendOptions, AWrongOptionIsAUsageErrorAndHelpListsThem) {
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const CliRun noPath = runCli({"stored", "--port"}, environment);
    EXPECT_EQ(noPath.code, 1);
    EXPECT_TRUE(noPath.err.startsWith("--port needs the path")) << noPath.err.toStdString();

    const CliRun both = runCli({"--virtual", "--port", "/dev/pts/9", "stored"}, environment);
    EXPECT_EQ(both.code, 1);

    const CliRun help = runCli({"help"}, environment);
    EXPECT_TRUE(help.out.contains("  --virtual ")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("  --port PATH ")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("  --virtual-reset ")) << help.out.toStdString();
}

} // namespace
} // namespace kestra::test
