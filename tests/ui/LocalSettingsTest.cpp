#include "EditorFixture.h"
#include "catalogue/ResourceStore.h"
#include "core/Settings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QMenu>
#include <QRadioButton>

namespace kestra::test {
namespace {

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString styleSheetOf(int n) {
    return QString::fromUtf8(
        ResourceStore::compiled().find(settings::styleResourceName(n)).value_or(QByteArray()));
}

// Settings files written before the editor starts; the look is reset so a
// look left by another test cannot pass for one applied here.
class LocalSettings : public EditorFixture {
protected:
    void prepare() override {
        qApp->setStyleSheet(QString());
        for (const auto& [relative, bytes] : files) {
            const QString path = QDir(documents.path()).filePath(relative);
            QDir().mkpath(QFileInfo(path).path());
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
    }
    std::vector<std::pair<QString, QByteArray>> files;
};

TEST_F(LocalSettings, FirstStartCreatesFoldersAndDefaultsAndAppliesTheFirstLook) {
    const QDir docs(documents.path());
    EXPECT_TRUE(QFileInfo(docs.filePath("Quorvane/Kestra")).isDir());
    EXPECT_EQ(bytesOf(settings::startupMessageFile()), "YES");
    EXPECT_EQ(bytesOf(settings::modeFile()), "PRESET");
    EXPECT_FALSE(QFile::exists(settings::styleFile()));
    EXPECT_EQ(qApp->styleSheet(), styleSheetOf(0));
    EXPECT_TRUE(main->state().showUpdateMessage);
    EXPECT_TRUE(main->menuShowUpdateMsg->isChecked());
    EXPECT_FALSE(main->state().bankMode);
    EXPECT_TRUE(main->menuModePreset->isChecked());
    EXPECT_FALSE(main->menuModeBank->isChecked());
    EXPECT_FALSE(main->lblBankNum->isEnabled());
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('\n').toStdString();
}

struct ModeCase {
    QByteArray content;
    bool bankMode, presetChecked, bankChecked;
};

class ModeFile : public LocalSettings, public ::testing::WithParamInterface<ModeCase> {
protected:
    void prepare() override {
        files = {{"Quorvane/Kestra/Mode.txt", GetParam().content}};
        LocalSettings::prepare();
    }
};

TEST_P(ModeFile, IsReadExactlyAtStartAndLeftAsItWas) {
    const ModeCase& c = GetParam();
    EXPECT_EQ(main->state().bankMode, c.bankMode);
    EXPECT_EQ(main->menuModePreset->isChecked(), c.presetChecked);
    EXPECT_EQ(main->menuModeBank->isChecked(), c.bankChecked);
    if (c.bankMode) {
        EXPECT_TRUE(main->lblBankNum->isEnabled());
        EXPECT_TRUE(main->rdbtnBank1->isChecked());
    }
    EXPECT_EQ(bytesOf(settings::modeFile()), c.content);
}

INSTANTIATE_TEST_SUITE_P(Contents, ModeFile,
                         ::testing::Values(ModeCase{"BANK", true, false, true},
                                           ModeCase{"PRESET", false, true, false},
                                           ModeCase{"\xEF\xBB\xBF"
                                                    "BANK",
                                                    true, false, true},
                                           ModeCase{"BANK\n", false, false, false},
                                           ModeCase{"bank", false, false, false}));

TEST_F(LocalSettings, ModeChangesReplaceTheModeFile) {
    main->SetBankMode();
    EXPECT_EQ(bytesOf(settings::modeFile()), "BANK");
    main->SetPresetMode();
    EXPECT_EQ(bytesOf(settings::modeFile()), "PRESET");
}

class StartupMessageNo : public LocalSettings {
    void prepare() override {
        files = {{"Quorvane/Kestra/ShowMessageVersionAtStartup.txt", "NO"}};
        LocalSettings::prepare();
    }
};

TEST_F(StartupMessageNo, ClearsTheChoiceAndItsCheckMark) {
    EXPECT_FALSE(main->state().showUpdateMessage);
    EXPECT_FALSE(main->menuShowUpdateMsg->isChecked());
    main->menuShowUpdateMsg->trigger();
    EXPECT_EQ(bytesOf(settings::startupMessageFile()), "YES");
    EXPECT_FALSE(main->state().showUpdateMessage) << "applies from the next start";
}

TEST_F(LocalSettings, ShowUpdateMessageWritesOnlyAnExistingFile) {
    main->menuShowUpdateMsg->trigger();
    EXPECT_FALSE(main->menuShowUpdateMsg->isChecked());
    EXPECT_EQ(bytesOf(settings::startupMessageFile()), "NO");
    EXPECT_TRUE(main->state().showUpdateMessage);

    QFile::remove(settings::startupMessageFile());
    main->menuShowUpdateMsg->trigger();
    EXPECT_FALSE(QFile::exists(settings::startupMessageFile()));
    EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST_F(LocalSettings, LookMenuOffersSevenStylesAndKeepsTheChoice) {
    const QList<QAction*> entries = main->menuLook->actions();
    ASSERT_EQ(entries.size(), 7);
    for (int i = 0; i < entries.size(); ++i)
        EXPECT_EQ(entries[i]->text(), QString::number(i));
    entries[6]->trigger();
    EXPECT_EQ(qApp->styleSheet(), styleSheetOf(6));
    EXPECT_EQ(bytesOf(settings::styleFile()), "6");
    entries[2]->trigger();
    EXPECT_EQ(qApp->styleSheet(), styleSheetOf(2));
    EXPECT_EQ(bytesOf(settings::styleFile()), "2");
}

struct StyleCase {
    QByteArray content;
    int applied; // -1: the look stays as it was
};

class StyleFile : public LocalSettings, public ::testing::WithParamInterface<StyleCase> {
protected:
    void prepare() override {
        files = {{"Quorvane/style.txt", GetParam().content}};
        LocalSettings::prepare();
    }
};

TEST_P(StyleFile, SelectsTheSavedLook) {
    const StyleCase& c = GetParam();
    EXPECT_EQ(qApp->styleSheet(), c.applied < 0 ? QString() : styleSheetOf(c.applied));
    EXPECT_EQ(bytesOf(settings::styleFile()), c.content) << "reading never rewrites it";
    EXPECT_TRUE(prompts.errors.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Contents, StyleFile,
                         ::testing::Values(StyleCase{"7", 7}, StyleCase{"3", 3},
                                           StyleCase{"5\r\n", 5}, StyleCase{"abc", 0},
                                           StyleCase{"", 0}, StyleCase{"9", -1}));

class DocumentsBlocked : public LocalSettings {
    // A file where the maker's folder belongs.
    void prepare() override {
        files = {{"Quorvane", "not a folder"}};
        LocalSettings::prepare();
    }
};

TEST_F(DocumentsBlocked, FolderErrorsAreReportedAndTheEditorStillStarts) {
    ASSERT_GE(prompts.errors.size(), 2);
    EXPECT_TRUE(prompts.errors[0].startsWith("Error creating folder: "))
        << prompts.errors[0].toStdString();
    EXPECT_GT(prompts.errors[0].size(), QString("Error creating folder: ").size());
    EXPECT_TRUE(prompts.errors[1].startsWith("Error creating subfolder: "));
    EXPECT_EQ(qApp->styleSheet(), styleSheetOf(0));
    EXPECT_TRUE(main->state().showUpdateMessage);
    EXPECT_FALSE(main->state().bankMode);

    prompts.clear();
    main->menuLook->actions().at(4)->trigger();
    EXPECT_EQ(qApp->styleSheet(), styleSheetOf(4)) << "the look applies even if it cannot be kept";
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].startsWith("Could not save the setting to "));
}

} // namespace
} // namespace kestra::test
