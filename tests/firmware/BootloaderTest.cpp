// The bootloader's exchanges run by a real connection over the D2XX port on
// the virtual pedal, restarted straight into its ROM bootloader: what goes
// over the line, what lands in the flash, and where a refusal stops.
#include "firmware/Bootloader.h"

#include "LogCapture.h"
#include "connection/Connection.h"
#include "port/D2xxPort.h"
#include "tests/support/TestClock.h"
#include "tests/support/VirtualPedalControl.h"

#include <gtest/gtest.h>
#include <optional>

namespace kestra {
namespace {

using test::sampleImage;
using Outcome = ExchangeResult::Outcome;
using State = Connection::State;

class BootloaderExchange : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loadFrom(test::virtualD2xxPath()))
            << library.errorString().toStdString();
        pedal.command("reset");
        pedal.command("bootloader");
        // Linked at the application's settings, as Link leaves the line.
        const PortResult linked =
            connection.link({QStringLiteral("KS000001"), QString(), QString()});
        ASSERT_TRUE(linked.ok()) << linked.detail.toStdString();
        pedal.clearWrites();
    }
    void TearDown() override { pedal.command("reset"); }

    // What the exchange's end reports.
    std::function<void(const ExchangeResult&)> done() {
        result.reset();
        return [this](const ExchangeResult& r) { result = r; };
    }
    // Runs exchange to its end on the test clock.
    void run(Exchange exchange) {
        QString why;
        ASSERT_TRUE(connection.run(std::move(exchange), &why)) << why.toStdString();
        ASSERT_TRUE(clock.runUntil([this] { return result.has_value(); }))
            << "the exchange never ended";
    }
    void handshake() {
        ASSERT_NO_FATAL_FAILURE(run(bootloaderHandshake(done())));
        ASSERT_TRUE(result->completed()) << result->message.toStdString();
        ASSERT_EQ(connection.state(), State::Bootloader);
        pedal.clearWrites();
    }
    void upgrade(const QByteArray& image, int version) {
        run(firmwareUpgrade(
            splitFirmwareIntoChunks(image), version,
            [this](int done, int total) { progress.emplace_back(done, total); }, done()));
    }

    QByteArray flash(std::uint32_t address, int length) {
        return QByteArray::fromHex(
            pedal.command(QStringLiteral("flash 0x%1 %2").arg(address, 0, 16).arg(length))
                .trimmed()
                .toLatin1());
    }
    QString pedalStatus(const QString& key) {
        for (const QString& line : pedal.command("status").split('\n'))
            if (line.startsWith(key + '='))
                return line.mid(key.size() + 1);
        return {};
    }

    test::TestClock clock;
    test::VirtualPedalControl pedal;
    D2xxLibrary library;
    D2xxPort port{library};
    Connection connection{port};
    std::optional<ExchangeResult> result;
    std::vector<std::pair<int, int>> progress;
};

TEST_F(BootloaderExchange, HandshakeSwitchesToEvenParityAndTakesTheAck) {
    test::LogCapture log;
    ASSERT_NO_FATAL_FAILURE(run(bootloaderHandshake(done())));
    EXPECT_TRUE(result->completed()) << result->message.toStdString();
    EXPECT_EQ(pedal.writes(), QStringList({"7F"}));
    EXPECT_EQ(pedalStatus("line"), "115200 8E1");
    EXPECT_TRUE(log.lines.contains("received Byte: 79"));
    EXPECT_EQ(connection.state(), State::Bootloader);
    EXPECT_TRUE(connection.bootloaderLine());
}

TEST_F(BootloaderExchange, ASilentBootloaderFailsTheHandshakeAtTheTimeLimit) {
    pedal.command("fault silent on");
    ASSERT_NO_FATAL_FAILURE(run(bootloaderHandshake(done())));
    EXPECT_EQ(result->outcome, Outcome::Failed);
    EXPECT_EQ(result->message, "Connection to bootloader failed");
    EXPECT_GE(clock.elapsedMs(), BootloaderReplyTimeLimitMs);
    EXPECT_LT(clock.elapsedMs(), BootloaderReplyTimeLimitMs + 100);
    // The application's line is back: the link goes on as a normal one.
    EXPECT_EQ(connection.state(), State::Linked);
    EXPECT_EQ(pedalStatus("line"), "115200 8N1");
}

TEST_F(BootloaderExchange, AnUnpluggedPedalEndsTheHandshakeAtOnce) {
    pedal.command("fault unplug");
    ASSERT_NO_FATAL_FAILURE(run(bootloaderHandshake(done())));
    EXPECT_EQ(result->outcome, Outcome::Lost);
    EXPECT_LT(clock.elapsedMs(), BootloaderReplyTimeLimitMs);
    EXPECT_EQ(connection.state(), State::Lost);
}

TEST_F(BootloaderExchange, WritesTheImageAndTheVersionRecordThenStartsIt) {
    ASSERT_NO_FATAL_FAILURE(handshake());
    const QByteArray image = sampleImage(600);
    ASSERT_NO_FATAL_FAILURE(upgrade(image, 2));
    ASSERT_TRUE(result->completed()) << result->message.toStdString();

    // The new firmware runs and reports the version of its record.
    EXPECT_EQ(pedalStatus("mode"), "app");
    EXPECT_EQ(pedalStatus("firmware"), "2");
    EXPECT_EQ(connection.state(), State::Linked);
    EXPECT_EQ(pedalStatus("line"), "115200 8N1");

    EXPECT_EQ(flash(bootloader::FlashStart, 600), image);
    EXPECT_EQ(flash(bootloader::FlashStart + 600, 4), QByteArray(4, '\xFF'))
        << "the global erase leaves the rest blank";
    EXPECT_EQ(flash(bootloader::VersionRecordAddress, 8), QByteArray::fromHex("0000000000000002"));
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));

    const QStringList writes = pedal.writes();
    // Erase: command and argument, one write each.
    EXPECT_EQ(writes.mid(0, 2), QStringList({"43BC", "FF00"}));
    // First chunk: command bytes one by one, address + checksum, N-1, data,
    // checksum.
    EXPECT_EQ(writes.mid(2, 4), QStringList({"31", "CE", "0800000008", "FF"}));
    EXPECT_EQ(writes.value(6), QString::fromLatin1(image.left(256).toHex().toUpper()));
    // The last chunk (88 bytes) at 0x08000200.
    const int lastChunk = 2 + 2 * 6;
    EXPECT_EQ(writes.mid(lastChunk, 4), QStringList({"31", "CE", "080002000A", "57"}));
    // The version record, byte by byte.
    const QStringList record = writes.mid(lastChunk + 6, 13);
    EXPECT_EQ(record.mid(0, 3), QStringList({"31", "CE", "0801FC00F5"}));
    EXPECT_EQ(record.mid(3).join(' '), "07 00 00 00 00 00 00 00 02 05");
    // Go, to the start of the flash.
    EXPECT_EQ(writes.mid(lastChunk + 6 + 13),
              QStringList({"21", "DE", "08", "00", "00", "00", "08"}));
}

TEST_F(BootloaderExchange, EachReplyIsLoggedAsAckOrNotAck) {
    ASSERT_NO_FATAL_FAILURE(handshake());
    {
        test::LogCapture log;
        ASSERT_NO_FATAL_FAILURE(upgrade(sampleImage(100), 1));
        ASSERT_TRUE(result->completed()) << result->message.toStdString();
        // Erase 2, one chunk 3, the version record 3, Go 2.
        EXPECT_EQ(log.lines.count("received: 79"), 10);
        EXPECT_EQ(log.lines.count("ACK"), 10);
        EXPECT_FALSE(log.lines.contains("NOT ACK"));
    }
    pedal.command("bootloader");
    ASSERT_NO_FATAL_FAILURE(handshake());
    test::LogCapture log;
    pedal.command("fault nack 1");
    ASSERT_NO_FATAL_FAILURE(upgrade(sampleImage(100), 1));
    EXPECT_EQ(result->outcome, Outcome::Failed);
    EXPECT_TRUE(log.lines.contains("received: 1F"));
    EXPECT_TRUE(log.lines.contains("NOT ACK"));
    EXPECT_FALSE(log.lines.contains("ACK"));
}

// The n-th reply from the erase on is a NACK: the upgrade stops right there,
// names the step, and sends nothing more.
struct NackCase {
    const char* name;
    unsigned n;
    const char* step;
    int writes; // host writes up to and including the refused step
};

void PrintTo(const NackCase& c, std::ostream* os) {
    *os << c.name;
}

class NackStops : public BootloaderExchange, public ::testing::WithParamInterface<NackCase> {};

TEST_P(NackStops, AtTheRefusedStep) {
    const NackCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(handshake());
    pedal.command(QStringLiteral("fault nack %1").arg(c.n));
    ASSERT_NO_FATAL_FAILURE(upgrade(sampleImage(600), 1));
    EXPECT_EQ(result->outcome, Outcome::Failed);
    EXPECT_EQ(result->message,
              QStringLiteral("the bootloader refused %1 (NOT ACK)").arg(QLatin1String(c.step)));
    EXPECT_EQ(pedal.writes().size(), c.writes);
    // The ROM waits for the next command: the line stays with it.
    EXPECT_EQ(connection.state(), State::Bootloader);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, NackStops,
    // Erase: 2 writes; a chunk: 6 (31, CE, address, N-1, data, checksum);
    // the version record: 31, CE, address and ten single bytes; Go: 21, DE
    // and five single bytes.
    ::testing::Values(
        NackCase{"EraseCommand", 1, "the Erase command", 1},
        NackCase{"GlobalErase", 2, "the erasing of the flash", 2},
        NackCase{"FirstWriteCommand", 3, "the Write Memory command for chunk 1 of 3", 4},
        NackCase{"FirstAddress", 4, "the address 08000000 for chunk 1 of 3", 5},
        NackCase{"FirstData", 5, "the data of chunk 1 of 3", 8},
        NackCase{"LastData", 11, "the data of chunk 3 of 3", 20},
        NackCase{"VersionRecordAddress", 13, "the address 0801FC00 for the version record", 23},
        NackCase{"VersionRecord", 14, "the version record", 33},
        NackCase{"GoCommand", 15, "the Go command", 35},
        NackCase{"GoAddress", 16, "the start address of the Go command", 40}),
    [](const ::testing::TestParamInfo<NackCase>& info) { return std::string(info.param.name); });

TEST_F(BootloaderExchange, ARefusedUpgradeCanBeRunAgainFromTheStart) {
    ASSERT_NO_FATAL_FAILURE(handshake());
    pedal.command("fault nack 5"); // the data of the first chunk
    ASSERT_NO_FATAL_FAILURE(upgrade(sampleImage(600), 1));
    ASSERT_EQ(result->outcome, Outcome::Failed);

    const QByteArray image = sampleImage(300);
    ASSERT_NO_FATAL_FAILURE(upgrade(image, 2));
    EXPECT_TRUE(result->completed()) << result->message.toStdString();
    EXPECT_EQ(flash(bootloader::FlashStart, 300), image);
    EXPECT_EQ(pedalStatus("firmware"), "2");
}

TEST_F(BootloaderExchange, ASilentBootloaderStopsTheStepAtTheTimeLimit) {
    ASSERT_NO_FATAL_FAILURE(handshake());
    pedal.command("fault silent on");
    const qint64 start = clock.elapsedMs();
    ASSERT_NO_FATAL_FAILURE(upgrade(sampleImage(600), 1));
    EXPECT_EQ(result->outcome, Outcome::Failed);
    EXPECT_EQ(result->message, "the bootloader did not answer the Erase command");
    EXPECT_GE(clock.elapsedMs() - start, BootloaderReplyTimeLimitMs);
    EXPECT_LT(clock.elapsedMs() - start, BootloaderReplyTimeLimitMs + 100);
    EXPECT_EQ(pedal.writes(), QStringList({"43BC"}));
}

} // namespace
} // namespace kestra
