// The backup file: what it holds comes back exactly, and a file that is
// not a whole backup is refused with the reason, never half read.
#include "operations/Backup.h"

#include "tests/support/QtPrinters.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestra {
namespace {

Backup sample() {
    Backup b;
    b.date = QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26), Qt::UTC);
    b.editorVersion = "1.4.0";
    b.firmwareVersion = 7;
    b.effectNumber = 0x1A;
    b.effectVersion = 2;
    b.effectName = "Wobblecat Trem";
    b.configuration = "001A\r02\r0002\r0000\r0200\r0000\r";
    b.eeprom50 = QByteArray(EepromBytes, '\x5A');
    b.eeprom51 = QByteArray(EepromBytes, '\0');
    for (int i = 0; i < EepromBytes; ++i)
        b.eeprom51[i] = static_cast<char>(i * 7);
    return b;
}

TEST(BackupFile, HoldsEverythingItWasGiven) {
    const QByteArray text = composeBackup(sample());
    EXPECT_TRUE(text.startsWith("Kestra pedal backup 1\nDate: 2026-03-14T15:09:26Z\n"));
    const BackupReading reading = parseBackup(text);
    ASSERT_TRUE(reading.backup) << reading.error.toStdString();
    EXPECT_EQ(*reading.backup, sample());
}

TEST(BackupFile, ReadsLinesEndedWithCarriageReturnToo) {
    QByteArray text = composeBackup(sample());
    text.replace("\n", "\r\n");
    const BackupReading reading = parseBackup(text);
    ASSERT_TRUE(reading.backup) << reading.error.toStdString();
    EXPECT_EQ(*reading.backup, sample());
}

TEST(BackupFile, APedalWithoutAnEffectKeepsAnEmptyConfiguration) {
    Backup b = sample();
    b.effectNumber = 0;
    b.effectVersion = 0;
    b.effectName.clear();
    b.configuration.clear();
    const BackupReading reading = parseBackup(composeBackup(b));
    ASSERT_TRUE(reading.backup) << reading.error.toStdString();
    EXPECT_EQ(*reading.backup, b);
}

TEST(BackupFile, IsWrittenAndReadBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath("pedal.kbackup");
    QString error;
    ASSERT_TRUE(writeBackupFile(path, sample(), &error)) << error.toStdString();
    const BackupReading reading = readBackupFile(path);
    ASSERT_TRUE(reading.backup) << reading.error.toStdString();
    EXPECT_EQ(*reading.backup, sample());
    EXPECT_FALSE(readBackupFile(dir.filePath("missing.kbackup")).backup);
}

struct DamageCase {
    const char* name;
    QByteArray from; // replaced in the sample's text...
    QByteArray to;   // ...by this
    const char* says;
};
void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.name;
}

class DamagedBackup : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedBackup, IsRefusedWithTheReason) {
    QByteArray text = composeBackup(sample());
    const DamageCase& c = GetParam();
    ASSERT_TRUE(text.contains(c.from));
    text.replace(c.from, c.to);
    const BackupReading reading = parseBackup(text);
    EXPECT_FALSE(reading.backup);
    EXPECT_TRUE(reading.error.contains(c.says)) << reading.error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedBackup,
    ::testing::Values(
        DamageCase{"NotABackup", "Kestra pedal backup 1", "001A", "is not a backup"},
        DamageCase{"LaterFormat", "Kestra pedal backup 1", "Kestra pedal backup 2",
                   "is not a backup"},
        DamageCase{"FieldWithoutName", "Editor-Version: ", "Editor-Version ",
                   "is not \"name: value\""},
        DamageCase{"EffectNumberNotANumber", "Effect-Number: 26", "Effect-Number: 1A",
                   "Effect-Number is missing"},
        DamageCase{"NoDate", "Date: 2026-03-14T15:09:26Z\n", "", "date is missing"},
        DamageCase{"NoConfiguration", "[Configuration]", "[Settings]",
                   "[Configuration] is missing"},
        DamageCase{"DumpNotHex", "[EEPROM 50]\n5A5A", "[EEPROM 50]\nXY5A", "is not hexadecimal"},
        // The file ends before the second dump does.
        DamageCase{"DumpCut", "\n[EEPROM 51]\n0007", "\n[EEPROM 51]\n", "bytes, not 16384"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kestra
