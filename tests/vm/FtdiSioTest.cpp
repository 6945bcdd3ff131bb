// kestra-cli and the editor on the kernel's own FTDI driver: one virtual
// machine boots for all of these checks, its ftdi_sio driver bound to QEMU's
// FTDI converter, whose other end is kestra-pedal-sim's terminal here. What
// a pseudo-terminal cannot show shows here: the driver's sysfs latency
// timer and its permissions, parity on the line, the device as udev and Qt
// Serial Port see it, writes that reach the line in the driver's bursts, a
// device that disappears with the cable and comes back as a new one.
#include "catalogue/Catalogue.h"
#include "catalogue/ResourceNames.h"
#include "catalogue/Upload.h"
#include "tests/support/PtyPedal.h"
#include "tests/vm/VirtualMachine.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestra::test {
namespace {

const QString Effect = QStringLiteral("Wobblecat Trem");
const QString Serial = QStringLiteral("KESTRA-VM-1");
const QString Cli = QStringLiteral(KESTRA_CLI_PATH " --port /dev/ttyUSB0");
const QString Converter = QStringLiteral("/sys/bus/usb-serial/devices/ttyUSB0");
const QString Latency = Converter + "/latency_timer";

class FtdiSio : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sim = new PtyPedal;
        if (sim->path().isEmpty())
            return; // a failure, not a machine that cannot start
        // The package's rule, for the converter's product ID rather than the
        // FT230X's, so that it acts on this converter as on the pedal.
        QFile rule(QStringLiteral(KESTRA_UDEV_RULE));
        if (!rule.open(QIODevice::ReadOnly))
            ADD_FAILURE() << "no " << KESTRA_UDEV_RULE;
        const QString kernel = QStringLiteral(KESTRA_VM_KERNEL_DIR);
        vm = new VirtualMachine(
            {kernel,
             sim->path(),
             Serial,
             kernel + "/udev",
             {{QStringLiteral("70-kestra.rules"), rule.readAll().replace("6015", "6001")}}});
        QElapsedTimer boot;
        boot.start();
        if (!vm->start(240000)) {
            if (!vm->unavailable().isEmpty())
                std::printf("Virtual machine tests skipped, QEMU cannot start: %s\n",
                            qPrintable(vm->unavailable()));
            return;
        }
        std::printf("The virtual machine took %.1f s to boot\n", boot.elapsed() / 1000.0);
    }
    static void TearDownTestSuite() {
        delete vm;
        delete sim;
        vm = nullptr;
        sim = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(vm) << "kestra-pedal-sim did not start";
        if (!vm->unavailable().isEmpty())
            GTEST_SKIP() << "QEMU cannot start: " << vm->unavailable().toStdString();
        ASSERT_TRUE(vm->failure().isEmpty()) << vm->failure().toStdString();
        // The pedal's bytes at line time. QEMU's converter keeps no latency
        // timer: the pedal's bridge holds the editor's 4 ms instead.
        sim->command("reset");
        sim->command("timing on");
        sim->command("latency 4");
        // The converter keeps the driver's setting from one check to the next.
        ASSERT_TRUE(guest("echo 16 >" + Latency).ok());
    }
    void TearDown() override {
        if (!vm || !HasFailure())
            return;
        std::printf("The guest's kernel said:\n%s\n", qPrintable(vm->console()));
        std::printf("The pedal got:\n%s\nIts bootloader read:\n%s\n%s\n",
                    qPrintable(sim->writes().join('\n')),
                    qPrintable(sim->command("bootloader-writes")),
                    qPrintable(sim->command("status")));
    }

    // A command line in the guest; its output is shown when it fails.
    static GuestResult guest(const QString& command, int timeLimitMs = 120000) {
        GuestResult result = vm->run(command, timeLimitMs);
        if (!result.ok())
            std::printf("$ %s\n%s[exit %s]\n", qPrintable(command), qPrintable(result.output),
                        result.exitCode ? qPrintable(QString::number(*result.exitCode))
                                        : "none: time limit");
        return result;
    }
    // kestra-cli with arguments; input is what it reads (Enter, for the
    // firmware upgrade's question).
    static QString cli(const QString& arguments, int expectedCode = 0, const QString& input = {}) {
        const QString line = Cli + QLatin1Char(' ') + arguments + " 2>&1";
        const GuestResult result =
            guest(input.isEmpty() ? line : "printf '" + input + "' | " + line);
        EXPECT_EQ(result.exitCode, expectedCode) << arguments.toStdString();
        return result.output;
    }
    // One check of the editor's, run in the guest.
    static void editorCheck(const QString& name) {
        const GuestResult result =
            guest(QStringLiteral("KESTRA_VM_SERIAL=%1 %2 --gtest_filter=%3")
                      .arg(Serial, QStringLiteral(KESTRA_VM_GUEST_EDITOR), name));
        EXPECT_TRUE(result.ok()) << name.toStdString();
    }
    // What the pedal holds in its preset slot, in hex.
    static QString storedImage() {
        QTemporaryDir folder;
        const QString path = folder.filePath("state");
        sim->command("state save " + path);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.startsWith("image.preset="))
                return QString::fromLatin1(line.mid(13));
        return {};
    }
    // The image an upload of the effect sends after its command byte.
    static QString effectImage() {
        QString error;
        UploadRequest upload;
        upload.effectName = Effect;
        const std::optional<QString> frame = composeUploadImage(upload, Catalogue(), &error);
        EXPECT_TRUE(frame) << error.toStdString();
        return frame ? frame->mid(2).toUpper() : QString();
    }
    static bool haveEffect() {
        return ResourceStore::compiled().contains(format_resource_name(Effect));
    }

    static PtyPedal* sim;
    static VirtualMachine* vm;
};

PtyPedal* FtdiSio::sim = nullptr;
VirtualMachine* FtdiSio::vm = nullptr;

TEST_F(FtdiSio, TheDriverBindsTheConverterAndThePedalsSearchLeavesItAlone) {
    const GuestResult driver = guest("readlink " + Converter + "/driver");
    EXPECT_TRUE(driver.output.trimmed().endsWith("/ftdi_sio")) << driver.output.toStdString();
    // Without --port the search looks for the pedal's FT230X only.
    const GuestResult search = guest(KESTRA_CLI_PATH " devices 2>&1");
    EXPECT_EQ(search.exitCode, 2);
    EXPECT_TRUE(search.output.contains("0403:6015")) << search.output.toStdString();
    editorCheck("GuestSearch.*");
}

TEST_F(FtdiSio, KestraCliLinksUploadsRequestsAndDumpsAnEeprom) {
    if (!haveEffect())
        GTEST_SKIP() << "the catalogue has no " << Effect.toStdString();
    EXPECT_EQ(cli("stored"), "firmware: 3\nNo effect found on pedal\n");
    EXPECT_EQ(sim->status("line"), "115200 8N1");

    EXPECT_EQ(cli("upload '" + Effect + "'"), "Upload complete\n");
    EXPECT_EQ(storedImage(), effectImage()) << "the whole image came through the driver";

    cli("set 1 512");
    const QString request = cli("request");
    EXPECT_TRUE(request.startsWith(Effect + " v")) << request.toStdString();
    EXPECT_TRUE(request.contains(" = 512\n")) << request.toStdString();

    cli("dump-eeprom 50 \"$TMPDIR/50.bin\"");
    const GuestResult dump = guest("od -An -v -tx1 \"$TMPDIR/50.bin\" | tr -d ' \\n'");
    EXPECT_EQ(dump.output.toUpper(), sim->command("eeprom 50 hex"))
        << "all 16,384 bytes came through the driver";
}

TEST_F(FtdiSio, KestraCliUpgradesTheFirmwareAndVerifiesIt) {
    sim->command("latency 2"); // the upgrade's own, which QEMU's converter keeps no more
    sim->command("save-button down");
    const QString upgrade = cli("firmware Firmware_2", 0, "\\n\\n");
    EXPECT_TRUE(upgrade.contains("Firmware Upgrade Complete")) << upgrade.toStdString();
    EXPECT_EQ(sim->status("firmware"), "2");
    EXPECT_EQ(sim->status("mode"), "app");
    EXPECT_EQ(guest("cat " + Latency).output.trimmed(), "4") << "the upgrade's 2 ms undone";
    sim->command("save-button up");
    EXPECT_TRUE(cli("stored").startsWith("firmware: 2\n")) << "the application is back at 8N1";

    // A cell that did not program is found by the read-back.
    sim->command("save-button down");
    sim->command("fault corrupt 0x08000400");
    const QString corrupt = cli("firmware Firmware_3", 3, "\\n\\n");
    EXPECT_TRUE(corrupt.contains("the flash read back differs at address 08000400"))
        << corrupt.toStdString();
}

// The driver keeps the bridge's latency timer in a sysfs attribute that only
// root may write. The package's udev rule sets it when the pedal is plugged
// in; where that rule is missing, the editor's own write sets it when it runs
// as root, and otherwise is refused: the driver's 16 ms stay and the link
// works as before, only more slowly.
TEST_F(FtdiSio, TheLatencyTimerIsSetThroughSysfsWhereThatIsAllowed) {
    const QString user = "chroot --userspec=nobody:nogroup / " + Cli + " stored 2>&1";
    const QString stored = "firmware: 3\nNo effect found on pedal\n";
    ASSERT_TRUE(guest("udevadm trigger --action=add --settle " + Converter).ok());
    ASSERT_TRUE(guest("chmod 666 /dev/ttyUSB0").ok()) << "the access the rule gives the seat";
    EXPECT_EQ(guest("cat " + Latency).output.trimmed(), "4") << "the rule, at plug-in";
    EXPECT_EQ(guest(user).output, stored);
    EXPECT_EQ(guest("cat " + Latency).output.trimmed(), "4");

    ASSERT_TRUE(guest("echo 16 >" + Latency).ok()) << "as without the rule";
    EXPECT_EQ(guest(user).output, stored) << "the write refused, the link works";
    EXPECT_EQ(guest("cat " + Latency).output.trimmed(), "16") << "the driver's stays";
    EXPECT_EQ(cli("stored"), stored);
    EXPECT_EQ(guest("cat " + Latency).output.trimmed(), "4") << "root may write it";
    guest("chmod 660 /dev/ttyUSB0");
}

TEST_F(FtdiSio, TheEditorLinksUploadsAndReadsBackAnUploadFollowedAtOnceByGetStored) {
    if (!haveEffect())
        GTEST_SKIP() << "the catalogue has no " << Effect.toStdString();
    editorCheck("GuestEditor.ScansLinksUploadsReadsBackAndRequests");
    EXPECT_EQ(storedImage(), effectImage())
        << "Get FX Stored on Pedal's purge cut the upload short";
}

TEST_F(FtdiSio, KestraCliUnpluggedDuringADumpSaysDisconnectedOnce) {
    // The dump takes its line time, so the cable comes out while it flows.
    vm->begin(Cli + " dump-eeprom 50 \"$TMPDIR/cut.bin\" 2>&1");
    QElapsedTimer waited;
    waited.start();
    auto dumpAsked = [] {
        const QStringList writes = sim->writes();
        return std::any_of(writes.begin(), writes.end(),
                           [](const QString& w) { return w.startsWith("0C50"); });
    };
    while (!dumpAsked() && waited.elapsed() < 60000)
        waitForEvents(20);
    ASSERT_TRUE(dumpAsked()) << sim->writes().join(' ').toStdString()
                             << vm->end(1000).output.toStdString();
    EXPECT_TRUE(sim->status("pending-bytes") != "0") << "the dump is on its way";
    ASSERT_TRUE(vm->unplug()) << vm->monitorFailure().toStdString();
    const GuestResult cut = vm->end(60000);
    EXPECT_EQ(cut.exitCode, 3) << cut.output.toStdString();
    EXPECT_EQ(cut.output.count("disconnected"), 1) << cut.output.toStdString();
    EXPECT_TRUE(cut.output.startsWith("The pedal was disconnected")) << cut.output.toStdString();

    ASSERT_TRUE(vm->replug()) << vm->monitorFailure().toStdString();
    ASSERT_TRUE(guest("udevadm wait --timeout=60 --settle /dev/ttyUSB0").ok());
    // The unpowered bridge would have lost what the pedal sent meanwhile;
    // kestra-pedal-sim's terminal keeps it, so the guest reads it away.
    waited.restart();
    while (sim->status("pending-bytes") != "0" && waited.elapsed() < 30000)
        waitForEvents(20);
    guest("timeout 2 cat /dev/ttyUSB0 >/dev/null; true");
    EXPECT_EQ(cli("stored"), "firmware: 3\nNo effect found on pedal\n");
}

TEST_F(FtdiSio, TheEditorUnpluggedMidOperationLinksAgainAfterTheReplug) {
    if (!haveEffect())
        GTEST_SKIP() << "the catalogue has no " << Effect.toStdString();
    sim->command("fault silent on");
    vm->begin(QStringLiteral("%1 --gtest_filter=GuestEditor.AnUnplugMid*")
                  .arg(QStringLiteral(KESTRA_VM_GUEST_EDITOR)));
    ASSERT_TRUE(vm->waitForOutput("vm: unplug", 120000)) << vm->end(1000).output.toStdString();
    ASSERT_TRUE(vm->unplug()) << vm->monitorFailure().toStdString();
    ASSERT_TRUE(vm->waitForOutput("vm: replug", 120000)) << vm->end(1000).output.toStdString();
    sim->command("fault silent off");
    ASSERT_TRUE(vm->replug()) << vm->monitorFailure().toStdString();
    const GuestResult result = vm->end(120000);
    EXPECT_TRUE(result.ok()) << result.output.toStdString();
}

} // namespace
} // namespace kestra::test

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
