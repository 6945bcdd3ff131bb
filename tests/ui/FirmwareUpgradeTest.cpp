// The firmware upgrade from the menus and the Firmware Upgrade window: into
// the ROM bootloader, the image written, and the pedal back in normal use;
// refused steps, a silent bootloader, the cable pulled mid-write, and every
// other control kept away from a listening bootloader.
#include "firmware/FirmwareUpgrade.h"

#include "EditorFixture.h"
#include "catalogue/ResourceStore.h"
#include "firmware/Bootloader.h"
#include "firmware/FirmwareImage.h"
#include "ui/FirmwareWindow.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <functional>

namespace kestra::test {
namespace {

using State = Connection::State;

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
    FirmwareWindow& window() { return editor->firmwareWindow(); }
    QComboBox* images() { return control<QComboBox>(&window(), "Firmware"); }
    QAbstractButton* upgradeButton() {
        return control<QAbstractButton>(&window(), "Upgrade Firmware");
    }
    QProgressBar* progress() { return control<QProgressBar>(&window(), "Upgrade progress"); }
    // Part of the image is written, whatever its size.
    bool partlyWritten() {
        return progress()->value() > 0 && progress()->value() < progress()->maximum();
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
        link();
        dialogs.clear();
        pedal.command("save-button down");
        pedal.clearWrites();
        trigger("Upgrade Mode");
        settle();
    }
    void choose(const QString& image) { images()->setCurrentIndex(images()->findData(image)); }
    // The fault strikes once the player has been asked, so that its count
    // starts at the erase.
    void faultFromTheErase(const QString& fault) {
        dialogs.whileAsked = [this, fault](const QString&) {
            pedal.command(fault);
            dialogs.whileAsked = nullptr;
        };
    }
    // Opens the window from the menu, chooses image and clicks Upgrade.
    void startUpgrade(const QString& image) {
        trigger("Start Firmware Upgrade");
        choose(image);
        dialogs.clear();
        upgradeButton()->click();
    }
    void upgrade(const QString& image) {
        startUpgrade(image);
        settle();
    }
    void expectBootloaderListens() {
        EXPECT_EQ(connection().state(), State::Bootloader);
        EXPECT_TRUE(action("Upgrade Mode")->isChecked());
        EXPECT_TRUE(action("Start Firmware Upgrade")->isEnabled());
        EXPECT_FALSE(button("Request")->isEnabled());
        EXPECT_FALSE(button("Upload Selected Effect")->isEnabled());
        EXPECT_FALSE(button("Get FX Stored on Pedal")->isEnabled());
        EXPECT_EQ(pedalStatus("mode"), "bootloader");
        EXPECT_EQ(pedalStatus("line"), "115200 8E1");
    }
    void expectBackToNormal() {
        EXPECT_EQ(connection().state(), State::Linked);
        EXPECT_FALSE(action("Upgrade Mode")->isChecked());
        EXPECT_FALSE(action("Start Firmware Upgrade")->isEnabled());
        EXPECT_TRUE(button("Get FX Stored on Pedal")->isEnabled());
        EXPECT_EQ(pedalStatus("line"), "115200 8N1");
    }
    void expectImageWritten(const QString& image, int version) {
        const QByteArray expected = *ResourceStore::compiled().find(image);
        EXPECT_EQ(flash(bootloader::FlashStart, static_cast<int>(expected.size())), expected);
        EXPECT_EQ(flash(bootloader::VersionRecordAddress, 8).toHex(),
                  QByteArray("00000000000000") +
                      QByteArray::number(version, 16).rightJustified(2, '0'));
        EXPECT_EQ(pedalStatus("mode"), "app");
        EXPECT_EQ(pedalStatus("firmware"), QString::number(version));
    }
};

TEST_F(FirmwareUpgradeTest, WindowStartsWithNothingChosen) {
    EXPECT_EQ(window().windowTitle(), "Firmware Upgrade");
    EXPECT_EQ(images()->currentIndex(), -1);
    EXPECT_EQ(images()->count(), 3);
    EXPECT_FALSE(action("Start Firmware Upgrade")->isEnabled());

    choose("Firmware_3");
    EXPECT_EQ(window().imageName(), "Firmware_3");
    EXPECT_EQ(window().firmwareVersion(), 3);
    EXPECT_TRUE(log().contains("Firmware Version: 3\nFirmware_3"));
}

TEST_F(FirmwareUpgradeTest, UpgradeFromTheMenuWritesTheImageAndThePedalRestartsWithIt) {
    enterFromMenu();
    EXPECT_EQ(dialogs.questions, QStringList({EntryQuestion}));
    EXPECT_EQ(pedal.writes(), QStringList({"0D01", "0500010203040506", "7F"}));
    EXPECT_EQ(dialogs.messages, QStringList({MenuConnected}));
    EXPECT_TRUE(log().contains("received Byte: 79"));
    expectBootloaderListens();

    upgrade("Firmware_2");
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(dialogs.messages, QStringList({Complete}));
    expectImageWritten("Firmware_2", 2);
    expectBackToNormal();
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(progress()->value(), 0);
    const int size = static_cast<int>(ResourceStore::compiled().find("Firmware_2")->size());
    EXPECT_TRUE(log().contains(QStringLiteral("num of chunks: %1\nnum of bytes last chunk: %2")
                                   .arg(size / 256)
                                   .arg(size % 256)));
    EXPECT_TRUE(log().contains("SEND GO COMMAND"));

    // The old version is not shown as the pedal's; once the pedal has
    // restarted, the editor reads the new one, and every place shows it.
    const auto indicator = [this] { return main->findChild<QLabel*>("linkIndicator")->text(); };
    EXPECT_FALSE(indicator().contains("firmware")) << indicator().toStdString();
    EXPECT_TRUE(action("Firmware Version:"));
    clock.advance(PedalSession::FirmwareRestartMs);
    settle();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_TRUE(action("Firmware Version: 2"));
    EXPECT_TRUE(indicator().contains("firmware 2")) << indicator().toStdString();
}

TEST_F(FirmwareUpgradeTest, NoAtTheQuestionSendsNoEntryFrameAndUndoesTheBypass) {
    link();
    pedal.command("save-button down");
    pedal.clearWrites();
    dialogs.answers = {false};
    trigger("Upgrade Mode");
    settle();
    EXPECT_EQ(pedal.writes(), QStringList({"0D01", "0D00"}));
    EXPECT_EQ(pedalStatus("mode"), "app");
    EXPECT_EQ(connection().state(), State::Linked);
    EXPECT_FALSE(action("Upgrade Mode")->isChecked());
    EXPECT_FALSE(action("Start Firmware Upgrade")->isEnabled());
}

TEST_F(FirmwareUpgradeTest, WithoutB2HeldTheHandshakeFailsAndTheLinkReturnsToNormal) {
    link();
    pedal.clearWrites();
    dialogs.clear();
    trigger("Upgrade Mode");
    settle();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith(Failed));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(pedal.writes().last(), "0D00") << "bypass is switched off again";
    EXPECT_EQ(pedalStatus("mode"), "app");
    EXPECT_EQ(pedalStatus("line"), "115200 8N1");
    EXPECT_EQ(connection().state(), State::Linked);
    EXPECT_FALSE(action("Upgrade Mode")->isChecked());
    EXPECT_FALSE(action("Start Firmware Upgrade")->isEnabled());
}

TEST_F(FirmwareUpgradeTest, UpgradeModeWhileUnlinkedArmsTheNextLink) {
    trigger("Upgrade Mode");
    EXPECT_TRUE(action("Upgrade Mode")->isChecked());
    EXPECT_TRUE(pedal.writes().isEmpty());
    EXPECT_TRUE(dialogs.questions.isEmpty());

    // Powered on with B2 held: the pedal starts in its bootloader.
    pedal.command("bootloader");
    link();
    EXPECT_EQ(pedal.writes(), QStringList({"7F"})) << "no application frame at Link";
    EXPECT_EQ(statusLabel(), LinkConnected);
    EXPECT_TRUE(log().contains("received Byte: 79"));
    expectBootloaderListens();

    upgrade("Firmware_1");
    EXPECT_EQ(dialogs.messages, QStringList({Complete}));
    expectImageWritten("Firmware_1", 1);
    expectBackToNormal();
}

TEST_F(FirmwareUpgradeTest, ArmedLinkToAnApplicationFailsTheHandshakeThenLinksNormally) {
    trigger("Upgrade Mode");
    link();
    ASSERT_FALSE(dialogs.errors.isEmpty());
    EXPECT_TRUE(dialogs.errors[0].startsWith(Failed));
    EXPECT_FALSE(action("Upgrade Mode")->isChecked());
    EXPECT_EQ(connection().state(), State::Linked);
    EXPECT_EQ(pedalStatus("line"), "115200 8N1");
    EXPECT_TRUE(statusLabel().startsWith("No effect found on pedal"))
        << statusLabel().toStdString();
}

// The device cannot be opened at all: that is what the player reads, and
// the next Link is still armed.
TEST_F(FirmwareUpgradeTest, ArmedLinkWithoutADeviceSaysItWasNotFound) {
    pedal.command("devices 0");
    trigger("Upgrade Mode");
    trigger("Link");
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("was not found")) << dialogs.errors[0].toStdString();
    EXPECT_EQ(connection().state(), State::Unlinked);
    EXPECT_TRUE(action("Link")->isEnabled());
    EXPECT_TRUE(action("Upgrade Mode")->isChecked());
    EXPECT_EQ(waitingTimers(), 0) << "no wait on a closed device";
}

TEST_F(FirmwareUpgradeTest, UnlinkWhileTheBootloaderListensLeavesUpgradeModeQuietly) {
    enterFromMenu();
    ASSERT_TRUE(action("Start Firmware Upgrade")->isEnabled());
    pedal.clearWrites();
    trigger("Unlink");
    EXPECT_TRUE(pedal.writes().isEmpty()) << "no Live off into the bootloader";
    EXPECT_EQ(connection().state(), State::Unlinked);
    EXPECT_FALSE(action("Upgrade Mode")->isChecked());
    EXPECT_FALSE(action("Start Firmware Upgrade")->isEnabled());
    EXPECT_FALSE(button("Upload Selected Effect")->isEnabled());
    EXPECT_FALSE(button("Request")->isEnabled());
    EXPECT_TRUE(action("Link")->isEnabled());
    EXPECT_FALSE(action("Erase Settings")->isEnabled());
    EXPECT_EQ(waitingTimers(), 0);
}

// The pedal keeps listening with its bootloader: the link ends, so no
// application frame can reach it, and the player learns how to get back.
TEST_F(FirmwareUpgradeTest, LeavingUpgradeModeEndsTheLinkUntilThePedalRestarts) {
    enterFromMenu();
    pedal.clearWrites();
    dialogs.clear();
    trigger("Upgrade Mode");
    EXPECT_EQ(connection().state(), State::Unlinked);
    EXPECT_TRUE(pedal.writes().isEmpty());
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].startsWith("Firmware Upgrade Mode is off. The pedal stays in "
                                               "its bootloader until it is switched off and on "
                                               "again."));
    EXPECT_FALSE(action("Upgrade Mode")->isChecked());
    EXPECT_FALSE(button("Get FX Stored on Pedal")->isEnabled());
    EXPECT_TRUE(action("Link")->isEnabled());
}

// Unlink leaves the pedal in its bootloader, still in step with the editor:
// it takes the next Link's sync byte for the first half of a command.
TEST_F(FirmwareUpgradeTest, ArmedLinkFindsTheBootloaderUnlinkLeftListening) {
    enterFromMenu();
    trigger("Unlink");
    trigger("Upgrade Mode");
    dialogs.clear();
    pedal.clearWrites();
    link();
    EXPECT_EQ(pedal.writes(), QStringList({"7F", "7F"}));
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(statusLabel(), LinkConnected);
    expectBootloaderListens();

    upgrade("Firmware_1");
    EXPECT_EQ(dialogs.messages, QStringList({Complete}));
    expectImageWritten("Firmware_1", 1);
}

TEST_F(FirmwareUpgradeTest, UpgradeWaitsForAnImageToBeChosen) {
    enterFromMenu();
    pedal.clearWrites();
    trigger("Start Firmware Upgrade");
    EXPECT_TRUE(window().isVisible());
    EXPECT_FALSE(upgradeButton()->isEnabled());
    upgradeButton()->click();
    settle();
    EXPECT_TRUE(pedal.writes().isEmpty());
    choose("Firmware_1");
    EXPECT_TRUE(upgradeButton()->isEnabled());
    expectBootloaderListens();
}

// A refused step stops the upgrade where it is, says which step, and leaves
// the bootloader listening so that a second click writes the image.
struct NackCase {
    const char* name;
    int reply; // the n-th bootloader reply of the upgrade is a NACK
    const char* step;
    bool erased; // the global erase was acknowledged
};

void PrintTo(const NackCase& c, std::ostream* os) {
    *os << c.name;
}

class NackDuringUpgrade : public FirmwareUpgradeTest,
                          public ::testing::WithParamInterface<NackCase> {};

TEST_P(NackDuringUpgrade, StopsWithAMessageAndCanBeRetried) {
    enterFromMenu();
    faultFromTheErase(QStringLiteral("fault nack %1").arg(GetParam().reply));
    upgrade("Firmware_2");
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(QString::fromLatin1(GetParam().step)))
        << dialogs.errors[0].toStdString();
    EXPECT_EQ(dialogs.errors[0].contains("The pedal's firmware is incomplete"), GetParam().erased)
        << dialogs.errors[0].toStdString();
    EXPECT_FALSE(dialogs.messages.contains(Complete));
    EXPECT_TRUE(log().contains("NOT ACK"));
    EXPECT_TRUE(window().isVisible());
    EXPECT_TRUE(upgradeButton()->isEnabled());
    EXPECT_TRUE(action("Unlink")->isEnabled());
    expectBootloaderListens();

    dialogs.clear();
    upgradeButton()->click();
    settle();
    EXPECT_EQ(dialogs.messages, QStringList({Complete}));
    expectImageWritten("Firmware_2", 2);
    expectBackToNormal();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, NackDuringUpgrade,
    ::testing::Values(
        NackCase{"Erase", 1, "the Erase command", false},
        NackCase{"FirstChunkData", 5, "the data of chunk 1 of", true},
        NackCase{"SecondChunkCommand", 6, "the Write Memory command for chunk 2 of", true},
        NackCase{"SecondChunkAddress", 7, "the address 08000100 for chunk 2 of", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FirmwareUpgradeTest, ARefusedGoStopsWithoutClaimingCompletion) {
    enterFromMenu();
    trigger("Start Firmware Upgrade");
    choose("Firmware_3");
    const int size = static_cast<int>(ResourceStore::compiled().find("Firmware_3")->size());
    const int chunks = (size + 255) / 256;
    // Erase 2 replies, 3 a chunk written and 3 read back, 3 for the version
    // record and 3 for its reading back, then Go.
    faultFromTheErase(QStringLiteral("fault nack %1").arg(2 + 6 * chunks + 6 + 1));
    dialogs.clear();
    upgradeButton()->click();
    settle();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("the Go command"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    expectBootloaderListens();
}

TEST_F(FirmwareUpgradeTest, ASilentBootloaderStopsTheUpgradeInsteadOfHanging) {
    enterFromMenu();
    faultFromTheErase("fault silent on");
    upgrade("Firmware_1");
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("did not answer the Erase command"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// Silent from the start, the try stops before anything is erased and says
// that the pedal keeps its firmware.
TEST_F(FirmwareUpgradeTest, ASilentBootloaderBeforeTheEraseLeavesTheFirmware) {
    enterFromMenu();
    pedal.command("fault silent on");
    upgrade("Firmware_1");
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("The firmware upgrade stopped before anything was "
                                             "erased: Connection to bootloader failed."))
        << dialogs.errors[0].toStdString();
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_FALSE(pedal.writes().contains("43BC"));
    EXPECT_EQ(pedalStatus("firmware"), "3");
}

// A partly written firmware must not be left behind by closing the editor.
TEST_F(FirmwareUpgradeTest, ClosingDuringTheUpgradeIsRefusedAndTheUpgradeCompletes) {
    main->show();
    enterFromMenu();
    startUpgrade("Firmware_2");
    ASSERT_TRUE(clock.runUntil([this] { return partlyWritten(); }));
    EXPECT_EQ(connection().state(), State::Upgrading);
    EXPECT_FALSE(action("Unlink")->isEnabled());
    EXPECT_FALSE(action("Upgrade Mode")->isEnabled());

    EXPECT_FALSE(main->close());
    EXPECT_TRUE(main->isVisible());
    EXPECT_FALSE(window().close());
    EXPECT_TRUE(window().isVisible());
    // Even an Unlink that got past its disabled entry leaves the write running.
    action("Unlink")->setEnabled(true);
    trigger("Unlink");
    EXPECT_EQ(connection().state(), State::Upgrading);
    ASSERT_EQ(dialogs.errors.size(), 3);
    for (const QString& error : dialogs.errors)
        EXPECT_TRUE(error.contains("firmware is being written")) << error.toStdString();

    settle();
    EXPECT_EQ(dialogs.messages, QStringList({Complete}));
    expectImageWritten("Firmware_2", 2);
    expectBackToNormal();
    EXPECT_TRUE(main->close()) << "once the upgrade has ended";
}

// The pedal has its own supply: its ROM carries on at whatever step the
// cable left it. One message says the firmware is incomplete and how to go
// on; the next Link finds the ROM again and the retry writes the image.
TEST_F(FirmwareUpgradeTest, AnUnplugDuringTheUpgradeIsOneMessageAndAReplugLinksAgain) {
    enterFromMenu();
    startUpgrade("Firmware_2");
    ASSERT_TRUE(clock.runUntil([this] { return partlyWritten(); }));
    pedal.command("fault unplug");
    clock.advance(100);
    EXPECT_EQ(connection().state(), State::Lost);
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors[0], upgradeLostMessage(true));
    EXPECT_TRUE(dialogs.errors[0].contains("Its firmware is incomplete"));
    EXPECT_TRUE(dialogs.errors[0].contains("hold B2(SAVE) while switching it on"));
    EXPECT_FALSE(dialogs.messages.contains(Complete));
    EXPECT_TRUE(action("Link")->isEnabled());
    EXPECT_TRUE(action("Upgrade Mode")->isChecked()) << "the next Link looks for the bootloader";
    EXPECT_FALSE(upgradeButton()->isEnabled());
    EXPECT_EQ(progress()->value(), 0);
    EXPECT_TRUE(window().close()) << "nothing runs any more";
    clock.advance(5000);
    EXPECT_EQ(dialogs.errors.size(), 1) << "one message, not one per call";

    pedal.command("fault replug");
    dialogs.clear();
    link();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(statusLabel(), LinkConnected);
    expectBootloaderListens();

    upgrade("Firmware_2");
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(dialogs.messages, QStringList({Complete}));
    expectImageWritten("Firmware_2", 2);
    expectBackToNormal();
}

// Unplugged while the player reads the question: nothing was erased, and
// the message says so.
TEST_F(FirmwareUpgradeTest, AnUnplugBeforeTheEraseSaysTheFirmwareIsKept) {
    enterFromMenu();
    dialogs.whileAsked = [this](const QString&) { pedal.command("fault unplug"); };
    dialogs.answers = {true};
    upgrade("Firmware_1");
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors[0], upgradeLostMessage(false));
    EXPECT_EQ(connection().state(), State::Lost);
    dialogs.whileAsked = nullptr;
    pedal.command("fault replug");
    EXPECT_EQ(pedalStatus("firmware"), "3");
    EXPECT_EQ(flash(bootloader::VersionRecordAddress + 7, 1), QByteArray(1, '\x03'));
}

// Before the erase the player reads which version is installed and which is
// chosen, is warned of a downgrade, and No is preselected; No leaves the
// pedal's firmware and its bootloader listening for another choice.
struct QuestionCase {
    const char* name;
    const char* image;
    bool downgrade;
};

void PrintTo(const QuestionCase& c, std::ostream* os) {
    *os << c.name;
}

class UpgradeQuestion : public FirmwareUpgradeTest,
                        public ::testing::WithParamInterface<QuestionCase> {};

TEST_P(UpgradeQuestion, NamesBothVersionsAndNoErasesNothing) {
    const QuestionCase& c = GetParam();
    const QString image = QString::fromLatin1(c.image);
    const int version = firmwareVersionOf(image);
    enterFromMenu();
    pedal.clearWrites();
    dialogs.answers = {false};
    upgrade(image);
    ASSERT_EQ(dialogs.questions.size(), 1);
    const QString question = dialogs.questions[0];
    EXPECT_TRUE(question.startsWith(
        QStringLiteral("Write firmware version %1 to the pedal? It has version 3 installed.")
            .arg(version)))
        << question.toStdString();
    EXPECT_EQ(question.contains("This is a downgrade"), c.downgrade) << question.toStdString();
    EXPECT_TRUE(question.contains("Do not unplug the pedal, switch it off or close the editor"));
    EXPECT_EQ(dialogs.defaults, std::vector<Dialogs::Default>({Dialogs::Default::No}));

    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_FALSE(pedal.writes().contains("43BC")) << "nothing erased";
    EXPECT_EQ(flash(bootloader::VersionRecordAddress + 7, 1), QByteArray(1, '\x03'));
    expectBootloaderListens();
    EXPECT_TRUE(upgradeButton()->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Versions, UpgradeQuestion,
                         ::testing::Values(QuestionCase{"Downgrade", "Firmware_2", true},
                                           QuestionCase{"SameVersion", "Firmware_3", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FirmwareUpgradeTest, TheChoicesShowTheirVersionsAndProgressShowsBytesAndTimeLeft) {
    QStringList items;
    for (int i = 0; i < images()->count(); ++i)
        items.append(images()->itemText(i));
    EXPECT_EQ(items, QStringList({"Firmware_1 (version 1)", "Firmware_2 (version 2)",
                                  "Firmware_3 (version 3)"}));

    enterFromMenu();
    auto* status = control<QLabel>(&window(), "Upgrade status");
    startUpgrade("Firmware_2");
    const int size = static_cast<int>(ResourceStore::compiled().find("Firmware_2")->size());
    ASSERT_TRUE(
        clock.runUntil([this] { return progress()->value() >= progress()->maximum() / 4; }));
    // The bar counts what the text counts: the bytes of the step it names.
    const auto expectBarAgrees = [&](const QString& step) {
        const QRegularExpression text(
            QStringLiteral("^%1: (\\d+) of %2 bytes, about \\d+ s left$").arg(step).arg(size));
        const QRegularExpressionMatch match = text.match(status->text());
        ASSERT_TRUE(match.hasMatch()) << status->text().toStdString();
        EXPECT_EQ(progress()->value(), match.captured(1).toInt());
        EXPECT_EQ(progress()->maximum(), size);
    };
    expectBarAgrees("Step 1 of 2, writing");
    ASSERT_TRUE(clock.runUntil([status] { return status->text().startsWith("Step 2 of 2"); }));
    ASSERT_TRUE(
        clock.runUntil([this] { return progress()->value() >= progress()->maximum() / 4; }));
    expectBarAgrees("Step 2 of 2, verifying");
    settle();
    EXPECT_EQ(dialogs.messages, QStringList({Complete}));
    EXPECT_TRUE(status->text().isEmpty());
}

TEST(UpgradeProgressText, CountsTheTimeLeftFromTheBytesWrittenAndReadBack) {
    EXPECT_EQ(upgradeProgressText(UpgradePhase::Erasing, 0, 1000, 0),
              "Erasing the pedal's firmware");
    // A quarter of the bytes out and back in 1 s: 3 s to go.
    EXPECT_EQ(upgradeProgressText(UpgradePhase::Writing, 500, 1000, 1000),
              "Step 1 of 2, writing: 500 of 1000 bytes, about 3 s left");
    EXPECT_EQ(upgradeProgressText(UpgradePhase::Verifying, 500, 1000, 3000),
              "Step 2 of 2, verifying: 500 of 1000 bytes, about 1 s left");
    EXPECT_EQ(upgradeProgressText(UpgradePhase::Writing, 0, 1000, 0),
              "Step 1 of 2, writing: 0 of 1000 bytes");
}

// While the bootloader listens, every control that talks to the application
// is kept from it. Most are disabled then; each case goes past that (it
// enables the control first) to show that nothing reaches the bootloader
// even so, which would take the bytes for commands and fall out of step.
class BootloaderListens : public FirmwareUpgradeTest {
public:
    // Linked with an uploaded effect whose state has been read, a preset
    // file saved from it before a knob moved, then into the bootloader.
    void SetUp() override {
        FirmwareUpgradeTest::SetUp();
        link();
        select("Gain", "Grizzle Drive");
        click("Upload Selected Effect");
        settle();
        click("Get FX Stored on Pedal");
        settle();
        click("Request");
        settle();
        ASSERT_TRUE(action("Save Configuration")->isEnabled())
            << (dialogs.errors + dialogs.messages).join('|').toStdString();
        presetFile = documents.filePath("preset.txt");
        dialogs.files = {presetFile};
        trigger("Save Configuration");
        settle();
        ASSERT_TRUE(QFileInfo::exists(presetFile));
        // The file now holds another Drive than the pedal: loading it would send.
        moveDrive();
        settle();

        pedal.command("save-button down");
        trigger("Upgrade Mode");
        settle();
        ASSERT_EQ(connection().state(), State::Bootloader);
        pedal.clearWrites();
        dialogs.clear();
    }

    static void enable(QWidget* widget) {
        for (; widget; widget = widget->parentWidget())
            widget->setEnabled(true);
    }
    void forceClick(QAbstractButton* b) {
        enable(b);
        b->click();
    }
    void forceClick(const QString& name) { forceClick(button(name)); }
    void forceTrigger(const QString& text) {
        QAction* entry = action(text);
        entry->setEnabled(true);
        entry->trigger();
    }
    QWidget* console() { return &editor->console(); }
    ParameterWindow& parameterWindow() { return editor->parameterWindow(); }
    void unlink() { trigger("Unlink"); }
    void closeMain() {
        main->show();
        main->close();
    }
    void loadPresetFile() {
        dialogs.files = {presetFile};
        forceTrigger("Load Configuration");
    }
    void saveConfiguration() {
        dialogs.files = {documents.filePath("other.txt")};
        forceTrigger("Save Configuration");
    }
    void moveDrive() {
        auto* drive = control<QSlider>(&parameterWindow(), "Drive");
        ASSERT_TRUE(drive);
        enable(drive);
        drive->setValue(drive->value() == 700 ? 300 : 700);
    }
    void switchLiveOn() { forceClick(control<ToggleSwitch>(main, "Live OFF")); }

    QString presetFile;
};

// What an attempt does instead of reaching the bootloader.
enum class Instead {
    Refused, // the connection turns it down: says why, or logs it as not sent
    SendsNothing,
    EndsLink, // the next Link, armed by Upgrade Mode, finds the bootloader again
};

struct SenderCase {
    const char* name;
    std::function<void(BootloaderListens&)> attempt;
    Instead instead = Instead::Refused;
};

void PrintTo(const SenderCase& c, std::ostream* os) {
    *os << c.name;
}

class NothingReachesTheBootloader : public BootloaderListens,
                                    public ::testing::WithParamInterface<SenderCase> {};

TEST_P(NothingReachesTheBootloader, AndTheUpgradeStillCompletes) {
    const SenderCase& c = GetParam();
    const qsizetype notSentBefore = log().count("not sent");
    c.attempt(*this);
    settle();
    EXPECT_TRUE(pedal.writes().isEmpty()) << pedal.writes().join(' ').toStdString();
    EXPECT_EQ(pedalStatus("mode"), "bootloader");
    EXPECT_EQ(pedalStatus("uart"), "115200 8E1") << "the ROM is still synchronised";
    if (c.instead == Instead::Refused) {
        EXPECT_TRUE(dialogs.errors.join('\n').contains("bootloader") ||
                    log().count("not sent") > notSentBefore)
            << "the attempt never reached the connection";
    }
    main->refreshEnabledStates();

    if (c.instead == Instead::EndsLink) {
        EXPECT_EQ(connection().state(), State::Unlinked);
        trigger("Upgrade Mode");
        link();
        EXPECT_EQ(statusLabel(), LinkConnected) << dialogs.errors.join('\n').toStdString();
    }
    expectBootloaderListens();
    upgrade("Firmware_2");
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(dialogs.messages, QStringList({Complete}));
    expectImageWritten("Firmware_2", 2);
}

INSTANTIATE_TEST_SUITE_P(
    Senders, NothingReachesTheBootloader,
    ::testing::Values(
        SenderCase{"ParameterControl", [](BootloaderListens& t) { t.moveDrive(); }},
        SenderCase{"SaveConfiguration", [](BootloaderListens& t) { t.saveConfiguration(); }},
        SenderCase{"LoadConfiguration", [](BootloaderListens& t) { t.loadPresetFile(); }},
        SenderCase{"EraseEeprom",
                   [](BootloaderListens& t) {
                       t.forceClick(control<QPushButton>(t.console(), "Erase EEPROM"));
                   }},
        SenderCase{"ReadEeprom",
                   [](BootloaderListens& t) {
                       t.forceClick(control<QPushButton>(t.console(), "Read EEPROM"));
                   }},
        SenderCase{"MidiChannel", [](BootloaderListens& t) { t.forceTrigger("OMNI"); }},
        SenderCase{"ModeMenu", [](BootloaderListens& t) { t.forceTrigger("FX Bank Mode"); },
                   Instead::SendsNothing},
        SenderCase{"LiveSwitch", [](BootloaderListens& t) { t.switchLiveOn(); }},
        SenderCase{"Request", [](BootloaderListens& t) { t.forceClick("Request"); }},
        SenderCase{"GetStoredEffect",
                   [](BootloaderListens& t) { t.forceClick("Get FX Stored on Pedal"); }},
        SenderCase{"Upload", [](BootloaderListens& t) { t.forceClick("Upload Selected Effect"); }},
        SenderCase{"Assign", [](BootloaderListens& t) { t.forceClick("Assign"); }},
        SenderCase{"StoreSettings",
                   [](BootloaderListens& t) { t.forceClick("Store Settings On Pedal"); }},
        SenderCase{"EraseSettings", [](BootloaderListens& t) { t.forceTrigger("Erase Settings"); }},
        SenderCase{"CloseMainWindow", [](BootloaderListens& t) { t.closeMain(); },
                   Instead::EndsLink},
        SenderCase{"Unlink", [](BootloaderListens& t) { t.unlink(); }, Instead::EndsLink}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kestra::test
