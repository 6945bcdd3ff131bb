// The D2XX port over the stand-in library: the same file the editor binds at
// run time, so every status comes from the library's own entry points.
#include "port/D2xxPort.h"

#include "core/DebugLog.h"
#include "tests/support/VirtualPedalControl.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace kestra {
namespace {

using Error = PortResult::Error;

const PortDevice Pedal{QStringLiteral("KS000001"), QStringLiteral("FT230X Basic UART"), QString()};

class D2xxPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loadFrom(test::virtualD2xxPath()))
            << library.errorString().toStdString();
        pedal.command("reset");
    }
    void TearDown() override {
        port.reset();
        pedal.command("reset");
    }

    void open() {
        const PortResult opened = port->open(Pedal);
        ASSERT_TRUE(opened.ok()) << opened.detail.toStdString();
    }
    QString pedalStatus(const QString& key) {
        for (const QString& line : pedal.command("status").split('\n'))
            if (line.startsWith(key + '='))
                return line.mid(key.size() + 1);
        return {};
    }

    test::VirtualPedalControl pedal;
    D2xxLibrary library;
    std::unique_ptr<D2xxPort> port = std::make_unique<D2xxPort>(library);
};

TEST(D2xxStatusText, NamesEveryStatusOfTheTableAndNumbersTheRest) {
    const std::pair<d2xx::FT_STATUS, const char*> table[] = {{1, " - Invalid handle..."},
                                                             {2, " - Device not found..."},
                                                             {3, " - Device not opened..."},
                                                             {4, " - General IO error..."},
                                                             {5, " - Insufficient resources..."},
                                                             {6, " - Invalid parameter..."},
                                                             {7, " - Invalid baud rate..."},
                                                             {8, " Device not opened for erase..."},
                                                             {9, " Device not opened for write..."},
                                                             {10, " - Failed to write..."},
                                                             {11, " - EEPROM read failed..."},
                                                             {12, " - EEPROM write failed..."},
                                                             {13, " - EEPROM erase failed..."},
                                                             {14, " - EEPROM not present..."},
                                                             {15, " - EEPROM not programmed..."},
                                                             {16, " - Invalid arguments..."},
                                                             {17, " - Other error ..."},
                                                             {18, " - D2XX error 18..."},
                                                             {255, " - D2XX error 255..."}};
    for (const auto& [status, text] : table)
        EXPECT_EQ(D2xxPort::statusText(status), QString::fromLatin1(text)) << status;
}

TEST_F(D2xxPortTest, ListsTheAdaptersInEnumerationOrder) {
    std::vector<PortDevice> devices;
    ASSERT_TRUE(port->listDevices(devices).ok());
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].serialNumber, "KS000001");
    EXPECT_EQ(devices[0].description, "FT230X Basic UART");
    EXPECT_TRUE(devices[0].location.isEmpty());

    pedal.command("devices 2");
    ASSERT_TRUE(port->listDevices(devices).ok());
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[1].serialNumber, "KS000002");

    // An unplugged pedal lists nothing, and nothing is left of the last list.
    pedal.command("devices 1");
    pedal.command("fault unplug");
    EXPECT_TRUE(port->listDevices(devices).ok());
    EXPECT_TRUE(devices.empty());
}

TEST_F(D2xxPortTest, OpensBySerialNumberCutTo49Characters) {
    const QString serial49 = QStringLiteral("S").repeated(D2xxPort::SerialNumberLimit);
    pedal.command("device 0 " + serial49 + " FT230X Basic UART");
    const PortResult opened = port->open({serial49 + QStringLiteral("EXTRA"), {}, {}});
    EXPECT_TRUE(opened.ok()) << opened.detail.toStdString();
    EXPECT_TRUE(port->isOpen());
    EXPECT_EQ(pedalStatus("open"), "yes");
}

struct OpenFailure {
    const char* name;
    const char* setup; // pedal commands, ';' between them
    const char* serial;
    Error error;
    const char* detail;
};

void PrintTo(const OpenFailure& c, std::ostream* os) {
    *os << c.name;
}

class RefusedOpen : public D2xxPortTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(RefusedOpen, SaysWhyAndLeavesThePortClosed) {
    for (const QString& command : QString::fromLatin1(GetParam().setup).split(';'))
        if (!command.isEmpty())
            pedal.command(command);
    const PortResult opened = port->open({QString::fromLatin1(GetParam().serial), {}, {}});
    EXPECT_EQ(opened.error, GetParam().error);
    EXPECT_EQ(opened.detail, QString::fromLatin1(GetParam().detail));
    EXPECT_FALSE(port->isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedOpen,
    ::testing::Values(OpenFailure{"UnknownSerial", "", "NOSUCH", Error::NotFound,
                                  "Open_USB_Device_By_Serial_Number - Device not found..."},
                      OpenFailure{"Unplugged", "fault unplug", "KS000001", Error::NotFound,
                                  "Open_USB_Device_By_Serial_Number - Device not found..."},
                      // The adapter listed first belongs to another program.
                      OpenFailure{"OtherAdapter", "devices 2", "KS000001", Error::InUse,
                                  "Open_USB_Device_By_Serial_Number - Device not opened..."}),
    [](const ::testing::TestParamInfo<OpenFailure>& info) { return std::string(info.param.name); });

TEST_F(D2xxPortTest, LineSettingsAndLatencyTimerReachTheBridge) {
    open();
    // Every open starts from the chip's defaults.
    EXPECT_EQ(pedalStatus("line"), "9600 8N1");
    EXPECT_EQ(pedalStatus("latency"), "16");

    ASSERT_TRUE(port->setLine(LineSettings::application()).ok());
    EXPECT_EQ(pedalStatus("line"), "115200 8N1");
    ASSERT_TRUE(port->setLine(LineSettings::bootloader()).ok());
    EXPECT_EQ(pedalStatus("line"), "115200 8E1");

    ASSERT_TRUE(port->setLatencyTimer(4).ok());
    EXPECT_EQ(pedalStatus("latency"), "4");
    // One byte holds the timer: anything longer is its longest.
    ASSERT_TRUE(port->setLatencyTimer(300).ok());
    EXPECT_EQ(pedalStatus("latency"), "255");
    // The bridge refuses a timer below 2 ms; the device is still there.
    const PortResult refused = port->setLatencyTimer(1);
    EXPECT_EQ(refused.error, Error::Failed);
    EXPECT_EQ(refused.detail, "FT_SetLatencyTimer - Invalid parameter...");
    EXPECT_EQ(pedalStatus("latency"), "255");
}

TEST_F(D2xxPortTest, ReadAppendsWhatIsQueuedAndNeverWaits) {
    open();
    ASSERT_TRUE(port->setLine(LineSettings::application()).ok());
    QByteArray bytes("x");
    ASSERT_TRUE(port->read(bytes).ok());
    EXPECT_EQ(bytes, "x") << "nothing queued: nothing read, nothing lost";

    pedal.command("send 3031");
    pedal.command("send 32");
    ASSERT_TRUE(port->read(bytes).ok());
    EXPECT_EQ(bytes, "x012") << "two messages queued, one read";

    // A message split on its way: the read takes the part that has arrived.
    pedal.command("fault split 1");
    pedal.command("send 414243");
    bytes.clear();
    ASSERT_TRUE(port->read(bytes).ok());
    EXPECT_EQ(bytes, "A");
    ASSERT_TRUE(port->read(bytes).ok());
    EXPECT_EQ(bytes, "ABC");
}

TEST_F(D2xxPortTest, EachWriteReachesThePedalWhole) {
    open();
    ASSERT_TRUE(port->setLine(LineSettings::application()).ok());
    pedal.clearWrites();
    ASSERT_TRUE(port->write(QByteArray::fromHex("01015A00400000")).ok());
    ASSERT_TRUE(port->write(QByteArray::fromHex("0205")).ok());
    EXPECT_EQ(pedal.writes(), QStringList({"01015A00400000", "0205"}));
}

TEST_F(D2xxPortTest, PurgingTheReceiveSideDropsWhatArrived) {
    open();
    ASSERT_TRUE(port->setLine(LineSettings::application()).ok());
    pedal.command("send 3031");
    ASSERT_TRUE(port->purge(Purge::Transmit).ok());
    QByteArray bytes;
    ASSERT_TRUE(port->read(bytes).ok());
    EXPECT_EQ(bytes, "01") << "purging the transmit side keeps what arrived";

    pedal.command("send 3233");
    ASSERT_TRUE(port->purge(Purge::Both).ok());
    bytes.clear();
    ASSERT_TRUE(port->read(bytes).ok());
    EXPECT_TRUE(bytes.isEmpty());
}

// Every call on the device, and what it says when the device went away.
struct DeviceCall {
    const char* name;
    std::function<PortResult(Port&)> call;
    const char* label;
};

const DeviceCall deviceCalls[] = {
    {"read",
     [](Port& p) {
         QByteArray bytes;
         return p.read(bytes);
     },
     "FT_GetQueueStatus"},
    {"write", [](Port& p) { return p.write(QByteArray("\x02\x05", 2)); }, "FT_Write"},
    {"purge", [](Port& p) { return p.purge(Purge::Receive); }, "FT_Purge RX"},
    {"line", [](Port& p) { return p.setLine(LineSettings::application()); }, "FT_SetBaudRate"},
    {"latency", [](Port& p) { return p.setLatencyTimer(4); }, "FT_SetLatencyTimer"},
};

TEST_F(D2xxPortTest, AnUnpluggedPedalIsDisconnectedForEveryCall) {
    open();
    pedal.command("fault unplug");
    for (const DeviceCall& c : deviceCalls) {
        const PortResult result = c.call(*port);
        EXPECT_EQ(result.error, Error::Disconnected) << c.name;
        EXPECT_EQ(result.detail, QString::fromLatin1(c.label) + " - General IO error...") << c.name;
    }
    // The handle can still be given back.
    EXPECT_TRUE(port->close().ok());
    EXPECT_FALSE(port->isOpen());
}

TEST_F(D2xxPortTest, ACallOnAClosedPortIsDisconnected) {
    open();
    ASSERT_TRUE(port->close().ok());
    EXPECT_EQ(pedalStatus("open"), "no");
    for (const DeviceCall& c : deviceCalls) {
        const PortResult result = c.call(*port);
        EXPECT_EQ(result.error, Error::Disconnected) << c.name;
        EXPECT_TRUE(result.detail.endsWith(" - Invalid handle...")) << result.detail.toStdString();
    }
    EXPECT_TRUE(port->close().ok()) << "closing twice is nothing";
}

TEST_F(D2xxPortTest, AFailingCloseStillClosesAndTheNextOpenWorks) {
    open();
    // Replugged, the pedal no longer knows the old handle.
    pedal.command("fault unplug");
    pedal.command("fault replug");
    const PortResult closed = port->close();
    EXPECT_EQ(closed.error, Error::Disconnected);
    EXPECT_EQ(closed.detail, "FT_Close - Invalid handle...");
    EXPECT_FALSE(port->isOpen());

    open();
    EXPECT_TRUE(port->write(QByteArray::fromHex("0600")).ok());
}

TEST_F(D2xxPortTest, OpeningAgainOrEndingClosesTheDevice) {
    open();
    open(); // the old handle is given back first, or the bridge would refuse
    EXPECT_EQ(pedalStatus("open"), "yes");
    port.reset();
    EXPECT_EQ(pedalStatus("open"), "no");
}

TEST(D2xxPortWithoutLibrary, ExplainsWhatIsMissing) {
    D2xxLibrary library;
    ASSERT_FALSE(library.loadFrom(QStringLiteral("/nonexistent/libftd2xx.so")));
    ASSERT_FALSE(library.errorString().isEmpty());
    D2xxPort port(library);
    EXPECT_EQ(port.backendName(), "D2XX (not installed)");

    QStringList logged;
    DebugLog::setSink([&logged](const QStringList& lines, bool) { logged.append(lines); });
    std::vector<PortDevice> devices{Pedal};
    const PortResult listed = port.listDevices(devices);
    DebugLog::setSink([](const QStringList&, bool) {});
    EXPECT_EQ(listed.error, Error::NoDriver);
    EXPECT_TRUE(devices.empty());
    const QString message = D2xxPort::missingDriverMessage();
    EXPECT_EQ(listed.detail, message);
    EXPECT_TRUE(message.contains("FTDI D2XX driver is not installed")) << message.toStdString();
    EXPECT_TRUE(message.contains("KESTRA_D2XX_LIBRARY"));
    EXPECT_TRUE(message.contains(D2xxLibrary::standardName()));
    EXPECT_FALSE(message.contains(library.errorString())) << "the loader's text is the log's";
    EXPECT_TRUE(logged.join('\n').contains(library.errorString()));

    const PortResult opened = port.open(Pedal);
    EXPECT_EQ(opened.error, Error::NoDriver);
    EXPECT_FALSE(port.isOpen());
    QByteArray bytes;
    EXPECT_EQ(port.read(bytes).error, Error::Disconnected) << "nothing open to read";
}

} // namespace
} // namespace kestra
