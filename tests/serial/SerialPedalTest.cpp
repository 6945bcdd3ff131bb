// The editor's connection and kestra-cli's commands over the serial backend,
// end to end: kestra-pedal-sim's pseudo-terminal stands where /dev/ttyUSB0
// would, so every byte goes through a real device file and the kernel.
#include "app/EditorApplication.h"
#include "catalogue/Catalogue.h"
#include "catalogue/ResourceNames.h"
#include "catalogue/ResourceStore.h"
#include "cli/CliSession.h"
#include "core/MakerSite.h"
#include "core/UserFolders.h"
#include "port/SerialPort.h"
#include "tests/support/PtyPedal.h"
#include "tests/support/StatusLine.h"
#include "tests/support/TestDialogs.h"

#include <QAbstractButton>
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestra::test {
namespace {

const QString Effect = QStringLiteral("Wobblecat Trem");

class SerialCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(sim.path().isEmpty());
        if (!ResourceStore::compiled().contains(format_resource_name(Effect)))
            GTEST_SKIP() << "the catalogue has no " << Effect.toStdString();
    }

    // Runs one command to its end on a new connection, as kestra-cli does;
    // the exit code.
    int run(const QStringList& arguments, const std::function<void(Connection&)>& meanwhile = {}) {
        out.clear();
        err.clear();
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        Connection connection(port);
        CliSession session(connection, outStream, errStream, [this]() -> std::optional<QString> {
            // The player takes a moment to hold B2 and press Enter.
            runPaced(
                clock, [] { return false; }, 50);
            return QString();
        });
        std::optional<int> code;
        QObject::connect(&session, &CliSession::finished, [&code](int c) { code = c; });
        session.start(arguments);
        if (meanwhile)
            meanwhile(connection);
        EXPECT_TRUE(runPaced(clock, [&code] { return code.has_value(); })) << "never ended";
        outStream.flush();
        errStream.flush();
        return code.value_or(-1);
    }

    TestClock clock;
    PtyPedal sim;
    SerialPort port{sim.path()};
    QString out;
    QString err;
};

TEST_F(SerialCli, LinksUploadsRequestsAndDumpsAnEeprom) {
    ASSERT_EQ(run({"stored"}), CliSession::Done) << err.toStdString();
    EXPECT_EQ(out, "firmware: 3\nNo effect found on pedal\n");
    EXPECT_EQ(sim.status("line"), "115200 8N1");

    ASSERT_EQ(run({"upload", Effect}), CliSession::Done) << err.toStdString();
    EXPECT_EQ(out, "Upload complete\n");
    EXPECT_EQ(sim.status("effect.slot"), "preset");

    ASSERT_EQ(run({"set", "1", "512"}), CliSession::Done) << err.toStdString();
    ASSERT_EQ(run({"request"}), CliSession::Done) << err.toStdString();
    EXPECT_TRUE(out.startsWith(Effect + " v")) << out.toStdString();
    EXPECT_TRUE(out.contains(" = 512\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("MIDI channel: OMNI")) << out.toStdString();

    QTemporaryDir folder;
    const QString path = folder.filePath("50.bin");
    ASSERT_EQ(run({"dump-eeprom", "50", path}), CliSession::Done) << err.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toHex().toUpper(), sim.command("eeprom 50 hex").toLatin1())
        << "all 16,384 bytes came through the terminal";
}

TEST_F(SerialCli, UpgradesTheFirmwareThroughTheBootloader) {
    // A terminal cannot set the bridge's latency timer; at the 16 ms it opens
    // with, the thousand single-byte answers would take as many periods.
    sim.command("latency 2");
    sim.command("save-button down");
    ASSERT_EQ(run({"firmware", "Firmware_2"}), CliSession::Done) << err.toStdString();
    EXPECT_TRUE(out.contains("Firmware Upgrade Complete")) << out.toStdString();
    EXPECT_EQ(sim.status("firmware"), "2");
    EXPECT_EQ(sim.status("mode"), "app");

    sim.command("save-button up");
    ASSERT_EQ(run({"stored"}), CliSession::Done) << err.toStdString();
    EXPECT_TRUE(out.startsWith("firmware: 2\n")) << "the application is back at 8N1";
}

TEST_F(SerialCli, ADeviceThatGoesAwayDuringAWaitEndsTheCommandAtOnce) {
    sim.command("fault silent on");
    const int code = run({"stored"}, [this](Connection&) {
        runPaced(
            clock, [] { return false; }, 200);
        sim.stop();
    });
    EXPECT_EQ(code, CliSession::PedalFailed);
    EXPECT_TRUE(err.startsWith("The pedal was disconnected")) << err.toStdString();
    EXPECT_LT(clock.elapsedMs(), 2000) << "not the reply's time limit";
}

// The editor itself, started with --port on the terminal.
class SerialEditor : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(sim.path().isEmpty());
        setDocumentsFolder(documents.path());
        setMakerSite(QStringLiteral("http://127.0.0.1:1"));
        editor = std::make_unique<EditorApplication>(false, BackendOptions{false, sim.path()});
        editor->completeStartup();
    }
    void TearDown() override {
        editor.reset();
        setDocumentsFolder(QString());
        setMakerSite(QString());
    }
    QAction* action(const QString& text) {
        for (QAction* a : editor->mainWindow().menuBar()->findChildren<QAction*>())
            if (a->text() == text)
                return a;
        ADD_FAILURE() << "no menu entry " << text.toStdString();
        return nullptr;
    }

    QTemporaryDir documents;
    TestClock clock;
    TestDialogs dialogs;
    PtyPedal sim;
    std::unique_ptr<EditorApplication> editor;
};

TEST_F(SerialEditor, ScansLinksAndReadsThePedalOverTheTerminal) {
    ASSERT_TRUE(action("Connection: Serial port (" + sim.path() + ")"));
    action("Scan")->trigger();
    EXPECT_EQ(statusLine(editor->mainWindow()), sim.path() + " found, click Link");
    dialogs.clear();
    action("Link")->trigger();
    Connection& connection = editor->connection();
    EXPECT_TRUE(runPaced(clock, [&] { return connection.operation().isEmpty(); }));
    EXPECT_EQ(connection.state(), Connection::State::Linked);
    EXPECT_TRUE(statusLine(editor->mainWindow()).startsWith("No effect found on pedal"));
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_TRUE(action("Firmware Version: 3"));
    EXPECT_FALSE(action("Use Virtual Pedal")->isEnabled());

    action("Unlink")->trigger();
    EXPECT_EQ(connection.state(), Connection::State::Unlinked);
    // The simulator takes a write as ended after 5 ms of quiet.
    runPaced(
        clock, [] { return false; }, 50);
    EXPECT_EQ(sim.writes(), QStringList({"0600", "0A0000"}));
}

// An upload over the terminal takes most of a second. Whatever the player
// does the moment the editor lets them, the image reaches the pedal whole,
// as one frame, and the follow-up comes as a frame of its own.
struct TerminalFollowUp {
    const char* name;
    const char* action; // a button, a menu entry, or "close"
    const char* frame;
};

void PrintTo(const TerminalFollowUp& f, std::ostream* os) {
    *os << f.name;
}

class SerialUploadThen : public SerialEditor,
                         public ::testing::WithParamInterface<TerminalFollowUp> {
protected:
    template <typename W>
    W* named(const QString& name) {
        for (W* w : editor->mainWindow().findChildren<W*>())
            if (w->accessibleName() == name)
                return w;
        ADD_FAILURE() << "no control named " << name.toStdString();
        return nullptr;
    }
    void pick(const QString& listName, const QString& entry) {
        QListWidget* list = named<QListWidget>(listName);
        ASSERT_TRUE(list);
        const auto items = list->findItems(entry, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << entry.toStdString();
        emit list->itemClicked(items[0]);
    }
    bool idle() { return editor->connection().operation().isEmpty(); }
    void upload() {
        named<QAbstractButton>("Upload Selected Effect")->click();
        ASSERT_TRUE(runPaced(clock, [this] { return idle(); }));
    }
};

TEST_P(SerialUploadThen, TheImageArrivesWhole) {
    if (!ResourceStore::compiled().contains(format_resource_name(Effect)))
        GTEST_SKIP() << "the catalogue has no " << Effect.toStdString();
    action("Edit After Upload")->trigger(); // off: the player's own steps alone
    action("Link")->trigger();
    ASSERT_TRUE(runPaced(clock, [this] { return idle(); }));
    pick("Categories", "Modulation");
    pick("Effects", Effect);
    upload();
    named<QAbstractButton>("Get FX Stored on Pedal")->click(); // Request needs its window
    ASSERT_TRUE(runPaced(clock, [this] { return idle(); }));
    sim.clearWrites();

    upload();
    const QString what = QString::fromLatin1(GetParam().action);
    if (what == "close") {
        editor->mainWindow().show();
        editor->mainWindow().close();
    } else if (what == "Unlink") {
        action("Unlink")->trigger();
    } else {
        // As soon as the editor lets the player.
        QAbstractButton* button = named<QAbstractButton>(what);
        ASSERT_TRUE(runPaced(
            clock, [button] { return button->isEnabled(); }, 5000));
        button->click();
    }
    bool closed = false;
    if (what == "close" || what == "Unlink")
        editor->connection().whenClosed([&closed] { closed = true; });
    ASSERT_TRUE(
        runPaced(clock, [&] { return what == "close" || what == "Unlink" ? closed : idle(); }));
    runPaced(
        clock, [] { return false; }, 100);

    const QStringList frames = sim.command("frames").split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(frames.size(), 3) << frames.join(' ').left(200).toStdString();
    EXPECT_EQ(frames[0], "0D01");
    EXPECT_EQ(frames[1], Catalogue().image(Effect).value_or(QString()))
        << "the image, whole and alone";
    EXPECT_EQ(frames[2], GetParam().frame);
}

INSTANTIATE_TEST_SUITE_P(FollowUps, SerialUploadThen,
                         ::testing::Values(TerminalFollowUp{"GetStored", "Get FX Stored on Pedal",
                                                            "0600"},
                                           TerminalFollowUp{"Request", "Request", "0205"},
                                           TerminalFollowUp{"Unlink", "Unlink", "0A0000"},
                                           TerminalFollowUp{"CloseTheEditor", "close", "0A0000"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kestra::test
