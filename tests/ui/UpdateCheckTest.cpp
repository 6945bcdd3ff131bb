// The check for a newer editor on the maker's site, the New Version window,
// and handing over to the updater.
#include "EditorFixture.h"
#include "MakerServer.h"
#include "core/Settings.h"
#include "ui/Updater.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

namespace kestra::test {
namespace {

const QString EditorVersion = QStringLiteral(KESTRA_EDITOR_VERSION);

// Records the addresses the editor opens in the browser.
class Browser : public QObject {
    Q_OBJECT
public:
    Browser() { QDesktopServices::setUrlHandler("http", this, "open"); }
    ~Browser() override { QDesktopServices::unsetUrlHandler("http"); }
    QStringList opened;
public slots:
    void open(const QUrl& url) { opened.append(url.toString()); }
};

class UpdateCheck : public EditorFixture {
protected:
    void prepare() override { setMakerSite(server.site()); }
    void SetUp() override {
        EditorFixture::SetUp();
        setProgramStarter([this](const QString& program, const QStringList& arguments) {
            started.append(program);
            started.append(arguments);
            return true;
        });
        setEditorTerminator([this] { ++terminated; });
    }
    void TearDown() override {
        setProgramStarter({});
        setEditorTerminator({});
        EditorFixture::TearDown();
    }
    NewVersionDialog& window() { return editor->newVersionDialog(); }
    QString availability() {
        for (QAction* a : main->menuBar()->findChildren<QAction*>())
            if (a->text().startsWith("New version available") || a->text() == "No update available")
                return a->text();
        return {};
    }
    // The answer arrives through the event loop; every outcome is logged.
    void waitForTheAnswer(qsizetype logBefore) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return log().size() > logBefore; }, 5000))
            << "the check never ended";
    }
    void check(const QByteArray& status, const QByteArray& body) {
        server.status = status;
        server.body = body;
        const qsizetype before = log().size();
        main->checkForNewerVersion();
        waitForTheAnswer(before);
    }
    // The status bar's note on a failed check, and its reason.
    std::pair<QString, QString> updateNote() {
        auto* note = main->findChild<QLabel*>("updateNote");
        return {note->text(), note->toolTip()};
    }
    QStringList windowTexts() {
        QStringList texts;
        for (QLabel* label : window().findChildren<QLabel*>())
            texts.append(label->text());
        return texts;
    }

    MakerServer server;
    Browser browser;
    QStringList started;
    int terminated = 0;
};

TEST_F(UpdateCheck, RunsOnceAboutASecondAfterTheWindowShows) {
    EXPECT_EQ(waitingTimers(), 0) << "nothing is checked before the editor shows";
    EXPECT_TRUE(action("Editor Version:  " + EditorVersion));
    EXPECT_FALSE(action("Update Now")->isEnabled());
    EXPECT_EQ(availability(), "New version available:");

    server.body = "99.0";
    editor->show();
    clock.advance(999);
    EXPECT_EQ(waitingTimers(), 1);
    const qsizetype before = log().size();
    clock.advance(1);
    EXPECT_EQ(waitingTimers(), 0);
    waitForTheAnswer(before);
    EXPECT_EQ(server.paths, QStringList({"/download/kestra/kestra-version.php"}));
    window().hide();

    clock.advance(60000);
    QCoreApplication::processEvents();
    EXPECT_EQ(server.paths.size(), 1);
}

TEST_F(UpdateCheck, NewerVersionIsOfferedInTheMenuAndTheWindow) {
    check("200 OK", "99.0");
    EXPECT_EQ(availability(), "New version available: 99.0");
    EXPECT_TRUE(action("Update Now")->isEnabled());
    ASSERT_TRUE(window().isVisible());
    EXPECT_EQ(window().windowTitle(), "New Version");
    EXPECT_TRUE(windowTexts().contains("A new version of the Kestra Editor is available"));
    EXPECT_TRUE(
        windowTexts().contains("Your version: " + EditorVersion + "     New version: 99.0"));
    EXPECT_TRUE(log().contains("currentAppVersion: " + EditorVersion + "\nnewAppVersion: 99.0"));
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(updateNote().first, "");
}

TEST_F(UpdateCheck, SameVersionSaysNoUpdate) {
    check("200 OK", EditorVersion.toUtf8());
    EXPECT_EQ(availability(), "No update available");
    EXPECT_FALSE(action("Update Now")->isEnabled());
    EXPECT_FALSE(window().isVisible());
}

class UpdateMessageOff : public UpdateCheck {
    void prepare() override {
        UpdateCheck::prepare();
        QDir().mkpath(QDir(documents.path()).filePath("Quorvane/Kestra"));
        QFile file(
            QDir(documents.path()).filePath("Quorvane/Kestra/ShowMessageVersionAtStartup.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("NO");
    }
};

TEST_F(UpdateMessageOff, MenuStillOffersTheUpdateButNoWindowOpens) {
    check("200 OK", "99.0");
    EXPECT_EQ(availability(), "New version available: 99.0");
    EXPECT_TRUE(action("Update Now")->isEnabled());
    EXPECT_FALSE(window().isVisible());
}

// The editor works without the check: a failed one is logged and shown in
// the Info menu and the status bar, never in a box that interrupts the start.
struct FailureCase {
    const char* name;
    QByteArray status, body;
    const char* logged;
    const char* availability;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class FailedCheck : public UpdateCheck, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailedCheck, IsLoggedAndShownInTheMenuAndTheStatusBarOnly) {
    const FailureCase& c = GetParam();
    check(c.status, c.body);
    EXPECT_TRUE(log().contains(QString::fromLatin1(c.logged))) << log().toStdString();
    EXPECT_EQ(availability(), QString::fromLatin1(c.availability));
    EXPECT_EQ(updateNote().first, "Update check failed");
    EXPECT_TRUE(updateNote().second.contains(QString::fromLatin1(c.logged)));
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_FALSE(action("Update Now")->isEnabled());
    EXPECT_FALSE(window().isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FailedCheck,
    ::testing::Values(FailureCase{"NotFound", "404 Not Found", "missing", "Error: Not Found",
                                  "New version available: could not check"},
                      FailureCase{"ServerError", "500 Internal Server Error", "",
                                  "Error: Internal Server Error",
                                  "New version available: could not check"},
                      FailureCase{"NotAVersion", "200 OK", "<html>busy</html>",
                                  "Cannot compare the versions", "New version available:"},
                      FailureCase{"Empty", "200 OK", "", "Cannot compare the versions",
                                  "New version available:"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateCheck, AnUnreachableServerIsLoggedWithoutABox) {
    setMakerSite("http://127.0.0.1:1");
    const qsizetype before = log().size();
    main->checkForNewerVersion();
    waitForTheAnswer(before);
    EXPECT_TRUE(log().contains("Could not check for a newer version of the editor"));
    EXPECT_EQ(availability(), "New version available: could not check");
    EXPECT_EQ(updateNote().first, "Update check failed");
    EXPECT_TRUE(
        updateNote().second.startsWith("Could not check for a newer version of the editor"));
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_FALSE(action("Update Now")->isEnabled());
}

TEST_F(UpdateCheck, DontShowAgainWritesNoOnlyWhenChecked) {
    check("200 OK", "99.0");
    auto* dontShow = control<QCheckBox>(&window(), "Don't Show This Message Again");
    dontShow->setChecked(true);
    QFile file(settings::startupMessageFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "NO");
    file.close();
    dontShow->setChecked(false);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "NO");
    EXPECT_TRUE(main->showUpdateMessage()) << "this run keeps its setting";
}

TEST_F(UpdateCheck, WebPagesOpenInTheBrowser) {
    control<QPushButton>(&window(), "What's New?")->click();
    trigger("Support");
    EXPECT_EQ(browser.opened, QStringList({server.site() + "/download/kestra/update/whatsnew.html",
                                           server.site() + "/contact-us/"}));
}

// Where no updater comes with the editor (Linux), Update Now says how to
// update instead of ending the editor.
TEST_F(UpdateCheck, WithoutAnUpdaterUpdateNowSaysHowToUpdateAndTheEditorStays) {
    check("200 OK", "99.0");
    control<QPushButton>(&window(), "Update Now")->click();
    trigger("Update Now");
    EXPECT_TRUE(dialogs.questions.isEmpty());
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_TRUE(dialogs.messages[0].startsWith("Kestra Editor 99.0 is available"));
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_TRUE(started.isEmpty());
    EXPECT_EQ(terminated, 0);
}

// An updater beside the program, for as long as a test needs it.
class UpdaterBesideTheProgram : public UpdateCheck {
protected:
    void SetUp() override {
        UpdateCheck::SetUp();
        ASSERT_TRUE(folder.isValid());
        setUpdaterFolder(folder.path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void TearDown() override {
        setUpdaterFolder(QString());
        UpdateCheck::TearDown();
    }
    QTemporaryDir folder;
    const QString path = folder.filePath(QString::fromLatin1(UpdaterProgram));
};

TEST_F(UpdaterBesideTheProgram, UpdateNowAsksFirstAndEndsTheEditor) {
    check("200 OK", "99.0");
    dialogs.answers = {false};
    control<QPushButton>(&window(), "Update Now")->click();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0], "This action will update the KESTRA Editor to the latest "
                                    "version. Do you want to continue?");
    EXPECT_EQ(terminated, 0);

    trigger("Update Now");
    EXPECT_EQ(dialogs.questions.size(), 2);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_TRUE(started.contains(path) || started.contains(QDir::toNativeSeparators(path)))
        << started.join(' ').toStdString();
    EXPECT_EQ(terminated, 1);
}

// Update Now ends the editor: edits the pedal has not stored are offered to
// be stored first, as closing the editor does.
TEST_F(UpdaterBesideTheProgram, UpdateNowAsksAboutEditsNotStored) {
    if (!ResourceStore::compiled().contains("WOBBLECAT_TREM"))
        GTEST_SKIP() << "the catalogue has no Wobblecat Trem";
    check("200 OK", "99.0");
    window().hide();
    link();
    select("Modulation", "Wobblecat Trem");
    click("Upload Selected Effect");
    settle();
    auto* rate = control<QSlider>(&editor->parameterWindow(), "Rate");
    ASSERT_TRUE(rate && rate->isEnabled());
    rate->setValue(rate->value() == 700 ? 300 : 700);
    ASSERT_TRUE(main->unsavedEdits());
    dialogs.clear();
    dialogs.offerAnswers = {Dialogs::Choice::Cancel};
    trigger("Update Now");
    EXPECT_EQ(dialogs.offers.size(), 1);
    EXPECT_TRUE(dialogs.questions.isEmpty()) << "the player stays";
    EXPECT_EQ(terminated, 0);

    dialogs.offerAnswers = {Dialogs::Choice::No};
    trigger("Update Now");
    EXPECT_EQ(dialogs.offers.size(), 2);
    EXPECT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(terminated, 1);
}

TEST_F(UpdateCheck, UpdaterReceivesBothPathsWhole) {
    QTemporaryDir folder;
    const QString updater = folder.filePath("KESTRA_Win_Updater.exe");
    QFile file(updater);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(runUpdaterElevated(updater, "/tmp/my temp/KESTRA_Editor_Update.exe",
                                   "/opt/Kestra Editor/kestra-editor"));
    ASSERT_GE(started.size(), 3);
    EXPECT_EQ(started.mid(started.size() - 2), QStringList({"/tmp/my temp/KESTRA_Editor_Update.exe",
                                                            "/opt/Kestra Editor/kestra-editor"}));
    EXPECT_TRUE(started.contains(updater));
}

} // namespace
} // namespace kestra::test

#include "UpdateCheckTest.moc"
