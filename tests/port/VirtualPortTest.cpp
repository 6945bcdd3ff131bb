// The virtual pedal linked in as a backend: the same D2XX-shaped bridge as
// the stand-in library, so its statuses mean what the D2XX port's do.
#include "port/VirtualPort.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace kestra {
namespace {

using Error = PortResult::Error;

class VirtualPortTest : public ::testing::Test {
protected:
    QString run(const QString& line) {
        QString error;
        const std::optional<QString> answer = port.command(line, &error);
        EXPECT_TRUE(answer) << line.toStdString() << ": " << error.toStdString();
        return answer.value_or(QString());
    }
    QString status(const QString& key) {
        for (const QString& line : run("status").split('\n'))
            if (line.startsWith(key + '='))
                return line.mid(key.size() + 1);
        return {};
    }
    std::vector<PortDevice> devices() {
        std::vector<PortDevice> listed;
        EXPECT_TRUE(port.listDevices(listed).ok());
        return listed;
    }

    VirtualPort port;
};

TEST_F(VirtualPortTest, TalksAsTheBridgeDoesAndTakesControlCommands) {
    ASSERT_EQ(devices().size(), 1u);
    EXPECT_EQ(devices()[0].serialNumber, "KS000001");
    ASSERT_TRUE(port.open(devices()[0]).ok());
    ASSERT_TRUE(port.setLine(LineSettings::application()).ok());
    ASSERT_TRUE(port.setLatencyTimer(4).ok());
    EXPECT_EQ(status("line"), "115200 8N1");
    EXPECT_EQ(status("latency"), "4");

    ASSERT_TRUE(port.write(QByteArray::fromHex("0600")).ok());
    QByteArray reply;
    ASSERT_TRUE(port.read(reply).ok());
    EXPECT_EQ(reply, "255\r\n255\r\n255\r\n3\r\n") << "everything sent is readable at once";
    EXPECT_EQ(run("writes").trimmed(), "0600");

    QString error;
    EXPECT_FALSE(port.command("no such command", &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(VirtualPortTest, AnUnplugAnotherProgramsAdapterAndAReplugMeanWhatTheyDoOnD2xx) {
    const PortDevice pedal = devices()[0];
    ASSERT_TRUE(port.open(pedal).ok());
    run("fault unplug");
    QByteArray bytes;
    EXPECT_EQ(port.read(bytes).error, Error::Disconnected);
    EXPECT_EQ(port.write("x").error, Error::Disconnected);
    EXPECT_TRUE(port.close().ok()) << "closing a handle whose device went away still works";
    EXPECT_EQ(port.open(pedal).error, Error::NotFound);

    run("fault replug");
    run("devices 2");
    ASSERT_EQ(devices().size(), 2u);
    EXPECT_EQ(port.open(devices()[0]).error, Error::InUse);
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(port.open(devices()[1]).ok());
}

} // namespace
} // namespace kestra
