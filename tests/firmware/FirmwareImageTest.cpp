#include "firmware/FirmwareImage.h"

#include "LogCapture.h"
#include "catalogue/ResourceStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestra {
namespace {

using test::LogCapture;
using test::sampleImage;

struct SplitCase {
    int size;
    int fullChunks;  // logged as "num of chunks"
    int lastSize;    // logged as "num of bytes last chunk"
    int chunkCount;  // chunks written
    int lastWritten; // bytes of the last chunk written
};
void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << c.size << " bytes";
}

class Split : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Split, CutsIntoChunksOf256AndLogsTheCounts) {
    const SplitCase c = GetParam();
    const QByteArray image = sampleImage(c.size);
    LogCapture log;
    const FirmwareChunks result = splitFirmwareIntoChunks(image);

    EXPECT_EQ(result.fullChunkCount, c.fullChunks);
    EXPECT_EQ(result.lastChunkSize, c.lastSize);
    ASSERT_EQ(static_cast<int>(result.chunks.size()), c.chunkCount);
    EXPECT_EQ(result.chunks.back().bytes.size(), c.lastWritten);
    QByteArray joined;
    for (const FirmwareChunk& chunk : result.chunks) {
        EXPECT_EQ(chunk.text, QString::fromLatin1(chunk.bytes.toHex().toUpper()));
        joined += chunk.bytes;
    }
    EXPECT_EQ(joined, image);

    ASSERT_GE(log.lines.size(), 3);
    EXPECT_EQ(log.lines[0], QStringLiteral("num of chunks: %1").arg(c.fullChunks));
    EXPECT_EQ(log.lines[1], QStringLiteral("num of bytes last chunk: %1").arg(c.lastSize));
    // Per chunk: its name, its text, its size and two empty lines; the last
    // chunk's size is logged once more before it.
    EXPECT_EQ(log.lines.size(), 2 + 5 * c.chunkCount + 1);
    const int last = c.chunkCount - 1;
    const int lastAt = 2 + 5 * last;
    EXPECT_EQ(log.lines[lastAt], QStringLiteral("num of bytes last chunk: %1").arg(c.lastWritten));
    EXPECT_EQ(log.lines[lastAt + 1], QStringLiteral("chunk from string %1: ").arg(last));
    EXPECT_EQ(log.lines[lastAt + 2], result.chunks.back().text);
    EXPECT_EQ(log.lines[lastAt + 3],
              QStringLiteral("chunk %1 size: %2").arg(last).arg(c.lastWritten));
    EXPECT_EQ(log.lines[lastAt + 4], QString());
    EXPECT_EQ(log.lines[lastAt + 5], QString());
}

INSTANTIATE_TEST_SUITE_P(Sizes, Split,
                         ::testing::Values(SplitCase{41252, 161, 36, 162, 36},
                                           SplitCase{41396, 161, 180, 162, 180},
                                           SplitCase{768, 3, 0, 3, 256},
                                           SplitCase{256, 1, 0, 1, 256}, SplitCase{257, 1, 1, 2, 1},
                                           SplitCase{1, 0, 1, 1, 1}));

TEST(FirmwareChecksums, AddressBytesAndTheirXor) {
    const std::pair<std::uint32_t, QByteArray> table[] = {
        {0x08000000, QByteArray::fromHex("0800000008")},
        {0x0801FC00, QByteArray::fromHex("0801FC00F5")},
        {0x0800A100, QByteArray::fromHex("0800A100A9")},
    };
    for (const auto& [address, bytes] : table) {
        EXPECT_EQ(addressBytes(address), bytes) << std::hex << address;
        EXPECT_EQ(addressChecksum(address), static_cast<std::uint8_t>(bytes.back()));
    }
}

TEST(FirmwareChecksums, ChunkChecksumStartsFromNMinusOne) {
    EXPECT_EQ(chunkChecksum(QByteArray::fromHex("00")), 0x00);
    EXPECT_EQ(chunkChecksum(QByteArray::fromHex("AB")), 0xAB);
    EXPECT_EQ(chunkChecksum(QByteArray::fromHex("0102")), 0x01 ^ 0x01 ^ 0x02);
    // 256 equal bytes cancel out: only N-1 = FF is left.
    EXPECT_EQ(chunkChecksum(QByteArray(256, '\x5A')), 0xFF);
    EXPECT_EQ(chunkPayload(QByteArray::fromHex("1020")), QByteArray::fromHex("01102031"));
}

TEST(FirmwareChecksums, TheLastChunkOfTheFirstImageGoesOutWithNMinusOne23) {
    const FirmwareChunks chunks = splitFirmwareIntoChunks(sampleImage(41252));
    const QByteArray& last = chunks.chunks.back().bytes;
    EXPECT_EQ(static_cast<std::uint8_t>(chunkPayload(last).front()), 0x23);
    EXPECT_EQ(bootloader::FlashStart + 161u * FirmwareChunkSize, 0x0800A100u);
    EXPECT_EQ(static_cast<std::uint8_t>(chunkPayload(chunks.chunks.front().bytes).front()), 0xFF);
}

TEST(FirmwareVersionRecord, TenBytesEndingInVersionAndChecksum) {
    EXPECT_EQ(versionRecord(1), QByteArray::fromHex("07000000000000000106"));
    EXPECT_EQ(versionRecord(2), QByteArray::fromHex("07000000000000000205"));
    EXPECT_EQ(versionRecord(3), QByteArray::fromHex("07000000000000000304"));
}

TEST(FirmwareSelection, VersionIsTheLastDigitOfTheItem) {
    EXPECT_EQ(firmwareImageNames(), QStringList({"Firmware_1", "Firmware_2", "Firmware_3"}));
    EXPECT_EQ(firmwareVersionOf("Firmware_1"), 1);
    EXPECT_EQ(firmwareVersionOf("Firmware_3"), 3);
    EXPECT_EQ(firmwareVersionOf(""), 0);
    EXPECT_EQ(firmwareVersionOf("Firmware_"), 0);
}

class LoadImage : public ::testing::Test {
protected:
    void write(const QString& name, const QByteArray& bytes) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    std::optional<QByteArray> load(const QString& name) {
        error.clear();
        return loadFirmwareImage(ResourceStore(folder.path()), name, &error);
    }
    QTemporaryDir folder;
    QString error;
};

TEST_F(LoadImage, FindsTheImageWhateverTheCaseAndLogsItsSize) {
    write("FIRMWARE_2", sampleImage(MaxFirmwareImageBytes));
    LogCapture log;
    const auto image = load("Firmware_2");
    ASSERT_TRUE(image) << error.toStdString();
    EXPECT_EQ(image->size(), MaxFirmwareImageBytes);
    EXPECT_EQ(log.lines, QStringList({"Firmware num of bytes: 130048"}));
}

TEST_F(LoadImage, RefusesWhatCannotBeWrittenWithAReason) {
    write("FIRMWARE_1", sampleImage(MaxFirmwareImageBytes + 1));
    write("FIRMWARE_3", QByteArray());
    const std::pair<QString, QString> table[] = {
        {"", "No firmware is chosen"},
        {"Firmware_9", "cannot be loaded"},
        {"Firmware_1", "130049 bytes long, more than the 130048 bytes"},
        {"Firmware_3", "is empty"},
    };
    for (const auto& [name, reason] : table) {
        EXPECT_FALSE(load(name)) << name.toStdString();
        EXPECT_TRUE(error.contains(reason)) << error.toStdString();
    }
}

TEST(CompiledFirmware, EveryItemNamesAnImageThatFits) {
    for (const QString& name : firmwareImageNames()) {
        QString error;
        const auto image = loadFirmwareImage(name, &error);
        ASSERT_TRUE(image) << error.toStdString();
        EXPECT_GT(image->size(), 0);
    }
}

} // namespace
} // namespace kestra
