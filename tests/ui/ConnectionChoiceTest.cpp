// The Connection menu's choice of backend, the Info entry that names it,
// Scan with several adapters, and what Scan and Link say when they fail.
#include "EditorFixture.h"
#include "core/Settings.h"

#include <QFile>

namespace kestra::test {
namespace {

using State = Connection::State;

class ConnectionChoice : public EditorFixture {
protected:
    QString connectionFile() {
        QFile file(settings::connectionFile());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll())
                                              : QStringLiteral("<missing>");
    }
    // The Info entry that names the backend.
    QString connectionInfo() {
        for (QAction* a : main->menuBar()->findChildren<QAction*>())
            if (a->text().startsWith("Connection: "))
                return a->text();
        return {};
    }
    // Starts the editor again, as the player would, with options.
    void restart(BackendOptions options = {}) {
        editor.reset();
        editor = std::make_unique<EditorApplication>(false, std::move(options));
        editor->completeStartup();
        main = &editor->mainWindow();
    }
    QString virtualPedal(const QString& command) {
        return editor->backends().virtualPedal().command(command).value_or("<refused>");
    }
};

TEST_F(ConnectionChoice, TheVirtualPedalIsPickedWhileUnlinkedAndRemembered) {
    EXPECT_EQ(connectionInfo(), "Connection: D2XX (" + virtualD2xxPath() + ")");
    EXPECT_TRUE(action("Use USB Port")->isChecked());
    EXPECT_FALSE(action("Use Virtual Pedal")->isChecked());

    link();
    EXPECT_FALSE(action("Use Virtual Pedal")->isEnabled()) << "the link holds a D2XX handle";
    EXPECT_FALSE(action("Use USB Port")->isEnabled());
    unlink();
    ASSERT_TRUE(action("Use Virtual Pedal")->isEnabled());

    trigger("Use Virtual Pedal");
    EXPECT_TRUE(action("Use Virtual Pedal")->isChecked());
    EXPECT_FALSE(action("Use USB Port")->isChecked());
    EXPECT_EQ(connectionInfo(), "Connection: Virtual pedal (built in)");
    EXPECT_TRUE(log().contains("port: Virtual pedal (built in)"));
    EXPECT_EQ(connectionFile(), "VIRTUAL");
    EXPECT_EQ(deviceLabel(), "Kestra") << "the virtual pedal's adapter, probed afresh";

    pedal.clearWrites();
    link();
    EXPECT_EQ(connection().state(), State::Linked);
    EXPECT_EQ(virtualPedal("writes").trimmed(), "0600");
    EXPECT_TRUE(pedal.writes().isEmpty()) << "the library's pedal is not the one linked";
    unlink();

    restart();
    EXPECT_EQ(connectionInfo(), "Connection: Virtual pedal (built in)");
    EXPECT_TRUE(action("Use Virtual Pedal")->isChecked());

    trigger("Use USB Port");
    EXPECT_EQ(connectionInfo(), "Connection: D2XX (" + virtualD2xxPath() + ")");
    EXPECT_EQ(connectionFile(), "USB");
}

TEST_F(ConnectionChoice, StartedWithVirtualItRunsWithoutAnyLibrary) {
    editor.reset();
    qunsetenv("KESTRA_D2XX_LIBRARY");
    restart({true, QString()});
    EXPECT_EQ(connectionInfo(), "Connection: Virtual pedal (built in)");
    EXPECT_TRUE(log().contains("because the virtual pedal was asked for"));
    link();
    EXPECT_EQ(connection().state(), State::Linked);
    EXPECT_TRUE(statusLabel().startsWith("No effect found on pedal"))
        << statusLabel().toStdString();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(connectionFile(), "<missing>") << "an option is not a pick";
}

TEST_F(ConnectionChoice, ScanAsksWhichOfTwoPedalsAndLinkUsesThePickedOne) {
    pedal.command("devices 2");
    dialogs.choices = {1};
    trigger("Scan");
    ASSERT_EQ(dialogs.choiceTexts, QStringList({"2 pedals found. Which one do you want to link?"}));
    EXPECT_EQ(dialogs.choiceOptions[0],
              QStringList({"Kestra, serial number KS000001", "Kestra, serial number KS000002"}));
    EXPECT_TRUE(dialogs.messages.isEmpty()) << "the question was the message";
    link();
    EXPECT_EQ(connection().state(), State::Linked);
    EXPECT_EQ(connection().device().serialNumber, "KS000002");
    unlink();

    // The other one stands for an adapter another program holds.
    dialogs.clear();
    dialogs.choices = {0};
    trigger("Scan");
    trigger("Link");
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("The pedal is in use by another program"));
    EXPECT_TRUE(dialogs.errors[0].contains("ftdi_sio")) << dialogs.errors[0].toStdString();
    EXPECT_EQ(connection().state(), State::Unlinked);

    // Cancelling leaves the last pick as it was.
    dialogs.clear();
    dialogs.choices = {-1};
    trigger("Scan");
    EXPECT_EQ(deviceLabel(), "Kestra") << "the pedal, not its USB bridge";
    trigger("Link");
    EXPECT_EQ(dialogs.errors.size(), 1) << "still the adapter picked before";
}

TEST_F(ConnectionChoice, APickedAdapterUnpluggedBeforeLinkIsNotFoundAndOneAdapterAsksNothing) {
    pedal.command("devices 2");
    dialogs.choices = {1};
    trigger("Scan");
    pedal.command("devices 1");
    trigger("Link");
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("The pedal was not found"));
    EXPECT_TRUE(dialogs.errors[0].contains("choose Scan and Link again"));

    dialogs.clear();
    trigger("Scan");
    EXPECT_TRUE(dialogs.choiceTexts.isEmpty());
    EXPECT_EQ(statusLabel(), "Kestra found, click Link");
    link();
    EXPECT_EQ(connection().state(), State::Linked);
}

TEST_F(ConnectionChoice, NoDeviceFoundSaysWhatToCheck) {
    pedal.command("devices 0");
    trigger("Scan");
    ASSERT_EQ(dialogs.messages.size(), 1);
    const QString message = dialogs.messages[0];
    EXPECT_TRUE(message.startsWith("No device found\n\n")) << message.toStdString();
    EXPECT_TRUE(message.contains("cable")) << message.toStdString();
    EXPECT_TRUE(message.contains("70-kestra.rules")) << message.toStdString();
    EXPECT_TRUE(message.contains("Use Virtual Pedal")) << message.toStdString();
    EXPECT_EQ(deviceLabel(), "No device found");
}

TEST_F(ConnectionChoice, AGivenSerialDeviceThatIsNotThereIsNamed) {
    restart({false, QStringLiteral("/dev/no-such-kestra")});
    EXPECT_EQ(connectionInfo(), "Connection: Serial port (/dev/no-such-kestra)");
    trigger("Link");
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("The pedal was not found"));
    EXPECT_TRUE(dialogs.errors[0].endsWith("There is no device /dev/no-such-kestra."))
        << dialogs.errors[0].toStdString();
    trigger("Scan");
    EXPECT_EQ(dialogs.messages,
              QStringList({"No device found\n\nThere is no device /dev/no-such-kestra."}));
}

} // namespace
} // namespace kestra::test
