#include "EditorFixture.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QGroupBox>
#include <QMenu>
#include <QTest>

namespace kestra::test {
namespace {

// The enabled states that linking and unlinking set.
struct LinkControls {
    bool scan, link, unlink, upload, request, openEffect, assign, store, midi, mode, live;
};

LinkControls controlsOf(const TformMain& m) {
    return {m.menuScan->isEnabled(),       m.menuConnect->isEnabled(),
            m.menuDisconnect->isEnabled(), m.btnUpload->isEnabled(),
            m.btnRequest->isEnabled(),     m.btnOpenEffect->isEnabled(),
            m.btnAssign->isEnabled(),      m.btnStoreSettingsOnPedal->isEnabled(),
            m.menuMIDI->isEnabled(),       m.menuMode->isEnabled(),
            m.lblLive->isEnabled()};
}

void expectControls(const TformMain& m, LinkControls e) {
    const LinkControls a = controlsOf(m);
    EXPECT_EQ(a.scan, e.scan);
    EXPECT_EQ(a.link, e.link);
    EXPECT_EQ(a.unlink, e.unlink);
    EXPECT_EQ(a.upload, e.upload);
    EXPECT_EQ(a.request, e.request);
    EXPECT_EQ(a.openEffect, e.openEffect);
    EXPECT_EQ(a.assign, e.assign);
    EXPECT_EQ(a.store, e.store);
    EXPECT_EQ(a.midi, e.midi);
    EXPECT_EQ(a.mode, e.mode);
    EXPECT_EQ(a.live, e.live);
}

using LinkTest = EditorFixture;

TEST_F(LinkTest, StartsUnlinkedWithTheProbedDevice) {
    EXPECT_EQ(main->windowTitle(), "Kestra Editor");
    EXPECT_EQ(main->lblDeviceName->text(), "Kestra");
    EXPECT_EQ(main->menuSerialNumber->text(), "Device Serial: KS000001");
    EXPECT_EQ(main->state().deviceSerialNumber, "KS000001");
    expectControls(*main,
                   {true, true, false, false, false, false, false, false, false, false, false});
    EXPECT_FALSE(main->Timer_USB_read.isActive());
    EXPECT_TRUE(pedal.writes().isEmpty()) << "nothing is sent at start";
}

TEST_F(LinkTest, LinkAsksForTheStoredEffectAndUnlinkSwitchesLiveModeOff) {
    main->menuConnectClick();
    EXPECT_TRUE(main->state().linked);
    EXPECT_EQ(main->lblDeviceName->text(), "Kestra linked");
    EXPECT_EQ(pedal.writes(), QStringList({"0600"}));
    EXPECT_TRUE(main->Timer_USB_read.isActive());
    // The virtual pedal starts with an empty store.
    EXPECT_EQ(prompts.messages, QStringList({"No effect found on pedal"}));
    EXPECT_EQ(main->menuFirmwareVersion->text(), "Firmware Version: 3");
    expectControls(*main,
                   {false, false, true, true, false, false, false, false, true, true, false});

    pedal.clearWrites();
    main->menuDisconnectClick();
    EXPECT_FALSE(main->state().linked);
    EXPECT_EQ(main->lblDeviceName->text(), "Kestra");
    EXPECT_EQ(pedal.writes(), QStringList({"0A0000"}));
    EXPECT_FALSE(main->Timer_USB_read.isActive());
    expectControls(*main,
                   {true, true, false, false, false, false, false, false, false, false, false});
    EXPECT_TRUE(pedal.command("status").contains("open=no"))
        << pedal.command("status").toStdString();

    // A second link starts again from the unlinked state.
    main->menuConnectClick();
    EXPECT_EQ(main->lblDeviceName->text(), "Kestra linked");
}

TEST_F(LinkTest, UnlinkWithLiveOnSendsLiveOffOnce) {
    main->menuConnectClick();
    main->lblLive->setEnabled(true);
    main->swLive->click();
    EXPECT_EQ(main->lblLive->text(), "Live ON");
    pedal.clearWrites();
    main->menuDisconnectClick();
    EXPECT_EQ(pedal.writes(), QStringList({"0A0000"}));
    EXPECT_FALSE(main->swLive->isChecked());
    EXPECT_EQ(main->lblLive->text(), "Live OFF");
}

TEST_F(LinkTest, FailedOpenChangesNothing) {
    pedal.command("fault unplug");
    main->menuConnectClick();
    EXPECT_FALSE(main->state().linked);
    EXPECT_EQ(main->lblDeviceName->text(), "Kestra");
    expectControls(*main,
                   {true, true, false, false, false, false, false, false, false, false, false});
    // Right after start-up transport errors are not shown yet.
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(LinkTest, ScanShowsEachDeviceAndNoDevice) {
    main->scanDevices();
    EXPECT_EQ(prompts.messages, QStringList({"FT230X Basic UART found, click Link"}));
    EXPECT_EQ(main->lblDeviceName->text(), "FT230X Basic UART");
    EXPECT_TRUE(log().contains("FT device count: 1"));
    EXPECT_TRUE(log().contains("FT_Device_String: KS000001"));

    prompts.clear();
    pedal.command("devices 0");
    main->scanDevices();
    EXPECT_EQ(prompts.messages, QStringList({"No device found"}));
    EXPECT_EQ(main->lblDeviceName->text(), "No device found");
}

TEST_F(LinkTest, SilentPedalEndsTheLinkExchangeWithAMessageAndPollingOn) {
    pedal.command("fault silent on");
    main->menuConnectClick();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].startsWith("The pedal did not answer"));
    EXPECT_TRUE(main->state().linked);
    EXPECT_TRUE(main->Timer_USB_read.isActive());
    EXPECT_LT(clock.elapsedMs(), 10000) << "the wait is bounded";
}

TEST_F(LinkTest, ClosingTheMainWindowSendsLiveOff) {
    main->menuConnectClick();
    pedal.clearWrites();
    main->close();
    EXPECT_EQ(pedal.writes(), QStringList({"0A0000"}));
}

TEST_F(LinkTest, ClosingWhileUnlinkedStillTriesAndStaysQuiet) {
    main->close();
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_TRUE(pedal.writes().isEmpty());
}

class TwoDevices : public EditorFixture {
    void prepare() override {
        pedal.command("devices 2");
        pedal.command("device 0 FIRST01 Other Bridge");
        pedal.command("device 1 KS000001 FT230X Basic UART");
    }
};

TEST_F(TwoDevices, ProbeAppendsBothSerialsAndKeepsTheLast) {
    EXPECT_EQ(main->menuSerialNumber->text(), "Device Serial: FIRST01KS000001");
    EXPECT_EQ(main->state().deviceSerialNumber, "KS000001");
    EXPECT_EQ(main->lblDeviceName->text(), "Kestra");
    main->scanDevices();
    EXPECT_EQ(prompts.messages, QStringList({"Other Bridge found, click Link",
                                             "FT230X Basic UART found, click Link"}));
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
    TestDialogs prompts;
};

TEST_F(NoDriver, EditorStartsAndLinkExplainsTheMissingDriver) {
    qputenv("KESTRA_D2XX_LIBRARY", "/nonexistent/libftd2xx.so");
    KestraApplication editor(false);
    TformMain& m = *editor.formMain;
    EXPECT_EQ(m.lblDeviceName->text(), "Device Name: ");
    m.menuConnectClick();
    m.scanDevices();
    ASSERT_EQ(prompts.errors.size(), 2);
    EXPECT_TRUE(prompts.errors[0].contains("FTDI D2XX driver is not installed"));
    EXPECT_FALSE(m.state().linked);
    m.close();
}

TEST_F(LinkTest, CtrlShiftPShowsTheDebugConsole) {
    main->show();
    EXPECT_FALSE(editor->formPrint->isVisible());
    QTest::keyClick(main, Qt::Key_P, Qt::ControlModifier);
    EXPECT_FALSE(editor->formPrint->isVisible());
    QTest::keyClick(main, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(editor->formPrint->isVisible());
}

} // namespace
} // namespace kestra::test
