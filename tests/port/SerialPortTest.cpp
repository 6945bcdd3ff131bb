// The serial backend on kestra-pedal-sim's pseudo-terminal: a real device
// file, opened, set and read as a /dev/ttyUSB0 of the pedal would be.
#include "port/SerialPort.h"

#include "tests/firmware/LogCapture.h"
#include "tests/support/PtyPedal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestra {
namespace {

using Error = PortResult::Error;
using test::PtyPedal;

// What a new pedal answers to Get stored effect.
const QByteArray Reply("255\r\n255\r\n255\r\n3\r\n");

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(sim.path().isEmpty()); }

    PortDevice device() {
        std::vector<PortDevice> devices;
        EXPECT_TRUE(port.listDevices(devices).ok());
        EXPECT_EQ(devices.size(), 1u);
        return devices.empty() ? PortDevice{} : devices.front();
    }
    void open() {
        const PortResult opened = port.open(device());
        ASSERT_TRUE(opened.ok()) << opened.detail.toStdString();
        ASSERT_TRUE(port.setLine(LineSettings::application()).ok());
    }
    // Reads until at least size bytes came, for up to a second.
    QByteArray readAtLeast(qsizetype size) {
        QByteArray bytes;
        QElapsedTimer waited;
        waited.start();
        while (bytes.size() < size && waited.elapsed() < 1000) {
            const PortResult r = port.read(bytes);
            EXPECT_TRUE(r.ok()) << r.detail.toStdString();
            if (!r.ok())
                break;
            test::waitForEvents(2);
        }
        return bytes;
    }

    PtyPedal sim;
    SerialPort port{sim.path()};
};

TEST_F(SerialPortTest, ListsTheGivenTerminalByItsPath) {
    const PortDevice listed = device();
    EXPECT_EQ(listed.location, sim.path());
    EXPECT_EQ(listed.description, sim.path()) << "a terminal has no USB description";
    EXPECT_EQ(port.backendName(), "Serial port (" + sim.path() + ")");

    SerialPort missing(QStringLiteral("/dev/no-such-kestra"));
    std::vector<PortDevice> devices;
    EXPECT_TRUE(missing.listDevices(devices).ok());
    EXPECT_TRUE(devices.empty());
}

TEST_F(SerialPortTest, WritesAFrameAndReadsTheWholeReply) {
    open();
    ASSERT_TRUE(port.write(QByteArray::fromHex("0600")).ok());
    EXPECT_EQ(readAtLeast(Reply.size()), Reply);
    EXPECT_EQ(sim.writes(), QStringList({"0600"}));
    EXPECT_EQ(sim.status("line"), "115200 8N1");
}

TEST_F(SerialPortTest, PurgeDropsWhatArrivedUnread) {
    open();
    ASSERT_TRUE(port.write(QByteArray::fromHex("0600")).ok());
    // The reply arrives, unread, while the event loop runs.
    test::waitForEvents(100);
    ASSERT_TRUE(port.purge(Purge::Receive).ok());
    QByteArray bytes;
    ASSERT_TRUE(port.read(bytes).ok());
    EXPECT_TRUE(bytes.isEmpty()) << bytes.toStdString();

    // The line still works afterwards.
    ASSERT_TRUE(port.write(QByteArray::fromHex("0600")).ok());
    EXPECT_EQ(readAtLeast(Reply.size()).size(), Reply.size());
}

TEST_F(SerialPortTest, TakesTheBootloadersLineAndBack) {
    open();
    const PortResult even = port.setLine(LineSettings::bootloader());
    EXPECT_TRUE(even.ok()) << even.detail.toStdString();
    EXPECT_TRUE(port.setLine(LineSettings::application()).ok());
    ASSERT_TRUE(port.write(QByteArray::fromHex("0600")).ok());
    EXPECT_EQ(readAtLeast(Reply.size()).size(), Reply.size());
}

TEST_F(SerialPortTest, WritesTheLatencyTimerWhereTheDriverKeepsIt) {
    open();
    // A terminal has no latency timer: a log line says so, and nothing fails.
    {
        test::LogCapture log;
        EXPECT_TRUE(port.setLatencyTimer(4).ok());
        EXPECT_EQ(log.lines.filter("latency timer not set").size(), 1)
            << log.lines.join('\n').toStdString();
    }
    // The driver's attribute is named after the device the path leads to.
    QTemporaryDir sysfs;
    const QString name = QFileInfo(QFileInfo(sim.path()).canonicalFilePath()).fileName();
    ASSERT_TRUE(QDir(sysfs.path()).mkdir(name));
    const QString attribute = QDir(sysfs.path()).filePath(name + "/latency_timer");
    {
        QFile file(attribute);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("16");
    }
    port.setAttributeFolder(sysfs.path());
    EXPECT_TRUE(port.setLatencyTimer(4).ok());
    QFile file(attribute);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "4");
}

TEST_F(SerialPortTest, SaysWhyItCannotOpen) {
    SerialPort missing(QStringLiteral("/dev/no-such-kestra"));
    const PortResult notFound = missing.open({QString(), QString(), "/dev/no-such-kestra"});
    EXPECT_EQ(notFound.error, Error::NotFound);
    EXPECT_TRUE(notFound.detail.contains("/dev/no-such-kestra")) << notFound.detail.toStdString();
    EXPECT_FALSE(missing.isOpen());

    open();
    SerialPort second(sim.path());
    const PortResult inUse = second.open(device());
    EXPECT_EQ(inUse.error, Error::InUse) << inUse.detail.toStdString();
    EXPECT_FALSE(second.isOpen());
}

// Qt names a busy device and a forbidden one alike.
TEST(SerialPortErrors, TellABusyDeviceFromAForbiddenOne) {
    EXPECT_EQ(SerialPort::errorKind(QSerialPort::PermissionError, true), Error::InUse);
    EXPECT_EQ(SerialPort::errorKind(QSerialPort::PermissionError, false), Error::NoPermission);
    EXPECT_EQ(SerialPort::errorKind(QSerialPort::DeviceNotFoundError, true), Error::NotFound);
    EXPECT_EQ(SerialPort::errorKind(QSerialPort::ResourceError, true), Error::Disconnected);
    EXPECT_EQ(SerialPort::errorKind(QSerialPort::ReadError, true), Error::Disconnected);
    EXPECT_EQ(SerialPort::errorKind(QSerialPort::UnsupportedOperationError, true), Error::Failed);
}

TEST_F(SerialPortTest, ADeviceThatGoesAwayIsDisconnectedAndClosingStillWorks) {
    open();
    sim.stop();
    QByteArray bytes;
    PortResult read;
    QElapsedTimer waited;
    waited.start();
    // The hang-up shows on the next read, at the latest once it reaches the
    // driver.
    while ((read = port.read(bytes)).ok() && waited.elapsed() < 1000)
        test::waitForEvents(2);
    EXPECT_EQ(read.error, Error::Disconnected) << read.detail.toStdString();
    EXPECT_TRUE(port.close().ok());
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.read(bytes).error, Error::Disconnected) << "a closed port reads nothing";
    EXPECT_EQ(port.write("x").error, Error::Disconnected);
}

} // namespace
} // namespace kestra
