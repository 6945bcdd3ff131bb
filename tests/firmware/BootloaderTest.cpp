#include "firmware/Bootloader.h"

#include "LogCapture.h"
#include "port/Communication.h"
#include "protocol/SyncReceive.h"
#include "tests/support/TestClock.h"
#include "tests/support/TestDialogs.h"
#include "tests/support/VirtualPedalControl.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

using test::sampleImage;

// The virtual pedal restarted straight into its ROM bootloader, the device
// open at the application's line settings.
class Bootloader : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loadFrom(test::virtualD2xxPath()))
            << library.errorString().toStdString();
        pedal.command("reset");
        pedal.command("bootloader");
        setPortDefaults(transport.portSettings, Parity::None);
        ASSERT_TRUE(openAndConfigure(transport, QStringLiteral("KS000001")));
        transport.errorReportEnabled = false;
    }
    void TearDown() override { pedal.command("reset"); }

    QByteArray flash(std::uint32_t address, int length) {
        return QByteArray::fromHex(
            pedal.command(QStringLiteral("flash 0x%1 %2").arg(address, 0, 16).arg(length))
                .trimmed()
                .toLatin1());
    }
    QString status(const QString& key) {
        for (const QString& line : pedal.command("status").split('\n'))
            if (line.startsWith(key + '='))
                return line.mid(key.size() + 1);
        return {};
    }
    // Erase, chunks and version record of image; true when all were taken.
    bool writeAll(const QByteArray& image, int version) {
        const FirmwareChunks chunks = splitFirmwareIntoChunks(image);
        return writer.eraseFlash() && writer.writeFirmware(chunks) &&
               writer.writeVersionRecord(version);
    }

    test::TestClock clock;
    test::TestDialogs prompts;
    test::VirtualPedalControl pedal;
    D2xxLibrary library;
    D2XXUnit transport{library};
    FirmwareWriter writer{transport};
};

TEST_F(Bootloader, HandshakeNeedsEvenParityAndAnswersAck) {
    EXPECT_EQ(connectBootloader(transport), "79");
    EXPECT_EQ(transport.portSettings.parity, d2xx::FT_PARITY_EVEN);
    EXPECT_EQ(transport.portSettings.baudRate, 115200u);
    EXPECT_EQ(pedal.writes(), QStringList({"7F"}));
}

TEST_F(Bootloader, HandshakeWithASilentPedalEndsWithinTheTimeLimit) {
    pedal.command("fault silent on");
    EXPECT_EQ(connectBootloader(transport), "");
    EXPECT_GE(clock.elapsedMs(), BootloaderReplyTimeLimitMs);
}

TEST_F(Bootloader, WritesTheImageAndTheVersionRecordThenStartsIt) {
    ASSERT_EQ(connectBootloader(transport), "79");
    const QByteArray image = sampleImage(600);
    pedal.clearWrites();
    ASSERT_TRUE(writeAll(image, 2)) << writer.failure().toStdString();

    EXPECT_EQ(flash(bootloader::FlashStart, 600), image);
    EXPECT_EQ(flash(bootloader::FlashStart + 600, 4), QByteArray(4, '\xFF'))
        << "the global erase leaves the rest blank";
    EXPECT_EQ(flash(bootloader::VersionRecordAddress, 8), QByteArray::fromHex("0000000000000002"));

    const QStringList writes = pedal.writes();
    // Erase: command and argument, one write each.
    EXPECT_EQ(writes.mid(0, 2), QStringList({"43BC", "FF00"}));
    // First chunk: command bytes one by one, address + checksum, N-1, data,
    // checksum.
    EXPECT_EQ(writes.mid(2, 4), QStringList({"31", "CE", "0800000008", "FF"}));
    EXPECT_EQ(writes[6], QString::fromLatin1(image.left(256).toHex().toUpper()));
    // The last chunk (88 bytes) at 0x08000200.
    const int lastChunk = 2 + 2 * 6;
    EXPECT_EQ(writes.mid(lastChunk, 4), QStringList({"31", "CE", "080002000A", "57"}));
    // The version record, byte by byte.
    const QStringList record = writes.mid(lastChunk + 6);
    EXPECT_EQ(record.mid(0, 3), QStringList({"31", "CE", "0801FC00F5"}));
    EXPECT_EQ(record.mid(3).join(' '), "07 00 00 00 00 00 00 00 02 05");

    pedal.clearWrites();
    ASSERT_TRUE(writer.sendGoCommand()) << writer.failure().toStdString();
    EXPECT_EQ(pedal.writes(), QStringList({"21", "DE", "08", "00", "00", "00", "08"}));
    EXPECT_EQ(status("mode"), "app");
    EXPECT_EQ(status("firmware"), "2");
}

TEST_F(Bootloader, ARepliesLogGivesAckOrNotAck) {
    ASSERT_EQ(connectBootloader(transport), "79");
    test::LogCapture log;
    ASSERT_TRUE(writer.eraseFlash());
    EXPECT_EQ(log.lines.count("received: 79"), 2);
    EXPECT_EQ(log.lines.count("ACK"), 2);

    log.lines.clear();
    pedal.command("fault nack 1");
    EXPECT_FALSE(writer.eraseFlash());
    EXPECT_TRUE(log.lines.contains("received: 1F"));
    EXPECT_TRUE(log.lines.contains("NOT ACK"));
}

// The n-th reply from the erase on is a NACK: the writer stops right there,
// names the step, and sends nothing more.
struct NackCase {
    unsigned n;
    const char* step;
    int writes; // host writes up to and including the refused step
};

class NackStops : public Bootloader, public ::testing::WithParamInterface<NackCase> {};

TEST_P(NackStops, AtTheRefusedStep) {
    ASSERT_EQ(connectBootloader(transport), "79");
    pedal.command(QStringLiteral("fault nack %1").arg(GetParam().n));
    pedal.clearWrites();
    EXPECT_FALSE(writeAll(sampleImage(600), 1));
    EXPECT_TRUE(writer.failure().contains(QString::fromLatin1(GetParam().step)))
        << writer.failure().toStdString();
    EXPECT_TRUE(writer.failure().contains("NOT ACK"));
    EXPECT_EQ(pedal.writes().size(), GetParam().writes);
}

INSTANTIATE_TEST_SUITE_P(Steps, NackStops,
                         // Erase: 2 writes; a chunk: 6 (31, CE, address, N-1, data, checksum);
                         // the version record: 31, CE, address and ten single bytes.
                         ::testing::Values(NackCase{1, "the Erase command", 1},
                                           NackCase{2, "the erasing of the flash", 2},
                                           NackCase{3, "the Write Memory command for chunk 1 of 3",
                                                    4},
                                           NackCase{4, "the address 08000000 for chunk 1 of 3", 5},
                                           NackCase{5, "the data of chunk 1 of 3", 8},
                                           NackCase{11, "the data of chunk 3 of 3", 20},
                                           NackCase{14, "the version record", 33}));

TEST_F(Bootloader, ASilentBootloaderStopsTheStepWithTheTimeLimit) {
    ASSERT_EQ(connectBootloader(transport), "79");
    pedal.command("fault silent on");
    EXPECT_FALSE(writer.eraseFlash());
    EXPECT_EQ(writer.failure(), "the bootloader did not answer the Erase command");
}

TEST_F(Bootloader, AClosedDeviceFailsTheHandshakeAtOnce) {
    transport.CloseFTDevice();
    EXPECT_EQ(connectBootloader(transport), "");
    EXPECT_LT(clock.elapsedMs(), BootloaderReplyTimeLimitMs);
}

} // namespace
} // namespace kestra
