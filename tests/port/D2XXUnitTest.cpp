#include "port/D2XXUnit.h"

#include "port/Communication.h"
#include "protocol/CommandFrames.h"
#include "tests/support/TestClock.h"
#include "tests/support/TestDialogs.h"
#include "tests/support/VirtualPedalControl.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

using namespace d2xx;

class Transport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loadFrom(test::virtualD2xxPath()))
            << library.errorString().toStdString();
        pedal.command("reset");
        setPortDefaults(transport.portSettings, Parity::None);
    }
    void TearDown() override { pedal.command("reset"); }

    bool open() { return openAndConfigure(transport, QStringLiteral("KS000001")); }

    test::TestClock clock;
    test::TestDialogs prompts;
    test::VirtualPedalControl pedal;
    D2xxLibrary library;
    D2XXUnit transport{library};
};

TEST(TransportStatusText, NamesEveryStatusOfTheTableAndNumbersTheRest) {
    const std::pair<FT_STATUS, const char*> table[] = {{1, " - Invalid handle..."},
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
        EXPECT_EQ(D2XXUnit::statusText(status), QString::fromLatin1(text)) << status;
}

TEST_F(Transport, ReportsFailuresOnlyWhileReportingIsOn) {
    // Nothing is open: every handle operation fails as on a closed device.
    transport.errorReportEnabled = false;
    EXPECT_EQ(transport.WriteFTDevice(3), 0u);
    EXPECT_EQ(transport.ioStatus, FT_INVALID_HANDLE);
    EXPECT_EQ(transport.ReadFTDevice(), 0u);
    EXPECT_EQ(transport.PurgeFTTransmit(), FT_INVALID_HANDLE);
    EXPECT_TRUE(prompts.messages.isEmpty());

    transport.errorReportEnabled = true;
    transport.WriteFTDevice(3);
    transport.ReadFTDevice();
    EXPECT_EQ(prompts.messages,
              QStringList({"FT_Write - Invalid handle...", "FT_Read - Invalid handle..."}));
}

TEST_F(Transport, ClosedDeviceFailsAfterAGoodLink) {
    ASSERT_TRUE(open());
    ASSERT_EQ(transport.CloseFTDevice(), FT_OK);
    transport.errorReportEnabled = true;
    transport.WriteFTDevice(2);
    EXPECT_EQ(prompts.messages, QStringList({"FT_Write - Invalid handle..."}));
    EXPECT_EQ(transport.CloseFTDevice(), FT_INVALID_HANDLE);
}

TEST_F(Transport, EnumeratesTheVirtualPedal) {
    const auto devices = enumerateDevices(transport, false);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].serialNumber, "KS000001");
    EXPECT_EQ(devices[0].description, "FT230X Basic UART");
}

TEST_F(Transport, OpensBySerialNumberCutTo49Characters) {
    const QString serial49 = QStringLiteral("S").repeated(49);
    pedal.command("device 0 " + serial49 + " FT230X Basic UART");
    EXPECT_TRUE(openAndConfigure(transport, serial49 + QStringLiteral("EXTRA")));
}

TEST_F(Transport, FailedOpenIsReportedWithItsLabel) {
    transport.errorReportEnabled = true;
    EXPECT_FALSE(openAndConfigure(transport, QStringLiteral("NOSUCH")));
    EXPECT_EQ(prompts.messages,
              QStringList({"Open_USB_Device_By_Serial_Number - Device not found..."}));
}

TEST_F(Transport, ReadTakesOnlyWhatIsQueuedAndKeepsTheBufferOtherwise) {
    ASSERT_TRUE(open());
    transport.receiveBuffer.fill(0x5A);
    EXPECT_EQ(transport.ReadFTDevice(), 0u);
    EXPECT_EQ(transport.receiveBuffer[0], 0x5A);

    pedal.command("send 3031");
    EXPECT_EQ(transport.ReadFTDevice(), 2u);
    EXPECT_EQ(transport.receiveBuffer[0], 0x30);
    EXPECT_EQ(transport.receiveBuffer[1], 0x31);
    EXPECT_EQ(transport.receiveBuffer[2], 0x5A);
}

TEST_F(Transport, FrameTextFillsTheTransmitBufferAndTheDeclaredCountIsWritten) {
    ASSERT_TRUE(open());
    pedal.clearWrites();
    EXPECT_EQ(sendHexFrame(transport, QStringLiteral("01015A00400000"), 7), 7u);
    // A short hand-typed text: the unconverted bytes keep the previous frame's.
    EXPECT_EQ(sendHexFrame(transport, QStringLiteral("0102"), 7), 7u);
    // Conversion stops at a pair that is not hex; the count is written anyway.
    EXPECT_EQ(sendHexFrame(transport, QStringLiteral("0A0G00"), 3), 3u);
    // An empty frame writes nothing.
    EXPECT_EQ(sendHexFrame(transport, QString(), 0), 0u);
    EXPECT_EQ(pedal.writes(), QStringList({"01015A00400000", "01025A00400000", "0A025A"}));
}

TEST(TransportWithoutLibrary, FailsLikeAClosedDeviceAndExplainsWhatIsMissing) {
    test::TestDialogs prompts;
    D2xxLibrary library;
    EXPECT_FALSE(library.loadFrom(QStringLiteral("/nonexistent/libftd2xx.so")));
    EXPECT_FALSE(library.errorString().isEmpty());
    D2XXUnit transport(library);
    transport.errorReportEnabled = true;
    EXPECT_EQ(transport.GetFTDeviceCount(), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(transport.deviceCount, 0u);
    EXPECT_EQ(transport.WriteFTDevice(2), 0u);
    EXPECT_EQ(prompts.messages.last(), "FT_Write - Invalid handle...");
    const QString text = missingDriverMessage(library);
    EXPECT_TRUE(text.contains("D2XX driver")) << text.toStdString();
    EXPECT_TRUE(text.contains("KESTRA_D2XX_LIBRARY"));
}

} // namespace
} // namespace kestra
