#include "firmware/Bootloader.h"

#include "core/DebugLog.h"
#include "port/Communication.h"
#include "protocol/HexText.h"
#include "protocol/SyncReceive.h"

#include <algorithm>

namespace kestra {

namespace {
const QString AckText = hex2(bootloader::Ack);
const QString NackText = hex2(bootloader::Nack);

QByteArray bytesOf(const std::uint8_t* data, int count) {
    return QByteArray(reinterpret_cast<const char*>(data), count);
}

template <std::size_t N>
QByteArray bytesOf(const std::uint8_t (&data)[N]) {
    return bytesOf(data, static_cast<int>(N));
}

std::uint32_t writeBytes(D2XXUnit& transport, const QByteArray& bytes) {
    std::copy(bytes.begin(), bytes.end(), transport.transmitBuffer.begin());
    return transport.WriteFTDevice(static_cast<std::uint32_t>(bytes.size()));
}

// The reply of one step, read with a time limit: a silent bootloader must
// not hang the editor.
Reply bootloaderReply(D2XXUnit& transport) {
    return receiveReply(transport, true, BootloaderReplyTimeLimitMs);
}

void logReply(const QString& text) {
    debugLog(QStringLiteral("received: ") + text);
    if (text == AckText)
        debugLog(QStringLiteral("ACK"));
    else if (text == NackText)
        debugLog(QStringLiteral("NOT ACK"));
}
} // namespace

QString connectBootloader(D2XXUnit& transport) {
    setPortDefaults(transport.portSettings, Parity::Even);
    transport.SetFTDataCharacteristics();
    const std::uint8_t sync = bootloader::Sync;
    if (writeBytes(transport, bytesOf(&sync, 1)) != 1)
        return {};
    return bootloaderReply(transport).text;
}

QString readBootloaderReply(D2XXUnit& transport) {
    const QString text = bootloaderReply(transport).text;
    logReply(text);
    return text;
}

void restoreApplicationPort(D2XXUnit& transport) {
    setPortDefaults(transport.portSettings, Parity::None);
    transport.SetFTDataCharacteristics();
}

bool FirmwareWriter::send(const QByteArray& bytes, const QString& what) {
    if (writeBytes(transport_, bytes) == static_cast<std::uint32_t>(bytes.size()))
        return true;
    failure_ = QStringLiteral("%1 could not be sent to the pedal").arg(what);
    return false;
}

// Some steps go out a byte at a time, as the bootloader has always been fed.
bool FirmwareWriter::sendEachByte(const QByteArray& bytes, const QString& what) {
    for (const char byte : bytes) {
        if (!send(QByteArray(1, byte), what))
            return false;
    }
    return true;
}

bool FirmwareWriter::acknowledged(const QString& what) {
    const Reply reply = bootloaderReply(transport_);
    logReply(reply.text);
    if (reply.text == AckText)
        return true;
    if (reply.outcome == Reply::Outcome::TimedOut)
        failure_ = QStringLiteral("the bootloader did not answer %1").arg(what);
    else if (!reply.received() || reply.text.isEmpty())
        failure_ = QStringLiteral("the bootloader's answer to %1 could not be read").arg(what);
    else if (reply.text == NackText)
        failure_ = QStringLiteral("the bootloader refused %1 (NOT ACK)").arg(what);
    else
        failure_ =
            QStringLiteral("the bootloader answered %1 to %2 instead of ACK").arg(reply.text, what);
    return false;
}

bool FirmwareWriter::eraseFlash() {
    debugLog(QStringLiteral("Start Erase Command"));
    const QString command = QStringLiteral("the Erase command");
    const QString argument = QStringLiteral("the erasing of the flash");
    return send(bytesOf(bootloader::Erase), command) && acknowledged(command) &&
           send(bytesOf(bootloader::GlobalErase), argument) && acknowledged(argument);
}

bool FirmwareWriter::sendWriteCommand() {
    const QString where = chunkName_.isEmpty() ? QString() : QStringLiteral(" for ") + chunkName_;
    debugLog(QStringLiteral("SEND WRITE COMMAND"));
    const QString command = QStringLiteral("the Write Memory command") + where;
    if (!sendEachByte(bytesOf(bootloader::WriteMemory), command) || !acknowledged(command))
        return false;
    const QString address = QStringLiteral("the address %1").arg(hex8(targetAddress)) + where;
    debugLog(QStringLiteral("SEND ADDRESS + CHECKSUM"));
    debugLog(QStringLiteral("Address: ") + hex8(targetAddress));
    debugLog(QStringLiteral("address checksum: ") + hex2(addressChecksum(targetAddress)));
    return send(addressBytes(targetAddress), address) && acknowledged(address);
}

bool FirmwareWriter::writeFirmware(const FirmwareChunks& chunks,
                                   const std::function<void(int, int)>& progress) {
    debugLog(QStringLiteral("Start Write Command"));
    debugLog(QString());
    targetAddress = bootloader::FlashStart;
    const int count = static_cast<int>(chunks.chunks.size());
    for (int i = 0; i < count; ++i) {
        if (progress)
            progress(i, count);
        const QByteArray& data = chunks.chunks[static_cast<std::size_t>(i)].bytes;
        chunkName_ = QStringLiteral("chunk %1 of %2").arg(i + 1).arg(count);
        if (!sendWriteCommand())
            return false;
        const QString what = QStringLiteral("the data of ") + chunkName_;
        const QByteArray payload = chunkPayload(data);
        debugLog(QStringLiteral("SEND N BYTE + DATA + CHECKSUM"));
        debugLog(QStringLiteral("N_byte: ") + hex2(static_cast<std::uint8_t>(payload.front())));
        if (!send(payload.left(1), what))
            return false;
        debugLog(QStringLiteral("chunk size: %1").arg(data.size()));
        if (!send(data, what))
            return false;
        debugLog(QStringLiteral("data checksum: ") +
                 hex2(static_cast<std::uint8_t>(payload.back())));
        if (!send(payload.right(1), what) || !acknowledged(what))
            return false;
        targetAddress += static_cast<std::uint32_t>(data.size());
        debugLog(QString());
    }
    chunkName_.clear();
    return true;
}

bool FirmwareWriter::writeVersionRecord(int version) {
    targetAddress = bootloader::VersionRecordAddress;
    chunkName_ = QStringLiteral("the version record");
    const bool sent = sendWriteCommand() &&
                      sendEachByte(versionRecord(version), QStringLiteral("the version record")) &&
                      acknowledged(QStringLiteral("the version record"));
    chunkName_.clear();
    return sent;
}

bool FirmwareWriter::sendGoCommand() {
    debugLog(QString());
    debugLog(QStringLiteral("SEND GO COMMAND"));
    targetAddress = bootloader::FlashStart;
    const QString command = QStringLiteral("the Go command");
    if (!sendEachByte(bytesOf(bootloader::Go), command) || !acknowledged(command))
        return false;
    const QString address = QStringLiteral("the start address of the Go command");
    debugLog(QStringLiteral("SEND ADDRESS + CHECKSUM"));
    debugLog(QStringLiteral("Address: ") + hex8(targetAddress));
    debugLog(QStringLiteral("address checksum: ") + hex2(addressChecksum(targetAddress)));
    return sendEachByte(addressBytes(targetAddress), address) && acknowledged(address);
}

} // namespace kestra
