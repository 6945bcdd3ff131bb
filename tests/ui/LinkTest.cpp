// Linking and unlinking the virtual pedal through the real run-time binding,
// and the cable moving at any moment.
#include "EditorFixture.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QTest>

namespace kestra::test {
namespace {

using State = Connection::State;

// The Connection menu and the buttons that only a linked pedal enables.
struct LinkControls {
    bool scan, link, unlink, getStored, midi;
    bool operator==(const LinkControls&) const = default;
};

class LinkTest : public EditorFixture {
protected:
    LinkControls controls() {
        return {action("Scan")->isEnabled(), action("Link")->isEnabled(),
                action("Unlink")->isEnabled(), button("Get FX Stored on Pedal")->isEnabled(),
                action("MIDI")->isEnabled()};
    }
    static constexpr LinkControls Unlinked{true, true, false, false, false};
    static constexpr LinkControls Linked{false, false, true, true, true};
};

// The player sees the main window first: the other windows are made and the
// pedals listed once it has been painted, not before.
TEST_F(LinkTest, TheMainWindowIsPaintedBeforeThePedalsAreListed) {
    editor.reset();
    editor = std::make_unique<EditorApplication>(false);
    main = &editor->mainWindow();
    const auto firmwareWindowMade = [] {
        const QWidgetList windows = QApplication::topLevelWidgets();
        return std::any_of(windows.begin(), windows.end(), [](const QWidget* window) {
            return window->objectName() == "firmwareWindow";
        });
    };
    editor->show();
    EXPECT_EQ(deviceLabel(), "Device Name: ");
    EXPECT_FALSE(firmwareWindowMade());
    for (int turn = 0; turn < 20 && deviceLabel() != "Kestra"; ++turn)
        QCoreApplication::processEvents();
    EXPECT_EQ(deviceLabel(), "Kestra");
    EXPECT_TRUE(firmwareWindowMade());
    EXPECT_TRUE(action("Show Pedal"));
}

TEST_F(LinkTest, StartsUnlinkedWithTheProbedDeviceAndSendsNothing) {
    EXPECT_EQ(main->windowTitle(), "Kestra Editor");
    EXPECT_EQ(deviceLabel(), "Kestra");
    EXPECT_TRUE(action("Device Serial: KS000001"));
    EXPECT_EQ(controls(), Unlinked);
    EXPECT_EQ(waitingTimers(), 0) << "nothing polls and no update check runs in tests";
    EXPECT_TRUE(pedal.writes().isEmpty());
}

TEST_F(LinkTest, LinkSetsTheLineAsksForTheStoredEffectAndUnlinkSwitchesLiveOff) {
    link();
    EXPECT_EQ(connection().state(), State::Linked);
    EXPECT_EQ(deviceLabel(), "Kestra linked");
    EXPECT_EQ(pedalStatus("line"), "115200 8N1");
    EXPECT_EQ(pedalStatus("latency"), QString::number(Connection::LatencyTimerMs));
    EXPECT_EQ(pedal.writes(), QStringList({"0600"}));
    // The virtual pedal starts with an empty store.
    EXPECT_TRUE(statusLabel().startsWith("No effect found on pedal"))
        << statusLabel().toStdString();
    EXPECT_TRUE(action("Firmware Version: 3"));
    EXPECT_EQ(controls(), Linked);

    pedal.clearWrites();
    unlink();
    EXPECT_EQ(connection().state(), State::Unlinked);
    EXPECT_EQ(deviceLabel(), "Kestra");
    EXPECT_EQ(pedal.writes(), QStringList({"0A0000"}));
    EXPECT_EQ(pedalStatus("open"), "no");
    EXPECT_EQ(controls(), Unlinked);
    EXPECT_EQ(waitingTimers(), 0) << "polling stops with the link";

    // A second link starts again from the unlinked state.
    link();
    EXPECT_EQ(deviceLabel(), "Kestra linked");
}

TEST_F(LinkTest, UnlinkWithLiveOnSendsLiveOffOnce) {
    link();
    auto* live = control<ToggleSwitch>(main, "Live OFF");
    live->setEnabled(true);
    live->parentWidget()->setEnabled(true);
    live->click();
    EXPECT_TRUE(clock.runUntil([this] { return pedalStatus("live") == "1"; }, 100));
    pedal.clearWrites();
    unlink();
    EXPECT_EQ(pedal.writes(), QStringList({"0A0000"}));
    EXPECT_FALSE(live->isChecked());
    EXPECT_EQ(live->accessibleName(), "Live OFF");
}

struct FailedLinkCase {
    const char* name;
    const char* pedalCommand;
    const char* says;
};
void PrintTo(const FailedLinkCase& c, std::ostream* os) {
    *os << c.name;
}

class FailedLink : public LinkTest, public ::testing::WithParamInterface<FailedLinkCase> {};

// Right after start the editor used to fail silently.
TEST_P(FailedLink, SaysWhyAndChangesNothing) {
    pedal.command(GetParam().pedalCommand);
    trigger("Link");
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(GetParam().says)) << dialogs.errors[0].toStdString();
    EXPECT_EQ(connection().state(), State::Unlinked);
    EXPECT_EQ(deviceLabel(), "Kestra");
    EXPECT_EQ(controls(), Unlinked);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailedLink,
    ::testing::Values(FailedLinkCase{"Unplugged", "fault unplug", "was not found"},
                      // Of two adapters the first stands for one another program
                      // holds; the editor probed it alone at start.
                      FailedLinkCase{"InUse", "devices 2", "in use by another"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkTest, ScanShowsEachDeviceAndNoDevice) {
    trigger("Scan");
    EXPECT_EQ(statusLabel(), "Kestra found, click Link");
    EXPECT_EQ(deviceLabel(), "Kestra") << "the pedal, not its USB bridge";
    EXPECT_TRUE(log().contains("FT device count: 1"));
    EXPECT_TRUE(log().contains("FT_Device_String: KS000001"));

    dialogs.clear();
    pedal.command("devices 0");
    trigger("Scan");
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].startsWith("No device found\n\n")) << "then what to check";
    EXPECT_EQ(deviceLabel(), "No device found");
}

TEST_F(LinkTest, ASilentPedalEndsTheLinksWaitWithAMessageAndTheLinkUsable) {
    pedal.command("fault silent on");
    link();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("The pedal did not answer"));
    EXPECT_EQ(connection().state(), State::Linked);
    EXPECT_LT(clock.elapsedMs(), 10000) << "the wait is bounded";
}

TEST_F(LinkTest, UnlinkDuringTheLinksWaitLeavesNothingBehind) {
    pedal.command("fault silent on");
    trigger("Link");
    clock.advance(500);
    EXPECT_EQ(connection().state(), State::Linking);
    EXPECT_TRUE(action("Unlink")->isEnabled()) << "a hanging wait can be ended";
    unlink();
    clock.advance(10000);
    EXPECT_EQ(connection().state(), State::Unlinked);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << "the player unlinked: nothing did not answer";
    EXPECT_EQ(controls(), Unlinked);
    EXPECT_FALSE(action("Mode")->isEnabled());
    EXPECT_EQ(waitingTimers(), 0);
}

TEST_F(LinkTest, AnUnplugIsOneMessageAndAReplugLinksWithoutARestart) {
    link();
    dialogs.clear();
    pedal.command("fault unplug");
    clock.advance(100);
    EXPECT_EQ(connection().state(), State::Lost);
    EXPECT_EQ(dialogs.errors,
              QStringList({"The pedal was disconnected. Reconnect it and choose Link."}));
    EXPECT_EQ(deviceLabel(), "Kestra");
    EXPECT_EQ(controls(), Unlinked);
    clock.advance(5000);
    EXPECT_EQ(dialogs.errors.size(), 1) << "one message, not one per call";

    pedal.command("fault replug");
    dialogs.clear();
    link();
    EXPECT_EQ(connection().state(), State::Linked);
    EXPECT_TRUE(statusLabel().startsWith("No effect found on pedal"))
        << statusLabel().toStdString();
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(LinkTest, ClosingTheMainWindowSendsLiveOffToALinkedPedal) {
    link();
    pedal.clearWrites();
    main->close();
    EXPECT_EQ(pedal.writes(), QStringList({"0A0000"}));
}

TEST_F(LinkTest, ClosingAfterUnlinkWritesAndShowsNothing) {
    link();
    unlink();
    pedal.clearWrites();
    dialogs.clear();
    main->close();
    EXPECT_TRUE(pedal.writes().isEmpty());
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

class TwoDevices : public LinkTest {
    void prepare() override {
        pedal.command("devices 2");
        pedal.command("device 0 FIRST01 Other Bridge");
        pedal.command("device 1 KS000001 FT230X Basic UART");
    }
};

TEST_F(TwoDevices, ProbeAppendsBothSerialsAndScanAsksWhichToLink) {
    EXPECT_TRUE(action("Device Serial: FIRST01KS000001"));
    EXPECT_EQ(deviceLabel(), "Kestra");
    dialogs.choices = {1};
    trigger("Scan");
    EXPECT_TRUE(dialogs.messages.isEmpty());
    ASSERT_EQ(dialogs.choiceOptions.size(), 1);
    EXPECT_EQ(dialogs.choiceOptions[0], QStringList({"Other Bridge, serial number FIRST01",
                                                     "Kestra, serial number KS000001"}));
    link();
    EXPECT_EQ(connection().state(), State::Linked);
}

class NoDriver : public ::testing::Test {
protected:
    void SetUp() override {
        setDocumentsFolder(documents.path());
        setMakerSite(QStringLiteral("http://127.0.0.1:1"));
    }
    void TearDown() override {
        setDocumentsFolder(QString());
        setMakerSite(QString());
    }
    QTemporaryDir documents;
    TestClock clock;
    TestDialogs dialogs;
};

TEST_F(NoDriver, EditorStartsAndLinkAndScanExplainTheMissingDriver) {
    qputenv("KESTRA_D2XX_LIBRARY", "/nonexistent/libftd2xx.so");
    EditorApplication editor(false);
    editor.completeStartup();
    MainWindow& m = editor.mainWindow();
    EXPECT_EQ(m.findChild<QLabel*>("deviceName")->text(), "Device Name: ");
    for (QAction* a : m.menuBar()->findChildren<QAction*>())
        if (a->text() == "Link" || a->text() == "Scan")
            a->trigger();
    ASSERT_EQ(dialogs.errors.size(), 2);
    EXPECT_TRUE(dialogs.errors[0].contains("FTDI D2XX driver is not installed"));
    EXPECT_EQ(editor.connection().state(), State::Unlinked);
}

TEST_F(LinkTest, CtrlShiftPShowsTheDebugConsole) {
    main->show();
    EXPECT_FALSE(editor->console().isVisible());
    QTest::keyClick(main, Qt::Key_P, Qt::ControlModifier);
    EXPECT_FALSE(editor->console().isVisible());
    QTest::keyClick(main, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(editor->console().isVisible());
}

// The status bar always tells which pedal the editor talks to and how,
// through every turn of the link.
TEST_F(LinkTest, TheLinkIndicatorFollowsDeviceFirmwareAndState) {
    auto indicator = [this] { return main->findChild<QLabel*>("linkIndicator")->text(); };
    EXPECT_EQ(indicator(), "Kestra, serial KS000001, unlinked");
    link();
    EXPECT_EQ(indicator(), "Kestra, serial KS000001, firmware 3, linked");

    pedal.command("fault unplug");
    clock.advance(100);
    EXPECT_EQ(indicator(), "Kestra, serial KS000001, firmware 3, lost");
    pedal.command("fault replug");
    link();
    EXPECT_EQ(indicator(), "Kestra, serial KS000001, firmware 3, linked");

    pedal.command("save-button down");
    trigger("Upgrade Mode");
    settle();
    ASSERT_EQ(connection().state(), State::Bootloader);
    EXPECT_EQ(indicator(), "Kestra, serial KS000001, firmware 3, bootloader");
}

} // namespace
} // namespace kestra::test
