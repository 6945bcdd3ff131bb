#include "core/Settings.h"

#include "core/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestra::settings {
namespace {

class SettingsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(documents.isValid());
        setDocumentsFolder(documents.path());
    }
    void TearDown() override { setDocumentsFolder(QString()); }

    void writeBytes(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray bytesOf(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    void makeProductFolder() {
        ASSERT_EQ(makeFolder(folderPath(MakerFolder)), "");
        ASSERT_EQ(makeFolder(subfolderPath(MakerFolder, ProductFolder)), "");
    }

    QTemporaryDir documents;
};

TEST_F(SettingsFiles, LieBelowTheDocumentsFolderStyleInTheMakerFolder) {
    const QDir docs(documents.path());
    EXPECT_EQ(modeFile(), docs.filePath("Quorvane/Kestra/Mode.txt"));
    EXPECT_EQ(startupMessageFile(),
              docs.filePath("Quorvane/Kestra/ShowMessageVersionAtStartup.txt"));
    EXPECT_EQ(styleFile(), docs.filePath("Quorvane/style.txt"));
}

TEST_F(SettingsFiles, MakeFolderCreatesOnceAndExplainsFailures) {
    EXPECT_EQ(makeFolder(folderPath(MakerFolder)), "");
    EXPECT_EQ(makeFolder(folderPath(MakerFolder)), "") << "an existing folder is fine";
    EXPECT_TRUE(QFileInfo(folderPath(MakerFolder)).isDir());

    writeBytes(folderPath("Taken"), "x");
    EXPECT_NE(makeFolder(folderPath("Taken")), "") << "a file already has the name";
}

TEST_F(SettingsFiles, MakeFolderCreatesAMissingDocumentsFolder) {
    // A new account may have no documents folder at all.
    setDocumentsFolder(QDir(documents.path()).filePath("Documents"));
    EXPECT_EQ(makeFolder(subfolderPath(MakerFolder, ProductFolder)), "");
    EXPECT_TRUE(QFileInfo(subfolderPath(MakerFolder, ProductFolder)).isDir());
}

TEST_F(SettingsFiles, WritesExactlyTheTextWithoutMarkOrLineEnd) {
    makeProductFolder();
    EXPECT_EQ(writeText(modeFile(), "BANK"), "");
    EXPECT_EQ(bytesOf(modeFile()), "BANK");
    EXPECT_EQ(writeText(modeFile(), "PRESET"), "");
    EXPECT_EQ(bytesOf(modeFile()), "PRESET");
    EXPECT_EQ(writeMode(true), "");
    EXPECT_EQ(bytesOf(modeFile()), "BANK");
}

TEST_F(SettingsFiles, WriteIntoAMissingFolderFailsWithTheReason) {
    EXPECT_NE(writeText(modeFile(), "PRESET"), "");
    EXPECT_FALSE(QFile::exists(modeFile()));
    EXPECT_TRUE(saveErrorMessage(modeFile(), "No such file or directory")
                    .contains(QDir::toNativeSeparators(modeFile())));
}

TEST_F(SettingsFiles, ReadingHonoursTheByteOrderMark) {
    makeProductFolder();
    const struct {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"PRESET", "PRESET"},
        {"\xEF\xBB\xBF"
         "BANK",
         "BANK"},
        {QByteArray("\xFF\xFEY\0E\0S\0", 8), "YES"},
        {QByteArray("\xFE\xFF\0N\0O", 6), "NO"},
        {"BANK\r\n", "BANK\r\n"},
        {"", ""},
    };
    for (const auto& c : cases) {
        writeBytes(modeFile(), c.bytes);
        EXPECT_EQ(readText(modeFile()), std::optional<QString>(c.text)) << c.bytes.toHex().data();
    }
    QString error;
    EXPECT_EQ(readText(styleFile(), &error), std::nullopt);
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(SettingsFiles, StartupMessageChoiceIsWrittenOnlyWhenTheFileExists) {
    makeProductFolder();
    EXPECT_EQ(rememberStartupMessageChoice(false), "");
    EXPECT_FALSE(QFile::exists(startupMessageFile()));
    writeBytes(startupMessageFile(), "YES");
    EXPECT_EQ(rememberStartupMessageChoice(false), "");
    EXPECT_EQ(bytesOf(startupMessageFile()), "NO");
    EXPECT_EQ(rememberStartupMessageChoice(true), "");
    EXPECT_EQ(bytesOf(startupMessageFile()), "YES");
}

TEST(SettingsValues, AreComparedExactly) {
    const struct {
        QString text;
        std::optional<bool> yesNo, mode;
    } cases[] = {
        {"YES", true, std::nullopt},          {"NO", false, std::nullopt},
        {"BANK", std::nullopt, true},         {"PRESET", std::nullopt, false},
        {"yes", std::nullopt, std::nullopt},  {"YES\n", std::nullopt, std::nullopt},
        {" NO", std::nullopt, std::nullopt},  {"BANK\n", std::nullopt, std::nullopt},
        {"Bank", std::nullopt, std::nullopt}, {"", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseYesNo(c.text), c.yesNo) << c.text.toStdString();
        EXPECT_EQ(parseMode(c.text), c.mode) << c.text.toStdString();
    }
}

TEST(SettingsValues, StyleNumberIsADecimalInteger) {
    const struct {
        QString text;
        std::optional<int> number;
    } cases[] = {
        {"0", 0},
        {"7", 7},
        {"6\r\n", 6},
        {QString(QChar(0x3000)) + "3", 3}, // an ideographic space is a blank too
        {"12", 12},
        {"-1", -1},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"3.5", std::nullopt},
        {"+3", std::nullopt},
        {"0x3", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseStyleNumber(c.text), c.number) << c.text.toStdString();
    EXPECT_EQ(styleResourceName(3), "Style_3");
}

} // namespace
} // namespace kestra::settings
