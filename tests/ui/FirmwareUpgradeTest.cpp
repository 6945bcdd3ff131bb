#include "firmware/FirmwareUpgrade.h"

#include "EditorFixture.h"
#include "catalogue/ResourceStore.h"
#include "firmware/FirmwareImage.h"

#include <QComboBox>
#include <QProgressBar>

namespace kestra::test {
namespace {

const QString EntryQuestion = QStringLiteral(
    "To enter Firmware Upgrade Mode keep B2(SAVE) button on the pedal pressed while clicking YES.");
const QString MenuConnected =
    QStringLiteral("Connection to bootloader succeeded. Release B2(SAVE) button and go to Upgrade "
                   "Firmware menu and click Start Firmware Upgrade.");
const QString LinkConnected =
    QStringLiteral("Connection to bootloader succeeded, ready for firmware upgrade");
const QString Complete = QStringLiteral("Firmware Upgrade Complete, device will now restart");
const QString Failed = QStringLiteral("Connection to bootloader failed");

class FirmwareUpgradeTest : public EditorFixture {
protected:
    TformFirmwareUpgrade& window() { return *editor->formFirmwareUpgrade; }

    QString status(const QString& key) {
        for (const QString& line : pedal.command("status").split('\n'))
            if (line.startsWith(key + '='))
                return line.mid(key.size() + 1);
        return {};
    }
    QByteArray flash(std::uint32_t address, int length) {
        QByteArray bytes;
        for (int done = 0; done < length; done += 4096) {
            const int part = std::min(4096, length - done);
            bytes += QByteArray::fromHex(
                pedal.command(QStringLiteral("flash 0x%1 %2").arg(address + done, 0, 16).arg(part))
                    .trimmed()
                    .toLatin1());
        }
        return bytes;
    }
    // Linked, B2 held, Upgrade Mode answered Yes.
    void enterFromMenu() {
        main->menuConnectClick();
        prompts.clear();
        pedal.command("save-button down");
        pedal.clearWrites();
        main->menuFirmwareUpgradeMode->trigger();
    }
    void choose(const QString& image) {
        window().cmbFirmwareChoose->setCurrentIndex(window().cmbFirmwareChoose->findText(image));
    }
    // Chooses image, opens the window from the menu and clicks Upgrade.
    void upgrade(const QString& image) {
        main->menuStartFirmwareUpgrade->trigger();
        choose(image);
        prompts.clear();
        window().btnUpgradeFirmware->click();
    }
    void expectBootloaderConnected() {
        EXPECT_TRUE(main->state().firmwareUpgradeMode);
        EXPECT_TRUE(main->menuStartFirmwareUpgrade->isEnabled());
        EXPECT_FALSE(main->btnRequest->isEnabled());
        EXPECT_FALSE(main->btnUpload->isEnabled());
        EXPECT_FALSE(main->btnOpenEffect->isEnabled());
        EXPECT_FALSE(main->Timer_USB_read.isActive());
        EXPECT_EQ(status("mode"), "bootloader");
        EXPECT_EQ(status("line"), "115200 8E1");
    }
    void expectBackToNormal() {
        EXPECT_FALSE(main->state().firmwareUpgradeMode);
        EXPECT_FALSE(main->menuFirmwareUpgradeMode->isChecked());
        EXPECT_FALSE(main->menuStartFirmwareUpgrade->isEnabled());
        EXPECT_TRUE(main->btnRequest->isEnabled());
        EXPECT_TRUE(main->btnUpload->isEnabled());
        EXPECT_TRUE(main->Timer_USB_read.isActive());
        EXPECT_EQ(status("line"), "115200 8N1");
    }
    void expectImageWritten(const QString& image, int version) {
        const QByteArray expected = *ResourceStore::compiled().find(image);
        EXPECT_EQ(flash(bootloader::FlashStart, static_cast<int>(expected.size())), expected);
        EXPECT_EQ(flash(bootloader::VersionRecordAddress, 8).toHex(),
                  QByteArray("00000000000000") +
                      QByteArray::number(version, 16).rightJustified(2, '0'));
        EXPECT_EQ(status("mode"), "app");
        EXPECT_EQ(status("firmware"), QString::number(version));
    }
};

TEST_F(FirmwareUpgradeTest, WindowStartsWithNothingChosen) {
    EXPECT_EQ(window().windowTitle(), "Firmware Upgrade");
    EXPECT_EQ(window().cmbFirmwareChoose->currentIndex(), -1);
    EXPECT_EQ(window().cmbFirmwareChoose->count(), 3);
    EXPECT_EQ(window().btnUpgradeFirmware->accessibleName(), "Upgrade Firmware");
    EXPECT_FALSE(window().cmbFirmwareChoose->accessibleName().isEmpty());
    EXPECT_FALSE(main->menuStartFirmwareUpgrade->isEnabled());

    choose("Firmware_3");
    EXPECT_EQ(window().imageName(), "Firmware_3");
    EXPECT_EQ(window().firmwareVersion(), 3);
    EXPECT_TRUE(log().contains("Firmware Version: 3\nFirmware_3"));
}

TEST_F(FirmwareUpgradeTest, UpgradeFromTheMenuWritesTheImageAndThePedalRestartsWithIt) {
    enterFromMenu();
    EXPECT_EQ(prompts.questions, QStringList({EntryQuestion}));
    EXPECT_EQ(pedal.writes(), QStringList({"0D01", "0500010203040506", "7F"}));
    EXPECT_EQ(prompts.messages, QStringList({MenuConnected}));
    EXPECT_TRUE(log().contains("received Byte: 79"));
    expectBootloaderConnected();

    upgrade("Firmware_2");
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('\n').toStdString();
    EXPECT_EQ(prompts.messages, QStringList({Complete}));
    expectImageWritten("Firmware_2", 2);
    expectBackToNormal();
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(window().ProgressBar1->value(), 0);
    const int size = static_cast<int>(ResourceStore::compiled().find("Firmware_2")->size());
    EXPECT_TRUE(log().contains(QStringLiteral("num of chunks: %1\nnum of bytes last chunk: %2")
                                   .arg(size / 256)
                                   .arg(size % 256)));
    EXPECT_TRUE(log().contains("SEND GO COMMAND"));

    // The restarted pedal reports its new firmware.
    prompts.clear();
    main->btnOpenEffect->click();
    EXPECT_EQ(main->menuFirmwareVersion->text(), "Firmware Version: 2");
}

TEST_F(FirmwareUpgradeTest, NoAtTheQuestionSendsNoEntryFrameAndUndoesTheBypass) {
    main->menuConnectClick();
    pedal.command("save-button down");
    pedal.clearWrites();
    prompts.answers = {false};
    main->menuFirmwareUpgradeMode->trigger();
    EXPECT_EQ(pedal.writes(), QStringList({"0D01", "0D00"}));
    EXPECT_EQ(status("mode"), "app");
    EXPECT_FALSE(main->state().firmwareUpgradeMode);
    EXPECT_FALSE(main->menuFirmwareUpgradeMode->isChecked());
    EXPECT_FALSE(main->menuStartFirmwareUpgrade->isEnabled());
    EXPECT_TRUE(main->Timer_USB_read.isActive());
}

TEST_F(FirmwareUpgradeTest, WithoutB2HeldTheHandshakeFailsAndTheLinkReturnsToNormal) {
    main->menuConnectClick();
    pedal.clearWrites();
    prompts.clear();
    main->menuFirmwareUpgradeMode->trigger();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].startsWith(Failed));
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(pedal.writes().last(), "0D00") << "bypass is switched off again";
    EXPECT_EQ(status("mode"), "app");
    EXPECT_EQ(status("line"), "115200 8N1");
    EXPECT_FALSE(main->state().firmwareUpgradeMode);
    EXPECT_FALSE(main->menuStartFirmwareUpgrade->isEnabled());
    EXPECT_TRUE(main->Timer_USB_read.isActive());
}

TEST_F(FirmwareUpgradeTest, UpgradeModeWhileUnlinkedArmsTheNextLink) {
    main->menuFirmwareUpgradeMode->trigger();
    EXPECT_TRUE(main->menuFirmwareUpgradeMode->isChecked());
    EXPECT_TRUE(main->state().firmwareUpgradeMode);
    EXPECT_TRUE(pedal.writes().isEmpty());
    EXPECT_TRUE(prompts.questions.isEmpty());

    // Powered on with B2 held: the pedal starts in its bootloader.
    pedal.command("bootloader");
    main->menuConnectClick();
    EXPECT_EQ(pedal.writes(), QStringList({"7F"})) << "no application frame at Link";
    EXPECT_EQ(prompts.messages, QStringList({LinkConnected}));
    EXPECT_TRUE(log().contains("received Byte: 79"));
    EXPECT_FALSE(main->state().linked);
    expectBootloaderConnected();

    upgrade("Firmware_1");
    EXPECT_EQ(prompts.messages, QStringList({Complete}));
    expectImageWritten("Firmware_1", 1);
    expectBackToNormal();
    EXPECT_TRUE(main->state().linked);
    EXPECT_TRUE(main->btnOpenEffect->isEnabled());
}

TEST_F(FirmwareUpgradeTest, ArmedLinkToAnApplicationFailsTheHandshakeThenLinksNormally) {
    main->menuFirmwareUpgradeMode->trigger();
    main->menuConnectClick();
    ASSERT_FALSE(prompts.errors.isEmpty());
    EXPECT_TRUE(prompts.errors[0].startsWith(Failed));
    EXPECT_FALSE(main->state().firmwareUpgradeMode);
    EXPECT_FALSE(main->menuFirmwareUpgradeMode->isChecked());
    EXPECT_TRUE(main->state().linked);
    EXPECT_EQ(status("line"), "115200 8N1");
    EXPECT_TRUE(prompts.messages.contains("No effect found on pedal"));
}

TEST_F(FirmwareUpgradeTest, ArmedLinkWithoutADeviceReportsTheFailedHandshake) {
    pedal.command("devices 0");
    main->menuFirmwareUpgradeMode->trigger();
    main->menuConnectClick();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].startsWith(Failed));
    EXPECT_FALSE(main->state().linked);
    EXPECT_TRUE(main->menuConnect->isEnabled());
    EXPECT_LT(clock.elapsedMs(), BootloaderReplyTimeLimitMs) << "no wait on a closed device";
}

TEST_F(FirmwareUpgradeTest, UnlinkWhileTheBootloaderListensLeavesUpgradeModeQuietly) {
    enterFromMenu();
    ASSERT_TRUE(main->menuStartFirmwareUpgrade->isEnabled());
    pedal.clearWrites();
    main->menuDisconnectClick();
    EXPECT_TRUE(pedal.writes().isEmpty()) << "no Live off into the bootloader";
    EXPECT_FALSE(main->state().firmwareUpgradeMode);
    EXPECT_FALSE(main->menuFirmwareUpgradeMode->isChecked());
    EXPECT_FALSE(main->menuStartFirmwareUpgrade->isEnabled());
    EXPECT_FALSE(main->btnUpload->isEnabled());
    EXPECT_FALSE(main->btnRequest->isEnabled());
    EXPECT_TRUE(main->menuConnect->isEnabled());
    EXPECT_TRUE(main->menuEraseSettings->isEnabled());
    EXPECT_FALSE(main->Timer_USB_read.isActive());
}

TEST_F(FirmwareUpgradeTest, UpgradeWithNothingChosenSaysSoAndSendsNothing) {
    enterFromMenu();
    pedal.clearWrites();
    main->menuStartFirmwareUpgrade->trigger();
    EXPECT_TRUE(window().isVisible());
    prompts.clear();
    window().btnUpgradeFirmware->click();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains("No firmware is chosen"));
    EXPECT_TRUE(pedal.writes().isEmpty());
    expectBootloaderConnected();
}

// A refused step stops the upgrade where it is, says which step, and leaves
// the bootloader connected so that a second click writes the image.
class NackDuringUpgrade : public FirmwareUpgradeTest,
                          public ::testing::WithParamInterface<std::pair<int, const char*>> {};

TEST_P(NackDuringUpgrade, StopsWithAMessageAndCanBeRetried) {
    enterFromMenu();
    const auto [n, step] = GetParam();
    pedal.command(QStringLiteral("fault nack %1").arg(n));
    upgrade("Firmware_2");
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains(QString::fromLatin1(step)))
        << prompts.errors[0].toStdString();
    EXPECT_FALSE(prompts.messages.contains(Complete));
    EXPECT_TRUE(log().contains("NOT ACK"));
    EXPECT_TRUE(window().isVisible());
    EXPECT_TRUE(window().btnUpgradeFirmware->isEnabled());
    EXPECT_TRUE(main->menuDisconnect->isEnabled());
    expectBootloaderConnected();

    prompts.clear();
    window().btnUpgradeFirmware->click();
    EXPECT_EQ(prompts.messages, QStringList({Complete}));
    expectImageWritten("Firmware_2", 2);
    expectBackToNormal();
}

INSTANTIATE_TEST_SUITE_P(Steps, NackDuringUpgrade,
                         ::testing::Values(std::pair{1, "the Erase command"},
                                           std::pair{5, "the data of chunk 1 of"},
                                           std::pair{6, "the Write Memory command for chunk 2 of"},
                                           std::pair{7, "the address 08000100 for chunk 2 of"}));

TEST_F(FirmwareUpgradeTest, ARefusedGoStopsWithoutClaimingCompletion) {
    enterFromMenu();
    main->menuStartFirmwareUpgrade->trigger();
    choose("Firmware_3");
    const int size = static_cast<int>(ResourceStore::compiled().find("Firmware_3")->size());
    const int chunks = (size + 255) / 256;
    // Erase 2 replies, 3 a chunk, 3 for the version record, then Go.
    pedal.command(QStringLiteral("fault nack %1").arg(2 + 3 * chunks + 3 + 1));
    prompts.clear();
    window().btnUpgradeFirmware->click();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains("the Go command"));
    EXPECT_TRUE(prompts.messages.isEmpty());
    expectBootloaderConnected();
}

TEST_F(FirmwareUpgradeTest, ASilentBootloaderStopsTheUpgradeInsteadOfHanging) {
    enterFromMenu();
    pedal.command("fault silent on");
    upgrade("Firmware_1");
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains("did not answer the Erase command"));
    EXPECT_TRUE(prompts.messages.isEmpty());
}

} // namespace
} // namespace kestra::test
