// Backups of the pedal: Back Up Pedal writes both EEPROM dumps, the stored
// effect and its configuration; the backup is offered before Erase Settings
// and before Firmware Upgrade Mode; Restore from Backup uploads the effect
// again and applies its configuration.
#include "operations/Backup.h"

#include "PedalFixture.h"
#include "operations/Configuration.h"

#include <QFile>
#include <QFileInfo>

namespace kestra::test {
namespace {

const QString Stored = "Wobblecat Trem"; // Rate, Depth, Level, Tap button, Shape selector
const QString Other = "Grizzle Drive";
const QString BackUp = "Back Up Pedal…";
const QString Restore = "Restore from Backup…";
const QStringList EraseFrames = {"0B50000000", "0C5000000000", "0B51000000", "0C5100000000"};

class BackupTest : public PedalFixture {
protected:
    void SetUp() override {
        PedalFixture::SetUp();
        if (const QString m = missing({Stored, Other}); !m.isEmpty())
            GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
        link();
        putOnPedal("Modulation", Stored);
        setSlider("Depth", 512);
        click("Store Settings On Pedal");
        settle();
        pedal.clearWrites();
        dialogs.clear();
    }
    QString file(const QString& name) { return documents.filePath(name); }
    QByteArray eeprom(const QString& device) {
        return QByteArray::fromHex(pedal.command("eeprom " + device + " hex").trimmed().toLatin1());
    }
    Backup read(const QString& path) {
        const BackupReading reading = readBackupFile(path);
        EXPECT_TRUE(reading.backup) << reading.error.toStdString();
        return reading.backup.value_or(Backup());
    }
};

TEST_F(BackupTest, HoldsBothDumpsTheStoredEffectAndItsConfiguration) {
    dialogs.files = {file("pedal")};
    trigger(BackUp);
    settle();
    const QString path = file("pedal.kbackup");
    EXPECT_EQ(statusLabel(), "Backup saved: " + path);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
    EXPECT_EQ(pedal.writes().value(0), "0600") << "the stored effect first";

    const Backup b = read(path);
    EXPECT_EQ(b.effectNumber, effectNumber(Stored));
    EXPECT_EQ(b.effectVersion, main->storedEffect().version);
    EXPECT_EQ(b.effectName, Stored);
    EXPECT_FALSE(b.editorVersion.isEmpty());
    EXPECT_LE(qAbs(b.date.secsTo(QDateTime::currentDateTimeUtc())), 60);
    EXPECT_EQ(b.eeprom50, eeprom("50"));
    EXPECT_EQ(b.eeprom51, eeprom("51"));
    EXPECT_EQ(b.eeprom50.size(), EepromBytes);

    const ConfigurationReading config = readConfiguration(presetFileText(b.configuration.toUtf8()),
                                                          {b.effectNumber, b.effectVersion, 5, 0});
    ASSERT_TRUE(config.configuration) << config.error.toStdString();
    EXPECT_EQ(config.configuration->values[1], 512) << "Depth, as Request read it";
    EXPECT_EQ(connection().state(), Connection::State::Linked);
}

TEST_F(BackupTest, APedalThatStopsAnsweringWritesNoFile) {
    dialogs.files = {file("pedal.kbackup")};
    pedal.command("fault silent on");
    trigger(BackUp);
    settle();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("No backup was made"))
        << dialogs.errors[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(file("pedal.kbackup")));
}

struct OfferCase {
    const char* name;
    Dialogs::Choice answer;
    bool backedUp;
    bool erased;
};
void PrintTo(const OfferCase& c, std::ostream* os) {
    *os << c.name;
}

class EraseOffer : public BackupTest, public ::testing::WithParamInterface<OfferCase> {};

TEST_P(EraseOffer, ComesAfterTheQuestionAndBeforeTheErase) {
    const OfferCase& c = GetParam();
    dialogs.offerAnswers = {c.answer};
    dialogs.files = {file("before erase.kbackup")};
    trigger("Erase Settings");
    settle();
    ASSERT_EQ(dialogs.questions.size(), 1) << "Are you sure... first";
    ASSERT_EQ(dialogs.offers.size(), 1);
    EXPECT_TRUE(dialogs.offers[0].startsWith("Back up the pedal before erasing its settings?"))
        << dialogs.offers[0].toStdString();
    EXPECT_EQ(QFileInfo::exists(file("before erase.kbackup")), c.backedUp);
    const QStringList writes = pedal.writes();
    EXPECT_EQ(writes.mid(writes.size() - 4) == EraseFrames, c.erased)
        << writes.join(' ').toStdString();
    if (c.backedUp) {
        EXPECT_EQ(read(file("before erase.kbackup")).effectName, Stored)
            << "what the pedal held before it was erased";
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, EraseOffer,
                         ::testing::Values(OfferCase{"Yes", Dialogs::Choice::Yes, true, true},
                                           OfferCase{"No", Dialogs::Choice::No, false, true},
                                           OfferCase{"Cancel", Dialogs::Choice::Cancel, false,
                                                     false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A backup that was asked for and failed stops the erase: the player wanted
// one before losing the settings.
TEST_F(BackupTest, AFailedBackupStopsTheErase) {
    dialogs.offerAnswers = {Dialogs::Choice::Yes};
    dialogs.files = {}; // the save dialog cancelled
    trigger("Erase Settings");
    settle();
    EXPECT_TRUE(pedal.writes().isEmpty()) << pedal.writes().join(' ').toStdString();
}

TEST_F(BackupTest, FirmwareUpgradeModeOffersItToo) {
    dialogs.offerAnswers = {Dialogs::Choice::Yes};
    dialogs.files = {file("before upgrade.kbackup")};
    dialogs.answers = {false}; // then not into the bootloader after all
    trigger("Upgrade Mode");
    settle();
    ASSERT_EQ(dialogs.offers.size(), 1);
    EXPECT_TRUE(dialogs.offers[0].startsWith("Back up the pedal before entering Firmware Upgrade"))
        << dialogs.offers[0].toStdString();
    EXPECT_TRUE(QFileInfo::exists(file("before upgrade.kbackup")));
    EXPECT_EQ(dialogs.questions.size(), 1) << "the entry question follows the backup";
    EXPECT_EQ(connection().state(), Connection::State::Linked);
}

TEST_F(BackupTest, RestoreUploadsTheEffectAndAppliesItsConfiguration) {
    dialogs.files = {file("pedal.kbackup")};
    trigger(BackUp);
    settle();
    // Another effect goes on the pedal meanwhile.
    upload("Gain", Other);
    ASSERT_EQ(main->storedEffect().name, Other);
    dialogs.clear();

    dialogs.files = {file("pedal.kbackup")};
    trigger(Restore);
    settle();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.questions[0].contains("uploads " + Stored))
        << dialogs.questions[0].toStdString();
    EXPECT_TRUE(dialogs.questions[0].contains("cannot write them back"));
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
    EXPECT_EQ(pedalStatus("effect.number").toInt(), effectNumber(Stored));
    EXPECT_EQ(main->storedEffect().name, Stored);
    EXPECT_EQ(pedalValue(1), 512) << "Depth, from the backup's configuration";
    EXPECT_EQ(slider("Depth"), 512);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].contains("restored from the backup"));
    EXPECT_TRUE(dialogs.messages[0].contains("EEPROM contents stay in the backup file"));
}

TEST_F(BackupTest, ADamagedBackupRestoresNothing) {
    QFile damaged(file("damaged.kbackup"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("Kestra pedal backup 1\nDate: yesterday\n");
    damaged.close();
    dialogs.files = {damaged.fileName()};
    trigger(Restore);
    settle();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("The backup file is damaged"))
        << dialogs.errors[0].toStdString();
    EXPECT_TRUE(pedal.writes().isEmpty());
}

} // namespace
} // namespace kestra::test
