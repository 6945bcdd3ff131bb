// The bootloader's exchanges run by a real connection over the D2XX port on
// the virtual pedal, restarted straight into its ROM bootloader: what goes
// over the line, what lands in the flash, where a refusal or a difference
// read back stops, and how each try finds the ROM again whatever step the
// last one left it at.
#include "firmware/Bootloader.h"

#include "LogCapture.h"
#include "connection/Connection.h"
#include "firmware/FirmwareUpgrade.h"
#include "port/D2xxPort.h"
#include "protocol/HexText.h"
#include "tests/support/TestClock.h"
#include "tests/support/VirtualPedalControl.h"

#include <gtest/gtest.h>
#include <optional>
#include <tuple>

namespace kestra {
namespace {

using test::sampleImage;
using Outcome = ExchangeResult::Outcome;
using State = Connection::State;
using Progress = std::tuple<UpgradePhase, int, int>;

class BootloaderExchange : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(library.loadFrom(test::virtualD2xxPath()))
            << library.errorString().toStdString();
        pedal.command("reset");
        pedal.command("bootloader");
        // Linked at the application's settings, as Link leaves the line.
        const PortResult linked = connection.link(device);
        ASSERT_TRUE(linked.ok()) << linked.detail.toStdString();
        pedal.clearWrites();
    }
    void TearDown() override {
        clock.onTimeChange(nullptr);
        pedal.command("reset");
    }

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
        run(firmwareUpgrade(splitFirmwareIntoChunks(image), version, recordProgress(), done()));
    }
    UpgradeProgress recordProgress() {
        return [this](UpgradePhase phase, int bytes, int total) {
            progress.emplace_back(phase, bytes, total);
            if (onProgress)
                onProgress(phase, bytes);
        };
    }
    // A whole try, as Upgrade Firmware starts it, answering the question:
    // on a pedal whose bootloader answered the handshake, as Upgrade Mode
    // leaves it.
    void tryUpgrade(const QByteArray& image, int version, bool yes = true,
                    bool applicationMayRun = false) {
        if (connection.state() == State::Linked) {
            ASSERT_NO_FATAL_FAILURE(handshake());
        }
        tried.reset();
        asked.reset();
        UpgradeHooks hooks;
        hooks.confirm = [this, yes](const BootloaderFacts& facts) {
            asked = facts;
            if (whileAsked)
                whileAsked();
            return yes;
        };
        hooks.progress = recordProgress();
        hooks.finished = [this](const UpgradeResult& r) { tried = r; };
        hooks.applicationMayRun = applicationMayRun;
        QString why;
        ASSERT_TRUE(startFirmwareUpgrade(connection, image, version, hooks, &why))
            << why.toStdString();
        ASSERT_TRUE(clock.runUntil([this] { return tried.has_value(); })) << "the try never ended";
    }
    void expectInstalled(const QByteArray& image, int version) {
        EXPECT_EQ(flash(bootloader::FlashStart, static_cast<int>(image.size())), image);
        EXPECT_EQ(pedalStatus("mode"), "app");
        EXPECT_EQ(pedalStatus("firmware"), QString::number(version));
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
    // The host's writes from the erase on.
    QStringList writesFromTheErase() {
        const QStringList writes = pedal.writes();
        return writes.mid(writes.indexOf("43BC"));
    }

    test::TestClock clock;
    test::VirtualPedalControl pedal;
    D2xxLibrary library;
    D2xxPort port{library};
    Connection connection{port};
    const PortDevice device{QStringLiteral("KS000001"), QString(), QString()};
    std::optional<ExchangeResult> result;
    std::vector<Progress> progress;
    std::function<void(UpgradePhase, int)> onProgress;
    std::optional<UpgradeResult> tried;
    std::optional<BootloaderFacts> asked;
    std::function<void()> whileAsked;
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

TEST_F(BootloaderExchange, WritesReadsBackAndRecordsTheImageThenStartsIt) {
    ASSERT_NO_FATAL_FAILURE(handshake());
    const QByteArray image = sampleImage(600);
    ASSERT_NO_FATAL_FAILURE(upgrade(image, 2));
    ASSERT_TRUE(result->completed()) << result->message.toStdString();

    // The new firmware runs and reports the version of its record.
    expectInstalled(image, 2);
    EXPECT_EQ(connection.state(), State::Linked);
    EXPECT_EQ(pedalStatus("line"), "115200 8N1");
    EXPECT_EQ(pedalStatus("latency"), QString::number(Connection::LatencyTimerMs));
    EXPECT_EQ(flash(bootloader::FlashStart + 600, 4), QByteArray(4, '\xFF'))
        << "the global erase leaves the rest blank";
    EXPECT_EQ(flash(bootloader::VersionRecordAddress, 8), QByteArray::fromHex("0000000000000002"));
    using P = UpgradePhase;
    EXPECT_EQ(progress, (std::vector<Progress>{{P::Erasing, 0, 600},
                                               {P::Writing, 256, 600},
                                               {P::Writing, 512, 600},
                                               {P::Writing, 600, 600},
                                               {P::Verifying, 256, 600},
                                               {P::Verifying, 512, 600},
                                               {P::Verifying, 600, 600}}));

    const QStringList writes = pedal.writes();
    // Erase: command and argument.
    EXPECT_EQ(writes.mid(0, 2), QStringList({"43BC", "FF00"}));
    // Each chunk: command, address + checksum, then N-1, data and checksum.
    EXPECT_EQ(writes.mid(2, 2), QStringList({"31CE", "0800000008"}));
    EXPECT_EQ(writes.value(4), "FF" + QString::fromLatin1(image.left(256).toHex().toUpper()) +
                                   hex2(chunkChecksum(image.left(256))));
    // The last chunk (88 bytes) at 0x08000200.
    EXPECT_EQ(writes.mid(8, 2), QStringList({"31CE", "080002000A"}));
    EXPECT_TRUE(writes.value(10).startsWith("57"));
    // Each chunk read back: command, address, N-1 and its complement.
    EXPECT_EQ(writes.mid(11, 3), QStringList({"11EE", "0800000008", "FF00"}));
    EXPECT_EQ(writes.mid(17, 3), QStringList({"11EE", "080002000A", "57A8"}));
    // The version record, then read back.
    EXPECT_EQ(writes.mid(20, 6), QStringList({"31CE", "0801FC00F5", "07000000000000000205", "11EE",
                                              "0801FC00F5", "07F8"}));
    // Go, to the start of the flash.
    EXPECT_EQ(writes.mid(26), QStringList({"21DE", "0800000008"}));
}

TEST_F(BootloaderExchange, EachReplyIsLoggedAsAckOrNotAck) {
    ASSERT_NO_FATAL_FAILURE(handshake());
    {
        test::LogCapture log;
        ASSERT_NO_FATAL_FAILURE(upgrade(sampleImage(100), 1));
        ASSERT_TRUE(result->completed()) << result->message.toStdString();
        // Erase 2, one chunk 3, its reading back 2 before the data, the
        // version record 3 and 2, Go 2.
        EXPECT_EQ(log.lines.count("received: 79"), 14);
        EXPECT_EQ(log.lines.count("ACK"), 14);
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
// names the step, sends nothing more, and above all no Go.
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
    // The ROM waits for the next command: the line stays with it, at the
    // link's latency timer again.
    EXPECT_EQ(connection.state(), State::Bootloader);
    EXPECT_EQ(pedalStatus("mode"), "bootloader");
    EXPECT_EQ(pedalStatus("latency"), QString::number(Connection::LatencyTimerMs));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, NackStops,
    // Replies: erase 2; each of the 3 chunks 3 (command, address, data);
    // each read back 3; the version record 3, its reading back 3; Go 2.
    // One write per reply.
    ::testing::Values(
        NackCase{"EraseCommand", 1, "the Erase command", 1},
        NackCase{"GlobalErase", 2, "the erasing of the flash", 2},
        NackCase{"FirstWriteCommand", 3, "the Write Memory command for chunk 1 of 3", 3},
        NackCase{"FirstAddress", 4, "the address 08000000 for chunk 1 of 3", 4},
        NackCase{"FirstData", 5, "the data of chunk 1 of 3", 5},
        NackCase{"LastData", 11, "the data of chunk 3 of 3", 11},
        NackCase{"FirstReadCommand", 12, "the Read Memory command for chunk 1 of 3", 12},
        NackCase{"FirstRead", 14, "the reading back for chunk 1 of 3", 14},
        NackCase{"VersionRecordAddress", 22, "the address 0801FC00 for the version record", 22},
        NackCase{"VersionRecord", 23, "the version record", 23},
        NackCase{"VersionRecordRead", 26, "the reading back of the version record", 26},
        NackCase{"GoCommand", 27, "the Go command", 27},
        NackCase{"GoAddress", 28, "the start address of the Go command", 28}),
    [](const ::testing::TestParamInfo<NackCase>& info) { return std::string(info.param.name); });

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

// Only a pedal whose bootloader answered may be written: the application
// would take the bytes for frames.
// The acknowledgement of Go's address is lost: the ROM has started the new
// firmware, the editor cannot know. It says the firmware was written and
// verified; the next try asks the application first and, as it answers,
// sends nothing at even parity.
TEST_F(BootloaderExchange, ALostGoAcknowledgementSaysTheFirmwareIsWrittenAndTheRetryAsksFirst) {
    const QByteArray image = sampleImage(700);
    bool armed = false;
    clock.onTimeChange([this, &armed](qint64) {
        // The ROM answers a write as it reads it: armed once Go is written,
        // the fault takes the answer after Go's, the address's.
        if (!armed && pedal.writes().contains("21DE")) {
            armed = true;
            pedal.command("fault truncate 0");
        }
    });
    ASSERT_NO_FATAL_FAILURE(tryUpgrade(image, 2));
    clock.onTimeChange(nullptr);
    ASSERT_EQ(tried->outcome, UpgradeResult::Outcome::Failed) << tried->message.toStdString();
    EXPECT_TRUE(tried->verified) << tried->message.toStdString();
    const QString text = upgradeFailureMessage(*tried);
    EXPECT_TRUE(text.startsWith("The new firmware was written and verified")) << text.toStdString();
    EXPECT_TRUE(text.contains("Switch the pedal off and on")) << text.toStdString();
    ASSERT_EQ(pedalStatus("mode"), "app") << "the ROM took Go; only its answer was lost";
    ASSERT_EQ(connection.state(), State::Bootloader);

    pedal.clearWrites();
    ASSERT_NO_FATAL_FAILURE(tryUpgrade(image, 2, true, true));
    EXPECT_EQ(tried->outcome, UpgradeResult::Outcome::Completed);
    EXPECT_EQ(pedal.writes(), QStringList({"0600"})) << "nothing at even parity";
    EXPECT_EQ(connection.state(), State::Linked);
    expectInstalled(image, 2);
}

// When the ROM still listens, the question goes unanswered and the retry
// writes the firmware as any try does.
TEST_F(BootloaderExchange, ARetryAfterALostGoFindsTheBootloaderAndUpgrades) {
    const QByteArray image = sampleImage(700);
    ASSERT_NO_FATAL_FAILURE(handshake());
    ASSERT_NO_FATAL_FAILURE(tryUpgrade(image, 2, true, true));
    EXPECT_EQ(tried->outcome, UpgradeResult::Outcome::Completed);
    EXPECT_EQ(pedal.writes().value(0), "0600");
    EXPECT_TRUE(pedal.writes().contains("43BC"));
    expectInstalled(image, 2);
}

TEST_F(BootloaderExchange, ATryIsRefusedUnlessTheBootloaderListens) {
    QString why;
    bool finished = false;
    UpgradeHooks hooks;
    hooks.finished = [&finished](const UpgradeResult&) { finished = true; };
    EXPECT_FALSE(startFirmwareUpgrade(connection, sampleImage(600), 2, hooks, &why));
    EXPECT_EQ(why, notInUpgradeModeMessage());
    clock.advance(1000);
    EXPECT_FALSE(finished);
    EXPECT_TRUE(pedal.writes().isEmpty());
    EXPECT_EQ(connection.state(), State::Linked);
}

// Before anything is erased the try learns the chip and the installed
// version, and asks; No leaves the flash as it was.
TEST_F(BootloaderExchange, ATryKnowsTheChipAndTheInstalledVersionAndErasesNothingWithoutYes) {
    const QByteArray before = flash(bootloader::FlashStart, 4096);
    ASSERT_NO_FATAL_FAILURE(tryUpgrade(sampleImage(600), 2, false));
    EXPECT_EQ(tried->outcome, UpgradeResult::Outcome::Declined);
    EXPECT_FALSE(tried->erased);
    ASSERT_TRUE(asked.has_value());
    EXPECT_EQ(asked->productId, 0x0410);
    EXPECT_EQ(asked->bootloaderVersion, 0x22);
    EXPECT_EQ(asked->installedVersion, 3);
    // Sync (twice: the ROM waited for a command), Get, Get ID, and Read
    // Memory of the version record's 8 bytes.
    EXPECT_EQ(pedal.writes(),
              QStringList({"7F", "7F", "00FF", "02FD", "11EE", "0801FC00F5", "07F8"}));
    EXPECT_EQ(flash(bootloader::FlashStart, 4096), before);
    EXPECT_EQ(connection.state(), State::Bootloader);
}

TEST_F(BootloaderExchange, AnotherChipStopsTheTryWithNothingErased) {
    pedal.command("chip 0x0412");
    ASSERT_NO_FATAL_FAILURE(tryUpgrade(sampleImage(600), 2));
    EXPECT_EQ(tried->outcome, UpgradeResult::Outcome::Failed);
    EXPECT_EQ(tried->message, "the pedal's chip reports product ID 0x0412, not the 0x0410 this "
                              "firmware is made for");
    EXPECT_FALSE(tried->erased);
    EXPECT_FALSE(asked.has_value()) << "no question for a firmware that cannot be written";
    EXPECT_FALSE(pedal.writes().contains("43BC"));
    EXPECT_EQ(pedalStatus("firmware"), "3");
    EXPECT_EQ(flash(bootloader::VersionRecordAddress + 7, 1), QByteArray(1, '\x03'));
}

// A cell that did not program is found by reading back: no version record,
// no Go, and the message names the address.
TEST_F(BootloaderExchange, ADifferenceReadBackStopsBeforeTheVersionRecordAndGo) {
    const QByteArray image = sampleImage(600);
    pedal.command("fault corrupt 0x08000105");
    ASSERT_NO_FATAL_FAILURE(tryUpgrade(image, 2));
    EXPECT_EQ(tried->outcome, UpgradeResult::Outcome::Failed);
    const QByteArray read = flash(0x08000105, 1);
    EXPECT_EQ(tried->message, QStringLiteral("the flash read back differs at address 08000105: "
                                             "%1 was written, %2 was read")
                                  .arg(hex2(static_cast<std::uint8_t>(image[0x105])),
                                       hex2(static_cast<std::uint8_t>(read[0]))));
    EXPECT_TRUE(tried->erased);
    EXPECT_EQ(writesFromTheErase().filter("0801FC00F5").size(), 0) << "no version record";
    EXPECT_FALSE(pedal.writes().contains("21DE")) << "no Go";
    EXPECT_EQ(flash(bootloader::VersionRecordAddress, 8), QByteArray(8, '\xFF'));
    EXPECT_EQ(pedalStatus("mode"), "bootloader");
    EXPECT_EQ(connection.state(), State::Bootloader);

    // The cell was a one-off: the next try writes the image.
    ASSERT_NO_FATAL_FAILURE(tryUpgrade(image, 2));
    EXPECT_EQ(tried->outcome, UpgradeResult::Outcome::Completed) << tried->message.toStdString();
    expectInstalled(image, 2);
}

// Whatever an earlier try or a stray byte left in the ROM or on the line,
// the next try starts in step and completes.
struct LeftoverCase {
    const char* name;
    std::function<void(BootloaderExchange&)> leave;
    QStringList syncWrites; // what the try sends before Get
};

void PrintTo(const LeftoverCase& c, std::ostream* os) {
    *os << c.name;
}

class EveryTry : public BootloaderExchange, public ::testing::WithParamInterface<LeftoverCase> {
public:
    void write(const char* hex) { port.write(QByteArray::fromHex(hex)); }
};

TEST_P(EveryTry, StartsInStepWithTheRom) {
    const LeftoverCase& c = GetParam();
    c.leave(*this);
    pedal.clearWrites();
    const QByteArray image = sampleImage(600);
    ASSERT_NO_FATAL_FAILURE(tryUpgrade(image, 1));
    EXPECT_EQ(tried->outcome, UpgradeResult::Outcome::Completed) << tried->message.toStdString();
    const QStringList writes = pedal.writes();
    EXPECT_EQ(writes.mid(0, writes.indexOf("00FF")), c.syncWrites);
    expectInstalled(image, 1);
}

const QString Fill = QString(QStringLiteral("FF")).repeated(ResyncFillBytes);

INSTANTIATE_TEST_SUITE_P(
    Leftovers, EveryTry,
    // Switched off and on with B2 held: the ROM waits for its first sync byte.
    ::testing::Values(LeftoverCase{"RestartedRom",
                                   [](BootloaderExchange& t) {
                                       t.handshake();
                                       t.pedal.command("bootloader");
                                   },
                                   {"7F"}},
                      // A second sync byte completes the pair the first one began.
                      LeftoverCase{"RomWaitingForACommand",
                                   [](BootloaderExchange& t) { t.handshake(); },
                                   {"7F", "7F"}},
                      LeftoverCase{"LoneCommandByte",
                                   [](BootloaderExchange& t) {
                                       t.handshake();
                                       static_cast<EveryTry&>(t).write("31");
                                   },
                                   {"7F"}},
                      // Write Memory waits for 256 data bytes and a checksum: the fill
                      // completes them, and its own NACKs are dropped before the next sync.
                      LeftoverCase{"RomCollectingWriteData",
                                   [](BootloaderExchange& t) {
                                       t.handshake();
                                       auto& e = static_cast<EveryTry&>(t);
                                       e.write("31CE");
                                       e.write("0800000008");
                                       e.write("FF");
                                       t.clock.advance(100);
                                   },
                                   {"7F", "7F", Fill, "7F"}},
                      // The first byte of an answer the last try never read.
                      LeftoverCase{"StaleAnswerUnread",
                                   [](BootloaderExchange& t) {
                                       t.handshake();
                                       t.pedal.command("fault split 1");
                                       static_cast<EveryTry&>(t).write("02FD");
                                   },
                                   {"7F", "7F"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The retry a player makes right after a stray byte stopped a try: the
// answer it displaced is still unread, and the ROM is in the middle of the
// Write Memory whose ACK came second.
TEST_F(BootloaderExchange, ARetryRightAfterAStrayByteCompletes) {
    const QByteArray image = sampleImage(600);
    onProgress = [this](UpgradePhase phase, int bytes) {
        if (phase == UpgradePhase::Writing && bytes == 256) {
            pedal.command("fault garbage 55");
            pedal.command("fault split 1");
        }
    };
    ASSERT_NO_FATAL_FAILURE(tryUpgrade(image, 2));
    EXPECT_EQ(tried->outcome, UpgradeResult::Outcome::Failed);
    EXPECT_EQ(tried->message, "the bootloader answered 55 to the Write Memory command for chunk 2 "
                              "of 3 instead of ACK");
    EXPECT_TRUE(tried->erased);
    onProgress = nullptr;

    ASSERT_NO_FATAL_FAILURE(tryUpgrade(image, 2));
    EXPECT_EQ(tried->outcome, UpgradeResult::Outcome::Completed) << tried->message.toStdString();
    EXPECT_EQ(asked->installedVersion, std::nullopt) << "the erased record names no version";
    expectInstalled(image, 2);
}

TEST_F(BootloaderExchange, AStrayByteWhileThePlayerReadsTheQuestionIsNotTakenForAnAnswer) {
    whileAsked = [this] { pedal.command("send 1F"); };
    const QByteArray image = sampleImage(600);
    ASSERT_NO_FATAL_FAILURE(tryUpgrade(image, 2));
    EXPECT_EQ(tried->outcome, UpgradeResult::Outcome::Completed) << tried->message.toStdString();
    expectInstalled(image, 2);
}

// With the wire timing on the test's clock: every byte takes its line time,
// the erase 40 ms and each half-word 52.5 us. The try waits for each answer
// and never sends into a busy ROM.
TEST_F(BootloaderExchange, WithWireTimingATryWaitsOutTheEraseAndTheProgramming) {
    clock.onTimeChange([this](qint64 ms) { pedal.setClock(ms); });
    pedal.command("timing on");
    const QByteArray image = sampleImage(4096);
    std::optional<QString> latencyWhileWriting;
    onProgress = [&](UpgradePhase phase, int bytes) {
        if (phase == UpgradePhase::Writing && bytes == 256)
            latencyWhileWriting = pedalStatus("latency");
    };
    const qint64 start = clock.elapsedMs();
    ASSERT_NO_FATAL_FAILURE(tryUpgrade(image, 2));
    EXPECT_EQ(tried->outcome, UpgradeResult::Outcome::Completed) << tried->message.toStdString();
    expectInstalled(image, 2);
    EXPECT_EQ(latencyWhileWriting, QString::number(UpgradeLatencyTimerMs));
    EXPECT_EQ(pedalStatus("latency"), QString::number(Connection::LatencyTimerMs));
    // The image goes out and comes back at 11 bits a byte; 2048 half-words.
    const double lineMs = 2.0 * image.size() * 11 * 1000 / 115200;
    EXPECT_GE(clock.elapsedMs() - start, lineMs + 40 + 2048 * 0.0525);
}

} // namespace
} // namespace kestra
