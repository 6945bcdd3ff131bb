#include "firmware/Bootloader.h"

#include "core/DebugLog.h"
#include "protocol/HexText.h"

namespace kestra {

namespace {

const QString AckText = hex2(bootloader::Ack);
const QString NackText = hex2(bootloader::Nack);

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

QString replyText(const FramedMessage& reply) {
    return reply.bytes.isEmpty() ? QString() : hex2(static_cast<std::uint8_t>(reply.bytes[0]));
}

Exchange::Action log(QString line) {
    return [line = std::move(line)] {
        debugLog(line);
        return StepResult::next();
    };
}

// Builds the bootloader's steps; what each awaits names the step in the
// failure text.
class Steps {
public:
    explicit Steps(Exchange& exchange) : exchange_(exchange) {}

    void log(const QString& line) { exchange_.then(kestra::log(line)); }
    void write(const QByteArray& bytes) { exchange_.write(bytes); }
    // Some steps go out a byte at a time, as the bootloader has always been fed.
    void writeEachByte(const QByteArray& bytes) {
        for (const char byte : bytes)
            exchange_.write(QByteArray(1, byte));
    }
    void acknowledged(const QString& what) {
        exchange_.awaitReply(
            ReplyShape::bootloaderAck(), BootloaderReplyTimeLimitMs, what,
            [what](const FramedMessage& reply) {
                const QString text = replyText(reply);
                debugLog(QStringLiteral("received: ") + text);
                if (text == AckText) {
                    debugLog(QStringLiteral("ACK"));
                    return StepResult::next();
                }
                if (text == NackText) {
                    debugLog(QStringLiteral("NOT ACK"));
                    return StepResult::fail(
                        QStringLiteral("the bootloader refused %1 (NOT ACK)").arg(what));
                }
                return StepResult::fail(
                    QStringLiteral("the bootloader answered %1 to %2 instead "
                                   "of ACK")
                        .arg(text.isEmpty() ? QStringLiteral("nothing") : text, what));
            });
    }
    // Write Memory at address; where names the chunk for the failure text.
    void writeCommand(std::uint32_t address, const QString& where) {
        log(QStringLiteral("SEND WRITE COMMAND"));
        writeEachByte(bytesOf(bootloader::WriteMemory));
        acknowledged(QStringLiteral("the Write Memory command") + where);
        log(QStringLiteral("SEND ADDRESS + CHECKSUM"));
        log(QStringLiteral("Address: ") + hex8(address));
        log(QStringLiteral("address checksum: ") + hex2(addressChecksum(address)));
        write(addressBytes(address));
        acknowledged(QStringLiteral("the address %1").arg(hex8(address)) + where);
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
    return StepResult::fail(QStringLiteral("Connection to bootloader failed"));
}

// Either answer to a second sync byte shows a ROM in step.
StepResult resyncReply(const FramedMessage& reply) {
    const QString text = replyText(reply);
    debugLog(QStringLiteral("received Byte: ") + text);
    if (text == AckText || text == NackText)
        return StepResult::next();
    return StepResult::fail(QStringLiteral("Connection to bootloader failed"));
}

void addHandshake(Exchange& exchange, Exchange::ReplyHandler reply = handshakeReply) {
    exchange.line(LineSettings::bootloader())
        .write(bytesOf({bootloader::Sync}))
        .awaitReply(ReplyShape::bootloaderAck(), BootloaderReplyTimeLimitMs,
                    QStringLiteral("the bootloader's handshake"), std::move(reply));
}

// A silent bootloader fails the handshake like a refusing one.
std::function<void(const ExchangeResult&)>
handshakeOutcome(std::function<void(const ExchangeResult&)> done) {
    return [done = std::move(done)](const ExchangeResult& result) {
        if (result.outcome != ExchangeResult::Outcome::TimedOut)
            return done(result);
        done({ExchangeResult::Outcome::Failed, QStringLiteral("Connection to bootloader failed")});
    };
}

} // namespace

QString bootloaderFailedMessage() {
    return QStringLiteral("Connection to bootloader failed\n\n"
                          "The pedal did not answer as its bootloader does. Keep B2(SAVE) "
                          "pressed on the pedal, check Upgrade Mode in the Firmware Upgrade "
                          "menu again and answer Yes while the button is held.");
}

QString upgradeStoppedMessage(const QString& failure) {
    return QStringLiteral("The firmware upgrade stopped: %1.\n\n"
                          "The pedal's firmware is incomplete and the pedal stays in its "
                          "bootloader. Check the USB cable and click Upgrade Firmware to try "
                          "again.")
        .arg(failure);
}

Exchange enterBootloader(std::function<void(const ExchangeResult&)> done) {
    Exchange exchange(QStringLiteral("Upgrade Mode"));
    // The frame's own pause gives the pedal time to restart into its ROM.
    exchange.frame(frames::enterBootloader());
    addHandshake(exchange);
    exchange.onFinished(handshakeOutcome(std::move(done)));
    return exchange;
}

Exchange bootloaderHandshake(std::function<void(const ExchangeResult&)> done) {
    Exchange exchange(QStringLiteral("bootloader handshake"));
    addHandshake(exchange);
    exchange.onFinished(handshakeOutcome(std::move(done)));
    return exchange;
}

Exchange bootloaderResync(std::function<void(const ExchangeResult&)> done) {
    Exchange exchange(QStringLiteral("bootloader handshake"));
    addHandshake(exchange, resyncReply);
    exchange.onFinished(handshakeOutcome(std::move(done)));
    return exchange;
}

Exchange firmwareUpgrade(const FirmwareChunks& chunks, int version, UpgradeProgress progress,
                         std::function<void(const ExchangeResult&)> done) {
    Exchange exchange(QStringLiteral("Firmware Upgrade"));
    exchange.forBootloader();
    Steps steps(exchange);

    steps.log(QStringLiteral("Start Erase Command"));
    steps.write(bytesOf(bootloader::Erase));
    steps.acknowledged(QStringLiteral("the Erase command"));
    steps.write(bytesOf(bootloader::GlobalErase));
    steps.acknowledged(QStringLiteral("the erasing of the flash"));

    steps.log(QStringLiteral("Start Write Command"));
    steps.log(QString());
    const int count = static_cast<int>(chunks.chunks.size());
    std::uint32_t address = bootloader::FlashStart;
    for (int i = 0; i < count; ++i) {
        exchange.then([progress, i, count] {
            if (progress)
                progress(i, count);
            return StepResult::next();
        });
        const QByteArray& data = chunks.chunks[static_cast<std::size_t>(i)].bytes;
        const QString where = QStringLiteral(" for chunk %1 of %2").arg(i + 1).arg(count);
        steps.writeCommand(address, where);
        const QByteArray payload = chunkPayload(data);
        steps.log(QStringLiteral("SEND N BYTE + DATA + CHECKSUM"));
        steps.log(QStringLiteral("N_byte: ") + hex2(static_cast<std::uint8_t>(payload.front())));
        steps.write(payload.left(1));
        steps.log(QStringLiteral("chunk size: %1").arg(data.size()));
        steps.write(data);
        steps.log(QStringLiteral("data checksum: ") +
                  hex2(static_cast<std::uint8_t>(payload.back())));
        steps.write(payload.right(1));
        steps.acknowledged(QStringLiteral("the data of chunk %1 of %2").arg(i + 1).arg(count));
        address += static_cast<std::uint32_t>(data.size());
        steps.log(QString());
    }

    const QString record = QStringLiteral(" for the version record");
    steps.writeCommand(bootloader::VersionRecordAddress, record);
    steps.writeEachByte(versionRecord(version));
    steps.acknowledged(QStringLiteral("the version record"));
    exchange.then([progress, count] {
        if (progress)
            progress(count, count);
        return StepResult::next();
    });
    exchange.pause(BeforeGoPauseMs);

    steps.log(QString());
    steps.log(QStringLiteral("SEND GO COMMAND"));
    steps.writeEachByte(bytesOf(bootloader::Go));
    steps.acknowledged(QStringLiteral("the Go command"));
    steps.log(QStringLiteral("SEND ADDRESS + CHECKSUM"));
    steps.log(QStringLiteral("Address: ") + hex8(bootloader::FlashStart));
    steps.log(QStringLiteral("address checksum: ") + hex2(addressChecksum(bootloader::FlashStart)));
    steps.writeEachByte(addressBytes(bootloader::FlashStart));
    steps.acknowledged(QStringLiteral("the start address of the Go command"));
    // The pedal now starts its new firmware.
    exchange.line(LineSettings::application());
    exchange.onFinished([done = std::move(done)](const ExchangeResult& result) {
        if (result.outcome != ExchangeResult::Outcome::TimedOut)
            return done(result);
        done({ExchangeResult::Outcome::Failed,
              QStringLiteral("the bootloader did not answer %1").arg(result.message)});
    });
    return exchange;
}

} // namespace kestra
