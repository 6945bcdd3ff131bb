// The editor's settings files below the documents folder: created at the
// first start, read exactly as they are, written when the player chooses.
#include "EditorFixture.h"
#include "catalogue/ResourceStore.h"
#include "core/Settings.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QMenu>
#include <QRadioButton>
#include <QRegularExpression>

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
    QMenu* look() {
        for (QMenu* menu : main->menuBar()->findChildren<QMenu*>())
            if (menu->title() == "Look")
                return menu;
        ADD_FAILURE() << "no Look menu";
        return nullptr;
    }
    QGroupBox* banks() { return control<QGroupBox>(main, "FX Bank"); }

    std::vector<std::pair<QString, QByteArray>> files;
};

TEST_F(LocalSettings, FirstStartCreatesFoldersAndDefaultsAndAppliesTheFirstLook) {
    const QDir docs(documents.path());
    EXPECT_TRUE(QFileInfo(docs.filePath("Quorvane/Kestra")).isDir());
    EXPECT_EQ(bytesOf(settings::startupMessageFile()), "YES");
    EXPECT_EQ(bytesOf(settings::modeFile()), "PRESET");
    EXPECT_FALSE(QFile::exists(settings::styleFile()));
    EXPECT_EQ(qApp->styleSheet(), styleSheetOf(0));
    EXPECT_TRUE(main->showUpdateMessage());
    EXPECT_TRUE(action("Show Update Message")->isChecked());
    EXPECT_FALSE(main->bankMode());
    EXPECT_TRUE(action("Preset Mode")->isChecked());
    EXPECT_FALSE(action("FX Bank Mode")->isChecked());
    EXPECT_FALSE(banks()->isEnabled());
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
}

struct ModeCase {
    const char* name;
    QByteArray content;
    bool bankMode, presetChecked, bankChecked;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << c.name;
}

class ModeFile : public LocalSettings, public ::testing::WithParamInterface<ModeCase> {
protected:
    void prepare() override {
        files = {{"Quorvane/Kestra/Mode.txt", GetParam().content}};
        LocalSettings::prepare();
    }
};

TEST_P(ModeFile, IsReadExactlyAtStartAndLeftAsItWas) {
    const ModeCase& c = GetParam();
    EXPECT_EQ(main->bankMode(), c.bankMode);
    EXPECT_EQ(action("Preset Mode")->isChecked(), c.presetChecked);
    EXPECT_EQ(action("FX Bank Mode")->isChecked(), c.bankChecked);
    EXPECT_EQ(banks()->isEnabled(), c.bankMode);
    if (c.bankMode) {
        EXPECT_TRUE(button("Bank I")->isChecked());
    }
    EXPECT_EQ(bytesOf(settings::modeFile()), c.content);
}

INSTANTIATE_TEST_SUITE_P(Contents, ModeFile,
                         ::testing::Values(ModeCase{"Bank", "BANK", true, false, true},
                                           ModeCase{"Preset", "PRESET", false, true, false},
                                           ModeCase{"BankAfterByteOrderMark",
                                                    "\xEF\xBB\xBF"
                                                    "BANK",
                                                    true, false, true},
                                           ModeCase{"BankWithLineEnd", "BANK\n", false, false,
                                                    false},
                                           ModeCase{"LowerCase", "bank", false, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LocalSettings, ModeChangesReplaceTheModeFile) {
    link();
    trigger("FX Bank Mode");
    EXPECT_EQ(bytesOf(settings::modeFile()), "BANK");
    EXPECT_TRUE(action("FX Bank Mode")->isChecked());
    EXPECT_FALSE(action("Preset Mode")->isChecked());
    trigger("Preset Mode");
    EXPECT_EQ(bytesOf(settings::modeFile()), "PRESET");
    EXPECT_TRUE(action("Preset Mode")->isChecked());
    EXPECT_FALSE(action("FX Bank Mode")->isChecked());
}

class StartupMessageNo : public LocalSettings {
    void prepare() override {
        files = {{"Quorvane/Kestra/ShowMessageVersionAtStartup.txt", "NO"}};
        LocalSettings::prepare();
    }
};

TEST_F(StartupMessageNo, ClearsTheChoiceAndItsCheckMark) {
    EXPECT_FALSE(main->showUpdateMessage());
    EXPECT_FALSE(action("Show Update Message")->isChecked());
    trigger("Show Update Message");
    EXPECT_EQ(bytesOf(settings::startupMessageFile()), "YES");
    EXPECT_FALSE(main->showUpdateMessage()) << "applies from the next start";
}

TEST_F(LocalSettings, ShowUpdateMessageWritesOnlyAnExistingFile) {
    trigger("Show Update Message");
    EXPECT_FALSE(action("Show Update Message")->isChecked());
    EXPECT_EQ(bytesOf(settings::startupMessageFile()), "NO");
    EXPECT_TRUE(main->showUpdateMessage());

    QFile::remove(settings::startupMessageFile());
    trigger("Show Update Message");
    EXPECT_FALSE(QFile::exists(settings::startupMessageFile()));
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

// Each look by its name, the current one checked, from the start on.
TEST_F(LocalSettings, LookMenuOffersEightNamedStylesAndChecksTheCurrentOne) {
    const QList<QAction*> entries = look()->actions();
    auto names = [&] {
        QStringList all;
        for (QAction* entry : entries)
            all << entry->text() + (entry->isChecked() ? "*" : "");
        return all;
    };
    EXPECT_EQ(names(), QStringList({"Stage Amber*", "Daylight", "Midnight Blue", "Forest Green",
                                    "Red Amp", "High Contrast", "Dusk Violet", "Vintage Cream"}));
    ASSERT_EQ(entries.size(), 8);
    entries[7]->trigger();
    EXPECT_EQ(qApp->styleSheet(), styleSheetOf(7));
    EXPECT_EQ(bytesOf(settings::styleFile()), "7");
    EXPECT_TRUE(entries[7]->isChecked());
    entries[2]->trigger();
    EXPECT_EQ(qApp->styleSheet(), styleSheetOf(2));
    EXPECT_EQ(bytesOf(settings::styleFile()), "2");
    EXPECT_EQ(names()[2], "Midnight Blue*");
    EXPECT_FALSE(entries[7]->isChecked());
}

// Every look colours the Live switch its own way: the style sheet reaches
// the switch (a type selector names its class with its namespace).
TEST_F(LocalSettings, EveryLookColoursTheLiveSwitch) {
    auto* live = control<ToggleSwitch>(main, "Live OFF");
    const QRegularExpression declared("qproperty-trackOffColor:\\s*(#[0-9a-fA-F]{6})");
    const QList<QAction*> entries = look()->actions();
    for (int n = 0; n < entries.size(); ++n) {
        const QRegularExpressionMatch match = declared.match(styleSheetOf(n));
        ASSERT_TRUE(match.hasMatch()) << entries[n]->text().toStdString();
        entries[n]->trigger();
        EXPECT_EQ(live->trackOffColor(), QColor(match.captured(1)))
            << entries[n]->text().toStdString();
    }
}

struct StyleCase {
    const char* name;
    QByteArray content;
    int applied; // -1: the look stays as it was
};

void PrintTo(const StyleCase& c, std::ostream* os) {
    *os << c.name;
}

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
    for (QAction* entry : look()->actions())
        EXPECT_EQ(entry->isChecked(), entry->data().toInt() == c.applied)
            << entry->text().toStdString();
    EXPECT_EQ(bytesOf(settings::styleFile()), c.content) << "reading never rewrites it";
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Contents, StyleFile,
                         ::testing::Values(StyleCase{"Seven", "7", 7}, StyleCase{"Three", "3", 3},
                                           StyleCase{"FiveWithLineEnd", "5\r\n", 5},
                                           StyleCase{"NotANumber", "abc", 0},
                                           StyleCase{"Empty", "", 0},
                                           StyleCase{"NoSuchLook", "9", -1}),
                         [](const auto& info) { return std::string(info.param.name); });

class DocumentsBlocked : public LocalSettings {
    // A file where the maker's folder belongs.
    void prepare() override {
        files = {{"Quorvane", "not a folder"}};
        LocalSettings::prepare();
    }
};

TEST_F(DocumentsBlocked, FolderErrorsAreReportedAndTheEditorStillStarts) {
    ASSERT_GE(dialogs.errors.size(), 2);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Error creating folder: "))
        << dialogs.errors[0].toStdString();
    EXPECT_GT(dialogs.errors[0].size(), QString("Error creating folder: ").size());
    EXPECT_TRUE(dialogs.errors[1].startsWith("Error creating subfolder: "));
    EXPECT_EQ(qApp->styleSheet(), styleSheetOf(0));
    EXPECT_TRUE(main->showUpdateMessage());
    EXPECT_FALSE(main->bankMode());

    dialogs.clear();
    look()->actions().at(4)->trigger();
    EXPECT_EQ(qApp->styleSheet(), styleSheetOf(4)) << "the look applies even if it cannot be kept";
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Could not save the setting to "));
}

} // namespace
} // namespace kestra::test
