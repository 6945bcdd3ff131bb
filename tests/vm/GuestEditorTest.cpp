// The editor inside the test's virtual machine, on the /dev/ttyUSB0 that the
// kernel's ftdi_sio driver makes of QEMU's FTDI converter. vm_tests starts
// these checks in the guest and holds the pedal and the converter's cable;
// a line "vm: unplug" or "vm: replug" asks it to pull the cable out or to
// plug it in again. The editor runs on the system clock and the real event
// loop, as it does for a player; only the dialogs are the test's.
#include "app/EditorApplication.h"
#include "catalogue/ResourceNames.h"
#include "catalogue/ResourceStore.h"
#include "core/MakerSite.h"
#include "core/UserFolders.h"
#include "port/SerialPort.h"
#include "tests/support/StatusLine.h"
#include "tests/support/TestDialogs.h"

#include <QAbstractButton>
#include <QAction>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <gtest/gtest.h>

namespace kestra::test {
namespace {

const QString Device = QStringLiteral("/dev/ttyUSB0");
const QString Effect = QStringLiteral("Wobblecat Trem");

// Runs the event loop until done() holds, for up to limitMs of real time.
bool waitUntil(const std::function<bool()>& done, qint64 limitMs) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > limitMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// A line for vm_tests, which reads the guest's output as it comes.
void tellHost(const char* line) {
    std::printf("vm: %s\n", line);
    std::fflush(stdout);
}

// QEMU's converter is an FT232B (0403:6001), not the pedal's FT230X
// (0403:6015): the search finds it by its own identity, through the
// driver's sysfs attributes, and the pedal's identity finds nothing.
TEST(GuestSearch, FindsTheConverterByItsUsbIdentityAndNoOther) {
    SerialPort port;
    std::vector<PortDevice> devices;
    ASSERT_TRUE(port.listDevices(devices).ok());
    EXPECT_TRUE(devices.empty()) << "a converter that is not a pedal's is left alone";

    port.setUsbIdentity(0x0403, 0x6001);
    ASSERT_TRUE(port.listDevices(devices).ok());
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].location, Device);
    EXPECT_EQ(devices[0].serialNumber, QString::fromUtf8(qgetenv("KESTRA_VM_SERIAL")));
    EXPECT_FALSE(devices[0].description.isEmpty());

    ASSERT_TRUE(port.open(devices[0]).ok());
    EXPECT_TRUE(port.setLine(LineSettings::bootloader()).ok()) << "the driver takes parity";
    EXPECT_TRUE(port.setLine(LineSettings::application()).ok());
    port.close();
}

// The editor started with --port /dev/ttyUSB0: its own search looks for
// the FT230X, which this converter is not (see above).
class GuestEditor : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ResourceStore::compiled().contains(format_resource_name(Effect)))
            GTEST_SKIP() << "the catalogue has no " << Effect.toStdString();
        setDocumentsFolder(documents.path());
        setMakerSite(QStringLiteral("http://127.0.0.1:1"));
        editor = std::make_unique<EditorApplication>(false, BackendOptions{false, Device});
        editor->completeStartup();
        main = &editor->mainWindow();
    }
    void TearDown() override {
        editor.reset();
        setDocumentsFolder(QString());
        setMakerSite(QString());
    }
    QAction* action(const QString& text) {
        for (QAction* a : main->menuBar()->findChildren<QAction*>())
            if (a->text() == text)
                return a;
        ADD_FAILURE() << "no menu entry " << text.toStdString();
        return nullptr;
    }
    QAbstractButton* button(const QString& name) {
        for (QAbstractButton* b : main->findChildren<QAbstractButton*>())
            if (b->accessibleName() == name)
                return b;
        ADD_FAILURE() << "no button " << name.toStdString();
        return nullptr;
    }
    void choose(const QString& list, const QString& item) {
        for (QListWidget* widget : main->findChildren<QListWidget*>()) {
            if (widget->accessibleName() != list)
                continue;
            const auto items = widget->findItems(item, Qt::MatchExactly);
            ASSERT_EQ(items.size(), 1) << item.toStdString();
            emit widget->itemClicked(items[0]);
            return;
        }
        FAIL() << "no list " << list.toStdString();
    }
    Connection& connection() { return editor->connection(); }
    bool idle() { return connection().operation().isEmpty(); }
    // Waits until no operation runs; false after a minute.
    bool settle() {
        return waitUntil([this] { return idle(); }, 60000);
    }
    QString status() { return main->findChild<QLabel*>("status")->text(); }
    QString errors() { return dialogs.errors.join(QLatin1Char('|')); }

    QTemporaryDir documents;
    TestDialogs dialogs;
    std::unique_ptr<EditorApplication> editor;
    MainWindow* main = nullptr;
};

TEST_F(GuestEditor, ScansLinksUploadsReadsBackAndRequests) {
    action("Scan")->trigger();
    EXPECT_TRUE(statusLine(*main).endsWith(" found, click Link"))
        << statusLine(*main).toStdString();
    dialogs.clear();

    action("Link")->trigger();
    ASSERT_TRUE(settle());
    ASSERT_EQ(connection().state(), Connection::State::Linked) << errors().toStdString();
    EXPECT_TRUE(statusLine(*main).startsWith("No effect found on pedal"));
    EXPECT_TRUE(action("Firmware Version: 3"));

    // Get FX Stored on Pedal the moment the upload's write is done: its
    // frame purges the transmit queue first, which must not cut the upload.
    choose("Categories", "Modulation");
    choose("Effects", Effect);
    if (QAction* live = action("Edit After Upload"); live->isChecked())
        live->trigger(); // the click below is the player's
    button("Upload Selected Effect")->click();
    QAbstractButton* getStored = button("Get FX Stored on Pedal");
    ASSERT_TRUE(waitUntil([&] { return idle() && getStored->isEnabled(); }, 60000));
    getStored->click();
    ASSERT_TRUE(settle());
    EXPECT_TRUE(waitUntil([this] { return status() == "Upload complete"; }, 10000))
        << status().toStdString();
    EXPECT_EQ(main->storedEffect().name, Effect);

    button("Request")->click();
    ASSERT_TRUE(settle());
    EXPECT_EQ(connection().state(), Connection::State::Linked);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << errors().toStdString();
    EXPECT_TRUE(editor->console().logText().contains("latency timer: 4 ms"))
        << "root may set the driver's latency timer";
}

// The host keeps the pedal silent, so the link's first exchange is still
// waiting for its answer when the cable comes out.
TEST_F(GuestEditor, AnUnplugMidOperationIsOneMessageAndLinkWorksAfterTheReplug) {
    action("Link")->trigger();
    ASSERT_EQ(connection().state(), Connection::State::Linking);
    tellHost("unplug");
    ASSERT_TRUE(waitUntil([this] { return !dialogs.errors.isEmpty(); }, 60000))
        << "the unplug went unnoticed";
    EXPECT_EQ(connection().state(), Connection::State::Lost);
    // Nothing more comes of the same unplug.
    waitUntil([] { return false; }, 1000);
    ASSERT_EQ(dialogs.errors.size(), 1) << errors().toStdString();
    EXPECT_TRUE(dialogs.errors[0].startsWith("The pedal was disconnected"))
        << errors().toStdString();
    EXPECT_TRUE(action("Link")->isEnabled());

    // The driver names the converter ttyUSB0 again only once nothing holds
    // the old one open: Link below finds it there only if the editor let go.
    dialogs.clear();
    tellHost("replug");
    // As a player would, Link once udev has made the device.
    ASSERT_TRUE(waitUntil([] { return QFileInfo::exists(Device); }, 60000))
        << Device.toStdString() << " did not come back";
    ASSERT_EQ(QProcess::execute(QStringLiteral("udevadm"),
                                {QStringLiteral("settle"), QStringLiteral("--timeout=60")}),
              0);
    action("Link")->trigger();
    ASSERT_TRUE(settle());
    EXPECT_EQ(connection().state(), Connection::State::Linked) << errors().toStdString();
    EXPECT_TRUE(statusLine(*main).startsWith("No effect found on pedal"));
    EXPECT_TRUE(dialogs.errors.isEmpty()) << errors().toStdString();
}

} // namespace
} // namespace kestra::test
