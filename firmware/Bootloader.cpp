#include "firmware/Bootloader.h"

#include "core/DebugLog.h"
#include "protocol/HexText.h"

namespace kestra {

namespace {

const QString AckText = hex2(bootloader::Ack);
const QString NackText = hex2(bootloader::Nack);
const QString UpgradeName = QStringLiteral("Firmware Upgrade");
const QString HandshakeName = QStringLiteral("bootloader handshake");
const QString ConnectionFailed = QStringLiteral("Connection to bootloader failed");

QByteArray bytesOf(std::initializer_list<std::uint8_t> bytes) {
    QByteArray result;
    for (std::uint8_t byte : bytes)
        result.append(static_cast<char>(byte));
    return result;
}

template <std::size_t N>
QByteArray bytesOf(const std::uint8_t (&data)[N]) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(N));
}

std::uint8_t byteAt(const QByteArray& bytes, qsizetype i) {
    return static_cast<std::uint8_t>(bytes[i]);
}

QString replyText(const FramedMessage& reply) {
    return reply.bytes.isEmpty() ? QString() : hex2(byteAt(reply.bytes, 0));
}

// What a first byte other than ACK says, for the failure text.
StepResult notAcknowledged(const QString& text, const QString& what) {
    if (text == NackText) {
        debugLog(QStringLiteral("NOT ACK"));
        return StepResult::fail(QStringLiteral("the bootloader refused %1 (NOT ACK)").arg(what));
    }
    return StepResult::fail(QStringLiteral("the bootloader answered %1 to %2 instead of ACK")
                                .arg(text.isEmpty() ? QStringLiteral("nothing") : text, what));
}

// A timed out step names what did not come.
Exchange::Finished timeoutNamed(std::function<void(const ExchangeResult&)> done) {
    return [done = std::move(done)](const ExchangeResult& result) {
        if (result.outcome != ExchangeResult::Outcome::TimedOut)
            return done(result);
        done({ExchangeResult::Outcome::Failed,
              QStringLiteral("the bootloader did not answer %1").arg(result.message)});
    };
}

// Builds the bootloader's steps; what each awaits names the step in the
// failure text.
class Steps {
public:
    explicit Steps(Exchange& exchange) : exchange_(exchange) {}

    void log(const QString& line) {
        exchange_.then([line] {
            debugLog(line);
            return StepResult::next();
        });
    }
    void write(const QByteArray& bytes) { exchange_.write(bytes); }
    void acknowledged(const QString& what) {
        exchange_.awaitReply(ReplyShape::bootloaderAck(), BootloaderReplyTimeLimitMs, what,
                             [what](const FramedMessage& reply) {
                                 const QString text = replyText(reply);
                                 debugLog(QStringLiteral("received: ") + text);
                                 if (text != AckText)
                                     return notAcknowledged(text, what);
                                 debugLog(QStringLiteral("ACK"));
                                 return StepResult::next();
                             });
    }
    // A command code and its complement, in one write, and its ACK.
    void command(const std::uint8_t (&code)[2], const QString& what) {
        write(bytesOf(code));
        acknowledged(what);
    }
    // Write Memory at address; where names the chunk for the failure text.
    void writeCommand(std::uint32_t address, const QString& where) {
        log(QStringLiteral("SEND WRITE COMMAND"));
        command(bootloader::WriteMemory, QStringLiteral("the Write Memory command") + where);
        log(QStringLiteral("SEND ADDRESS + CHECKSUM"));
        log(QStringLiteral("Address: ") + hex8(address));
        log(QStringLiteral("address checksum: ") + hex2(addressChecksum(address)));
        write(addressBytes(address));
        acknowledged(QStringLiteral("the address %1").arg(hex8(address)) + where);
    }
    // Read Memory of expected's size at address, compared with expected.
    void readBack(std::uint32_t address, const QByteArray& expected, const QString& where) {
        log(QStringLiteral("READ BACK ") + hex8(address));
        command(bootloader::ReadMemory, QStringLiteral("the Read Memory command") + where);
        write(addressBytes(address));
        acknowledged(QStringLiteral("the address %1").arg(hex8(address)) + where);
        const auto last = static_cast<std::uint8_t>(expected.size() - 1);
        write(bytesOf({last, static_cast<std::uint8_t>(~last)}));
        const QString what = QStringLiteral("the reading back") + where;
        exchange_.awaitReply(
            ReplyShape::bootloaderAckThen(static_cast<int>(expected.size())),
            BootloaderReplyTimeLimitMs, what,
            [address, expected, what](const FramedMessage& reply) {
                const QString text = replyText(reply);
                if (text != AckText)
                    return notAcknowledged(text, what);
                const QByteArray data = reply.bytes.mid(1);
                if (data.size() < expected.size())
                    return StepResult::fail(QStringLiteral("the bootloader sent %1 of the %2 bytes "
                                                           "of %3")
                                                .arg(data.size())
                                                .arg(expected.size())
                                                .arg(what));
                for (qsizetype i = 0; i < expected.size(); ++i) {
                    if (data[i] == expected[i])
                        continue;
                    return StepResult::fail(
                        QStringLiteral("the flash read back differs at address %1: %2 was "
                                       "written, %3 was read")
                            .arg(hex8(address + static_cast<std::uint32_t>(i)),
                                 hex2(byteAt(expected, i)), hex2(byteAt(data, i))));
                }
                return StepResult::next();
            });
    }
    void progress(const UpgradeProgress& progress, UpgradePhase phase, int bytes, int total) {
        if (!progress)
            return;
        exchange_.then([progress, phase, bytes, total] {
            progress(phase, bytes, total);
            return StepResult::next();
        });
    }

private:
    Exchange& exchange_;
};

// The handshake's reply: only ACK opens the bootloader.
StepResult handshakeReply(const FramedMessage& reply) {
    const QString text = replyText(reply);
    debugLog(QStringLiteral("received Byte: ") + text);
    if (text == AckText)
        return StepResult::next();
    return StepResult::fail(ConnectionFailed);
}

// Either answer to a sync byte shows a ROM in step: ACK from one that waited
// for its first sync, NACK from one that waited for a command.
StepResult resyncReply(const FramedMessage& reply) {
    const QString text = replyText(reply);
    debugLog(QStringLiteral("received Byte: ") + text);
    if (text == AckText || text == NackText)
        return StepResult::next();
    return StepResult::fail(ConnectionFailed);
}

void addHandshake(Exchange& exchange, int timeLimitMs = BootloaderReplyTimeLimitMs) {
    exchange.line(LineSettings::bootloader())
        .write(bytesOf({bootloader::Sync}))
        .awaitReply(ReplyShape::bootloaderAck(), timeLimitMs,
                    QStringLiteral("the bootloader's handshake"), handshakeReply);
}

// A silent bootloader fails the handshake like a refusing one.
std::function<void(const ExchangeResult&)>
handshakeOutcome(std::function<void(const ExchangeResult&)> done) {
    return [done = std::move(done)](const ExchangeResult& result) {
        if (result.outcome != ExchangeResult::Outcome::TimedOut)
            return done(result);
        done({ExchangeResult::Outcome::Failed, ConnectionFailed});
    };
}

// The probes of resynchronise(), one exchange each: stage 2 fills whatever
// argument the ROM still collects before its sync byte.
constexpr int ResyncStages = 4;
constexpr int FillStage = 2;

Exchange resyncStage(int stage, bool fromApplication) {
    Exchange exchange(HandshakeName);
    if (fromApplication)
        exchange.line(LineSettings::bootloader());
    else
        exchange.forBootloader();
    // Whatever came in before is stale, not the answer to this sync byte.
    exchange.purge(Purge::Receive);
    if (stage == FillStage) {
        exchange.write(QByteArray(ResyncFillBytes, '\xFF'))
            .pause(ResyncQuietMs)
            .purge(Purge::Receive);
    }
    exchange.write(bytesOf({bootloader::Sync}))
        .awaitReply(ReplyShape::bootloaderAck(), SyncProbeTimeLimitMs,
                    QStringLiteral("the sync byte"), resyncReply);
    return exchange;
}

bool runResyncStage(Connection& connection, int stage,
                    std::function<void(const ExchangeResult&)> done, QString* why) {
    Exchange exchange = resyncStage(stage, !connection.bootloaderLine());
    exchange.onFinished([&connection, stage, done](const ExchangeResult& result) {
        using Outcome = ExchangeResult::Outcome;
        if (result.completed() || result.outcome == Outcome::Lost ||
            result.outcome == Outcome::Cancelled)
            return done(result);
        QString why;
        if (stage + 1 < ResyncStages && runResyncStage(connection, stage + 1, done, &why))
            return;
        if (!why.isEmpty())
            debugLog(why);
        done({Outcome::Failed, ConnectionFailed});
    });
    return connection.run(std::move(exchange), why);
}

// ACK goes on; NACK means the ROM will not read (read protection): the
// version is unknown then, which is no reason to stop.
Exchange::ReplyHandler readAcknowledged(std::shared_ptr<BootloaderFacts> facts,
                                        const QString& what) {
    return [facts, what](const FramedMessage& reply) {
        const QString text = replyText(reply);
        debugLog(QStringLiteral("received: ") + text);
        if (text == NackText)
            facts->readRefused = true;
        if (text != AckText)
            return notAcknowledged(text, what);
        return StepResult::next();
    };
}

} // namespace

QString bootloaderFailedMessage() {
    return QStringLiteral(
        "Connection to bootloader failed\n\n"
        "The pedal did not answer as its bootloader does. Keep B2(SAVE) pressed on the pedal, "
        "check Upgrade Mode in the Firmware Upgrade menu again and answer Yes while the button "
        "is held.\n\n"
        "If an upgrade stopped before it completed, the pedal cannot do that: switch it off, "
        "hold B2(SAVE) while switching it on, then check Upgrade Mode and choose Link.");
}

QString upgradeStoppedMessage(const QString& failure) {
    return QStringLiteral(
               "The firmware upgrade stopped: %1.\n\n"
               "The pedal's firmware is incomplete: the pedal cannot be played until an upgrade "
               "completes, but it keeps its bootloader. Check the USB cable and click Upgrade "
               "Firmware to try again. If the pedal was switched off meanwhile, hold B2(SAVE) "
               "while switching it on, then click Upgrade Firmware.")
        .arg(failure);
}

QString upgradeStartUnconfirmedMessage(const QString& failure) {
    return QStringLiteral(
               "The new firmware was written and verified, but the pedal did not confirm that "
               "it started it: %1.\n\n"
               "Switch the pedal off and on: it starts the new firmware. Then choose Link.")
        .arg(failure);
}

QString upgradeNotStartedMessage(const QString& failure) {
    return QStringLiteral(
               "The firmware upgrade stopped before anything was erased: %1.\n\n"
               "The pedal keeps its firmware, and its bootloader still listens. Click Upgrade "
               "Firmware to try again, or uncheck Upgrade Mode and switch the pedal off and on to "
               "play it as before.")
        .arg(failure);
}

QString upgradeLostMessage(bool firmwareIncomplete) {
    const QString again = QStringLiteral(
        "Reconnect the pedal and choose Link (Upgrade Mode stays checked), then click Upgrade "
        "Firmware to try again.");
    if (!firmwareIncomplete)
        return QStringLiteral("The pedal was disconnected before its firmware was erased: it "
                              "keeps its firmware, and its bootloader still listens.\n\n") +
               again + QStringLiteral(" Or switch the pedal off and on to play it as before.");
    return QStringLiteral("The pedal was disconnected during the firmware upgrade. Its firmware "
                          "is incomplete and it keeps its bootloader.\n\n") +
           again +
           QStringLiteral(" If the pedal was switched off meanwhile, hold B2(SAVE) while "
                          "switching it on before choosing Link.");
}

QString notInUpgradeModeMessage() {
    return QStringLiteral("The pedal is not in Firmware Upgrade Mode. Keep B2(SAVE) pressed on "
                          "the pedal, check Upgrade Mode in the Firmware Upgrade menu and answer "
                          "Yes while the button is held, then click Upgrade Firmware.");
}

Exchange enterBootloader(std::function<void(const ExchangeResult&)> done) {
    Exchange exchange(QStringLiteral("Upgrade Mode"));
    // The frame's own pause gives the pedal time to restart into its ROM.
    exchange.frame(frames::enterBootloader());
    addHandshake(exchange);
    exchange.onFinished(handshakeOutcome(std::move(done)));
    return exchange;
}

Exchange bootloaderHandshake(std::function<void(const ExchangeResult&)> done, int timeLimitMs) {
    Exchange exchange(HandshakeName);
    addHandshake(exchange, timeLimitMs);
    exchange.onFinished(handshakeOutcome(std::move(done)));
    return exchange;
}

bool resynchronise(Connection& connection, std::function<void(const ExchangeResult&)> done,
                   QString* why) {
    return runResyncStage(connection, 0, std::move(done), why);
}

std::optional<int> versionInRecord(const QByteArray& record) {
    if (record.size() != 8 || record.left(7) != QByteArray(7, '\0') || byteAt(record, 7) == 0xFF)
        return std::nullopt;
    return byteAt(record, 7);
}

Exchange checkChip(std::shared_ptr<BootloaderFacts> facts,
                   std::function<void(const ExchangeResult&)> done) {
    Exchange exchange(UpgradeName);
    exchange.forBootloader();
    Steps steps(exchange);
    steps.log(QStringLiteral("SEND GET COMMAND"));
    // ACK, N, N + 1 bytes, ACK: the version and the command codes.
    const auto counted = [](const QString& what,
                            std::function<StepResult(const QByteArray&)> take) {
        return [what, take](const FramedMessage& reply) {
            debugLog(QStringLiteral("received: ") + bytesToHex(reply.bytes));
            const QString text = replyText(reply);
            if (text != AckText)
                return notAcknowledged(text, what);
            const QByteArray& b = reply.bytes;
            if (b.size() < 4 || b.size() != byteAt(b, 1) + 4 || byteAt(b, b.size() - 1) != 0x79)
                return StepResult::fail(
                    QStringLiteral("the bootloader's answer to %1 is incomplete").arg(what));
            return take(b.mid(2, b.size() - 3));
        };
    };
    const QString get = QStringLiteral("the Get command");
    steps.write(bytesOf(bootloader::Get));
    exchange.awaitReply(
        ReplyShape::bootloaderCounted(), BootloaderReplyTimeLimitMs, get,
        counted(get, [facts](const QByteArray& data) {
            facts->bootloaderVersion = byteAt(data, 0);
            facts->commands = data.mid(1);
            debugLog(QStringLiteral("bootloader version: %1.%2")
                         .arg(facts->bootloaderVersion >> 4)
                         .arg(facts->bootloaderVersion & 0x0F));
            for (const std::uint8_t code : {bootloader::ReadMemory[0], bootloader::WriteMemory[0],
                                            bootloader::Erase[0], bootloader::Go[0]}) {
                if (!facts->commands.contains(static_cast<char>(code)))
                    return StepResult::fail(QStringLiteral("the bootloader does not offer the "
                                                           "command %1 that the upgrade uses")
                                                .arg(hex2(code)));
            }
            return StepResult::next();
        }));
    steps.log(QStringLiteral("SEND GET ID COMMAND"));
    const QString getId = QStringLiteral("the Get ID command");
    steps.write(bytesOf(bootloader::GetId));
    exchange.awaitReply(
        ReplyShape::bootloaderCounted(), BootloaderReplyTimeLimitMs, getId,
        counted(getId, [facts](const QByteArray& data) {
            if (data.size() != 2)
                return StepResult::fail(QStringLiteral("the pedal's chip reports a product ID "
                                                       "of %1 bytes")
                                            .arg(data.size()));
            facts->productId = static_cast<std::uint16_t>(byteAt(data, 0) << 8 | byteAt(data, 1));
            debugLog(QStringLiteral("product ID: ") + hex4(facts->productId));
            if (facts->productId != PedalProductId)
                return StepResult::fail(QStringLiteral("the pedal's chip reports product ID "
                                                       "0x%1, not the 0x%2 this firmware is "
                                                       "made for")
                                            .arg(hex4(facts->productId), hex4(PedalProductId)));
            return StepResult::next();
        }));
    exchange.onFinished(timeoutNamed(std::move(done)));
    return exchange;
}

Exchange readInstalledVersion(std::shared_ptr<BootloaderFacts> facts,
                              std::function<void(const ExchangeResult&)> done) {
    Exchange exchange(UpgradeName);
    exchange.forBootloader();
    Steps steps(exchange);
    const std::uint32_t address = bootloader::VersionRecordAddress;
    const QString where = QStringLiteral(" of the version record");
    steps.log(QStringLiteral("READ VERSION RECORD"));
    steps.write(bytesOf(bootloader::ReadMemory));
    const QString command = QStringLiteral("the Read Memory command") + where;
    exchange.awaitReply(ReplyShape::bootloaderAck(), BootloaderReplyTimeLimitMs, command,
                        readAcknowledged(facts, command));
    steps.write(addressBytes(address));
    const QString at = QStringLiteral("the address %1").arg(hex8(address)) + where;
    exchange.awaitReply(ReplyShape::bootloaderAck(), BootloaderReplyTimeLimitMs, at,
                        readAcknowledged(facts, at));
    steps.write(bytesOf({0x07, 0xF8}));
    const QString what = QStringLiteral("the reading") + where;
    exchange.awaitReply(ReplyShape::bootloaderAckThen(8), BootloaderReplyTimeLimitMs, what,
                        [facts, what](const FramedMessage& reply) {
                            const StepResult acknowledged = readAcknowledged(facts, what)(reply);
                            if (!acknowledged.ok)
                                return acknowledged;
                            if (reply.bytes.size() < 9)
                                return StepResult::fail(
                                    QStringLiteral("the bootloader sent %1 of the 8 bytes of %2")
                                        .arg(reply.bytes.size() - 1)
                                        .arg(what));
                            facts->installedVersion = versionInRecord(reply.bytes.mid(1, 8));
                            debugLog(QStringLiteral("installed firmware version: %1")
                                         .arg(facts->installedVersion
                                                  ? QString::number(*facts->installedVersion)
                                                  : QStringLiteral("unknown")));
                            return StepResult::next();
                        });
    exchange.onFinished(timeoutNamed(std::move(done)));
    return exchange;
}

Exchange firmwareUpgrade(const FirmwareChunks& chunks, int version, UpgradeProgress progress,
                         std::function<void(const ExchangeResult&)> done,
                         std::function<void()> readyToStart) {
    Exchange exchange(UpgradeName);
    exchange.forBootloader();
    Steps steps(exchange);
    int total = 0;
    for (const FirmwareChunk& chunk : chunks.chunks)
        total += static_cast<int>(chunk.bytes.size());
    const int count = static_cast<int>(chunks.chunks.size());
    const auto chunkWhere = [count](int i) {
        return QStringLiteral(" for chunk %1 of %2").arg(i + 1).arg(count);
    };

    // Whatever came in while the player read the question is stale, not the
    // answer to the erase.
    exchange.purge(Purge::Receive);
    exchange.latencyTimer(UpgradeLatencyTimerMs);

    steps.log(QStringLiteral("Start Erase Command"));
    steps.command(bootloader::Erase, QStringLiteral("the Erase command"));
    steps.progress(progress, UpgradePhase::Erasing, 0, total);
    steps.write(bytesOf(bootloader::GlobalErase));
    steps.acknowledged(QStringLiteral("the erasing of the flash"));

    steps.log(QStringLiteral("Start Write Command"));
    steps.log(QString());
    std::uint32_t address = bootloader::FlashStart;
    int written = 0;
    for (int i = 0; i < count; ++i) {
        const QByteArray& data = chunks.chunks[static_cast<std::size_t>(i)].bytes;
        steps.writeCommand(address, chunkWhere(i));
        const QByteArray payload = chunkPayload(data);
        steps.log(QStringLiteral("SEND N BYTE + DATA + CHECKSUM"));
        steps.log(QStringLiteral("N_byte: ") + hex2(byteAt(payload, 0)));
        steps.log(QStringLiteral("chunk size: %1").arg(data.size()));
        steps.log(QStringLiteral("data checksum: ") + hex2(byteAt(payload, payload.size() - 1)));
        steps.write(payload);
        steps.acknowledged(QStringLiteral("the data of chunk %1 of %2").arg(i + 1).arg(count));
        address += static_cast<std::uint32_t>(data.size());
        written += static_cast<int>(data.size());
        steps.progress(progress, UpgradePhase::Writing, written, total);
        steps.log(QString());
    }

    // Everything is read back before the version record makes it a firmware.
    address = bootloader::FlashStart;
    int verified = 0;
    for (int i = 0; i < count; ++i) {
        const QByteArray& data = chunks.chunks[static_cast<std::size_t>(i)].bytes;
        steps.readBack(address, data, chunkWhere(i));
        address += static_cast<std::uint32_t>(data.size());
        verified += static_cast<int>(data.size());
        steps.progress(progress, UpgradePhase::Verifying, verified, total);
    }

    const QString record = QStringLiteral(" for the version record");
    steps.writeCommand(bootloader::VersionRecordAddress, record);
    steps.write(versionRecord(version));
    steps.acknowledged(QStringLiteral("the version record"));
    steps.readBack(bootloader::VersionRecordAddress, versionRecord(version).mid(1, 8),
                   QStringLiteral(" of the version record"));

    if (readyToStart)
        exchange.then([readyToStart] {
            readyToStart();
            return StepResult::next();
        });
    steps.log(QString());
    steps.log(QStringLiteral("SEND GO COMMAND"));
    steps.command(bootloader::Go, QStringLiteral("the Go command"));
    steps.log(QStringLiteral("SEND ADDRESS + CHECKSUM"));
    steps.log(QStringLiteral("Address: ") + hex8(bootloader::FlashStart));
    steps.log(QStringLiteral("address checksum: ") + hex2(addressChecksum(bootloader::FlashStart)));
    steps.write(addressBytes(bootloader::FlashStart));
    steps.acknowledged(QStringLiteral("the start address of the Go command"));
    // The pedal now starts its new firmware.
    exchange.line(LineSettings::application());
    exchange.latencyTimer(Connection::LatencyTimerMs);
    exchange.onFinished(timeoutNamed(std::move(done)));
    return exchange;
}

} // namespace kestra
