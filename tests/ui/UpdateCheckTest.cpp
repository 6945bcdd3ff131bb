#include "EditorFixture.h"
#include "app/NewVersionMsg.h"
#include "core/Settings.h"
#include "ui/Updater.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

namespace kestra::test {
namespace {

const QString EditorVersion = QStringLiteral(KESTRA_EDITOR_VERSION);

// A plain HTTP server on the loopback interface that gives every request
// the same answer and remembers the paths asked for.
class MakerServer : public QObject {
public:
    MakerServer() {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
        });
    }
    QString site() const { return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()); }

    QByteArray status = "200 OK";
    QByteArray body;
    QStringList paths;

private:
    void answer(QTcpSocket* socket) {
        const QByteArray request = socket->readAll();
        paths.append(QString::fromLatin1(request.split(' ').value(1)));
        socket->write("HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }
    QTcpServer server_;
};

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
        window = editor->formNewVersionMsg.get();
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
    void check(const QByteArray& status, const QByteArray& body) {
        server.status = status;
        server.body = body;
        main->checkmostrecentversiononwebsite();
    }

    MakerServer server;
    Browser browser;
    TformNewVersionMsg* window = nullptr;
    QStringList started;
    int terminated = 0;
};

TEST_F(UpdateCheck, RunsOnceAboutASecondAfterStart) {
    EXPECT_TRUE(main->TimerCheckWebVersion.isActive());
    EXPECT_EQ(main->TimerCheckWebVersion.interval(), 1000);
    EXPECT_EQ(main->menuAppVersion->text(), "Editor Version:  " + EditorVersion);
    EXPECT_FALSE(main->menuUpdateNow->isEnabled());
    check("200 OK", "99.0");
    EXPECT_FALSE(main->TimerCheckWebVersion.isActive());
    EXPECT_EQ(server.paths, QStringList({"/download/kestra/kestra-version.php"}));
}

TEST_F(UpdateCheck, NewerVersionIsOfferedInTheMenuAndTheWindow) {
    check("200 OK", "99.0");
    EXPECT_EQ(main->menuNewAppVersion->text(), "New version available: 99.0");
    EXPECT_TRUE(main->menuUpdateNow->isEnabled());
    ASSERT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "New Version");
    EXPECT_EQ(window->Label1->text(), "A new version of the Kestra Editor is available");
    EXPECT_EQ(window->Label2->text(), "Your version: " + EditorVersion + "     New version: 99.0");
    EXPECT_TRUE(log().contains("currentAppVersion: " + EditorVersion + "\nnewAppVersion: 99.0"));
    EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST_F(UpdateCheck, SameVersionSaysNoUpdate) {
    check("200 OK", EditorVersion.toUtf8());
    EXPECT_EQ(main->menuNewAppVersion->text(), "No update available");
    EXPECT_FALSE(main->menuUpdateNow->isEnabled());
    EXPECT_FALSE(window->isVisible());
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
    EXPECT_EQ(main->menuNewAppVersion->text(), "New version available: 99.0");
    EXPECT_TRUE(main->menuUpdateNow->isEnabled());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(UpdateCheck, FailuresChangeNothingAndNeverCrash) {
    const struct {
        QByteArray status, body;
        QStringList errors;
    } cases[] = {
        {"404 Not Found", "missing", {"Error: Not Found"}},
        {"500 Internal Server Error", "", {"Error: Internal Server Error"}},
        {"200 OK", "<html>busy</html>", {}},
        {"200 OK", "", {}},
    };
    for (const auto& c : cases) {
        prompts.clear();
        check(c.status, c.body);
        EXPECT_EQ(prompts.errors, c.errors) << c.status.data();
        EXPECT_EQ(main->menuNewAppVersion->text(), "New version available:");
        EXPECT_FALSE(main->menuUpdateNow->isEnabled());
        EXPECT_FALSE(window->isVisible());
    }
}

TEST_F(UpdateCheck, UnreachableServerIsReported) {
    setMakerSite("http://127.0.0.1:1");
    main->checkmostrecentversiononwebsite();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].startsWith("Could not check for a newer version of the editor"));
    EXPECT_FALSE(main->menuUpdateNow->isEnabled());
}

TEST_F(UpdateCheck, DontShowAgainWritesNoOnlyWhenChecked) {
    check("200 OK", "99.0");
    window->CheckBox1->setChecked(true);
    EXPECT_EQ(QFile(settings::startupMessageFile()).open(QIODevice::ReadOnly), true);
    QFile file(settings::startupMessageFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "NO");
    file.close();
    window->CheckBox1->setChecked(false);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "NO");
    EXPECT_TRUE(main->state().showUpdateMessage);
}

TEST_F(UpdateCheck, WebPagesOpenInTheBrowser) {
    window->btnSeeWhatsNew->click();
    main->menuSupport->trigger();
    EXPECT_EQ(browser.opened, QStringList({server.site() + "/download/kestra/update/whatsnew.html",
                                           server.site() + "/contact-us/"}));
}

TEST_F(UpdateCheck, UpdateAsksFirstAndEndsTheEditorEvenWhenTheUpdaterIsMissing) {
    check("200 OK", "99.0");
    prompts.answers = {false};
    window->btnLaunchUpdate->click();
    ASSERT_EQ(prompts.questions.size(), 1);
    EXPECT_EQ(prompts.questions[0], "This action will update the KESTRA Editor to the latest "
                                    "version. Do you want to continue?");
    EXPECT_EQ(terminated, 0);

    // No updater lies beside the test program.
    main->menuUpdateNow->trigger();
    EXPECT_EQ(prompts.questions.size(), 2);
    EXPECT_EQ(prompts.errors,
              QStringList({"Failed to launch updater. Please run as administrator."}));
    EXPECT_TRUE(started.isEmpty());
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
