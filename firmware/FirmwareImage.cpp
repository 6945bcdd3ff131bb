#include "firmware/FirmwareImage.h"

#include "catalogue/ResourceStore.h"
#include "core/DebugLog.h"
#include "protocol/HexText.h"

namespace kestra {

QStringList firmwareImageNames() {
    return {QStringLiteral("Firmware_1"), QStringLiteral("Firmware_2"),
            QStringLiteral("Firmware_3")};
}

int firmwareVersionOf(const QString& imageName) {
    if (imageName.isEmpty() || !imageName.back().isDigit())
        return 0;
    return imageName.back().digitValue();
}

std::optional<QByteArray> loadFirmwareImage(const QString& imageName, QString* error) {
    return loadFirmwareImage(ResourceStore::compiled(), imageName, error);
}

std::optional<QByteArray> loadFirmwareImage(const ResourceStore& store, const QString& imageName,
                                            QString* error) {
    const auto fail = [error](const QString& text) -> std::optional<QByteArray> {
        if (error)
            *error = text;
        return std::nullopt;
    };
    if (imageName.isEmpty())
        return fail(QStringLiteral("No firmware is chosen. Choose one in the list, then click "
                                   "Upgrade Firmware."));
    const auto image = store.find(imageName);
    if (!image)
        return fail(QStringLiteral("The firmware %1 cannot be loaded: %2. Reinstall the editor.")
                        .arg(imageName, store.errorFor(imageName)));
    debugLog(QStringLiteral("Firmware num of bytes: %1").arg(image->size()));
    if (image->isEmpty())
        return fail(
            QStringLiteral("The firmware %1 is empty. Reinstall the editor.").arg(imageName));
    if (image->size() > MaxFirmwareImageBytes)
        return fail(QStringLiteral("The firmware %1 is %2 bytes long, more than the %3 bytes the "
                                   "pedal's flash holds below its version record. Nothing was "
                                   "sent to the pedal.")
                        .arg(imageName)
                        .arg(image->size())
                        .arg(MaxFirmwareImageBytes));
    return image;
}

FirmwareChunks splitFirmwareIntoChunks(const QByteArray& image) {
    FirmwareChunks result;
    const QString text = bytesToHex(image);
    result.fullChunkCount = static_cast<int>(image.size() / FirmwareChunkSize);
    result.lastChunkSize = static_cast<int>(image.size() % FirmwareChunkSize);
    debugLog(QStringLiteral("num of chunks: %1").arg(result.fullChunkCount));
    debugLog(QStringLiteral("num of bytes last chunk: %1").arg(result.lastChunkSize));
    const int count = result.fullChunkCount + (result.lastChunkSize != 0 ? 1 : 0);
    result.chunks.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        FirmwareChunk chunk;
        chunk.bytes = image.mid(static_cast<qsizetype>(i) * FirmwareChunkSize, FirmwareChunkSize);
        chunk.text = text.mid(static_cast<qsizetype>(i) * FirmwareChunkSize * 2,
                              static_cast<qsizetype>(chunk.bytes.size()) * 2);
        if (i == count - 1)
            debugLog(QStringLiteral("num of bytes last chunk: %1").arg(chunk.bytes.size()));
        debugLog(QStringLiteral("chunk from string %1: ").arg(i));
        debugLog(chunk.text);
        debugLog(QStringLiteral("chunk %1 size: %2").arg(i).arg(chunk.bytes.size()));
        debugLog(QString());
        debugLog(QString());
        result.chunks.push_back(std::move(chunk));
    }
    return result;
}

std::uint8_t addressChecksum(std::uint32_t address) {
    return static_cast<std::uint8_t>((address >> 24) ^ (address >> 16) ^ (address >> 8) ^ address);
}

std::uint8_t chunkChecksum(const QByteArray& chunk) {
    auto sum = static_cast<std::uint8_t>(chunk.size() - 1);
    for (const char byte : chunk)
        sum ^= static_cast<std::uint8_t>(byte);
    return sum;
}

QByteArray addressBytes(std::uint32_t address) {
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(static_cast<char>((address >> shift) & 0xFF));
    bytes.append(static_cast<char>(addressChecksum(address)));
    return bytes;
}

QByteArray chunkPayload(const QByteArray& chunk) {
    QByteArray payload(1, static_cast<char>(chunk.size() - 1));
    payload.append(chunk);
    payload.append(static_cast<char>(chunkChecksum(chunk)));
    return payload;
}

QByteArray versionRecord(int version) {
    // Eight data bytes, the version last: where the application reads it.
    QByteArray data(7, '\0');
    data.append(static_cast<char>(version));
    return chunkPayload(data);
}

} // namespace kestra
