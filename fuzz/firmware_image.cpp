// Firmware images as the catalogue holds them, loaded through a resource
// store and cut into Write Memory chunks. Chunks reassemble to the image,
// every chunk but the last is full, and every payload and address the
// bootloader gets checks out (the XOR of all its bytes is zero). The size
// limit is left to the unit tests: an image that long takes a tenth of a
// second a run under the sanitizers.
#include "catalogue/ResourceStore.h"
#include "firmware/FirmwareImage.h"
#include "fuzz/FuzzSupport.h"

#include <QFile>
#include <QFileInfo>

namespace kestra::fuzz {
namespace {

std::uint8_t xorOf(const QByteArray& bytes) {
    std::uint8_t sum = 0;
    for (char byte : bytes)
        sum ^= static_cast<std::uint8_t>(byte);
    return sum;
}

void checkAddress(std::uint32_t address) {
    const QByteArray bytes = addressBytes(address);
    FUZZ_CHECK(bytes.size() == 5 && xorOf(bytes) == 0);
    FUZZ_CHECK(static_cast<std::uint8_t>(bytes[4]) == addressChecksum(address));
    std::uint32_t back = 0;
    for (int i = 0; i < 4; ++i)
        back = back << 8 | static_cast<std::uint8_t>(bytes[i]);
    FUZZ_CHECK(back == address);
}

void checkChunks(const QByteArray& image) {
    const FirmwareChunks split = splitFirmwareIntoChunks(image);
    FUZZ_CHECK(split.fullChunkCount == image.size() / FirmwareChunkSize);
    FUZZ_CHECK(split.lastChunkSize == image.size() % FirmwareChunkSize);
    FUZZ_CHECK(static_cast<qsizetype>(split.chunks.size()) ==
               (image.size() + FirmwareChunkSize - 1) / FirmwareChunkSize);
    QByteArray joined;
    for (std::size_t i = 0; i < split.chunks.size(); ++i) {
        const FirmwareChunk& chunk = split.chunks[i];
        const qsizetype size = chunk.bytes.size();
        FUZZ_CHECK(size >= 1 && size <= FirmwareChunkSize);
        FUZZ_CHECK(i + 1 == split.chunks.size() || size == FirmwareChunkSize);
        FUZZ_CHECK(chunk.text == QString::fromLatin1(chunk.bytes.toHex().toUpper()));
        const QByteArray payload = chunkPayload(chunk.bytes);
        FUZZ_CHECK(payload.size() == size + 2 && static_cast<std::uint8_t>(payload[0]) == size - 1);
        FUZZ_CHECK(payload.mid(1, size) == chunk.bytes && xorOf(payload) == 0);
        FUZZ_CHECK(static_cast<std::uint8_t>(payload.back()) == chunkChecksum(chunk.bytes));
        const auto address =
            bootloader::FlashStart +
            static_cast<std::uint32_t>(i) * static_cast<std::uint32_t>(FirmwareChunkSize);
        checkAddress(address);
        joined += chunk.bytes;
    }
    FUZZ_CHECK(joined == image);
}

} // namespace
} // namespace kestra::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestra;
    using namespace kestra::fuzz;
    FuzzedDataProvider in(data, size);
    const auto address = in.ConsumeIntegral<std::uint32_t>();
    const int version = in.ConsumeIntegralInRange(0, 255);
    const QByteArray image = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());

    checkAddress(address);
    const QByteArray record = versionRecord(version);
    FUZZ_CHECK(record.size() == 10 && record[0] == 7 && xorOf(record) == 0);
    FUZZ_CHECK(record.mid(1, 7) == QByteArray(7, '\0') &&
               static_cast<std::uint8_t>(record[8]) == version);

    // The image as a catalogue resource: refused when empty or too long,
    // otherwise exactly the file.
    const QString path = scratchPath(QStringLiteral("FIRMWARE_2"));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(image) == image.size());
    file.close();
    const ResourceStore store(QFileInfo(path).path());
    QString error;
    const std::optional<QByteArray> loaded =
        loadFirmwareImage(store, QStringLiteral("Firmware_2"), &error);
    FUZZ_CHECK(loaded.has_value() == (!image.isEmpty() && image.size() <= MaxFirmwareImageBytes));
    FUZZ_CHECK(loaded.has_value() == error.isEmpty());
    if (loaded)
        FUZZ_CHECK(*loaded == image);
    // An item's version is its last character's digit, 0 without one.
    const QString name = QString::fromUtf8(image.left(24));
    const int named = firmwareVersionOf(name);
    FUZZ_CHECK(named >= 0 && named <= 9);
    if (!name.isEmpty() && name.back() >= u'1' && name.back() <= u'9')
        FUZZ_CHECK(named == name.back().unicode() - u'0');

    checkChunks(image);
    return 0;
}
