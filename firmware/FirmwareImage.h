// The pedal's application firmware as the ROM bootloader takes it: the raw
// images carried as resources, cut into Write Memory chunks, the checksums
// and the version record the application reads its version from.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestra {

class ResourceStore;

namespace bootloader {
inline constexpr std::uint8_t Sync = 0x7F;
inline constexpr std::uint8_t Ack = 0x79;
inline constexpr std::uint8_t Nack = 0x1F;
inline constexpr std::uint8_t Get[] = {0x00, 0xFF};
inline constexpr std::uint8_t GetId[] = {0x02, 0xFD};
inline constexpr std::uint8_t ReadMemory[] = {0x11, 0xEE};
inline constexpr std::uint8_t WriteMemory[] = {0x31, 0xCE};
inline constexpr std::uint8_t Erase[] = {0x43, 0xBC};
inline constexpr std::uint8_t GlobalErase[] = {0xFF, 0x00};
inline constexpr std::uint8_t Go[] = {0x21, 0xDE};
inline constexpr std::uint32_t FlashStart = 0x08000000;
inline constexpr std::uint32_t VersionRecordAddress = 0x0801FC00;
} // namespace bootloader

// Write Memory takes at most 256 bytes at a time.
inline constexpr int FirmwareChunkSize = 256;
// An image must end before the version record, or writing it would program
// the record's cells before the record itself.
inline constexpr int MaxFirmwareImageBytes =
    static_cast<int>(bootloader::VersionRecordAddress - bootloader::FlashStart);
// The names of the combo items, which are also the resource names.
QStringList firmwareImageNames();

// The version of an item: the value of its text's last character, 0 when
// that is not a digit (nothing chosen).
int firmwareVersionOf(const QString& imageName);

// Reads the named image from the compiled catalogue and logs its size.
// Nothing (and why in error) when the name is empty, the resource missing,
// the image empty or too large for the flash below the version record.
std::optional<QByteArray> loadFirmwareImage(const QString& imageName, QString* error);
std::optional<QByteArray> loadFirmwareImage(const ResourceStore& store, const QString& imageName,
                                            QString* error);

struct FirmwareChunk {
    QString text;     // upper-case hex, two digits a byte
    QByteArray bytes; // 1..256 bytes
};

struct FirmwareChunks {
    int fullChunkCount = 0; // size div 256
    int lastChunkSize = 0;  // size mod 256
    std::vector<FirmwareChunk> chunks;
};

// 256-byte chunks, the last one shorter unless the size is a multiple of 256;
// logs the counts and every chunk.
FirmwareChunks splitFirmwareIntoChunks(const QByteArray& image);

// XOR of the four address bytes.
std::uint8_t addressChecksum(std::uint32_t address);
// N-1 XOR every byte of the chunk (N = its size).
std::uint8_t chunkChecksum(const QByteArray& chunk);
// The four address bytes, most significant first, and their checksum.
QByteArray addressBytes(std::uint32_t address);
// N-1, the data and its checksum: the payload of a Write Memory.
QByteArray chunkPayload(const QByteArray& chunk);
// The ten bytes written at the version record address: N-1 = 07, seven
// zeros, the version and the checksum.
QByteArray versionRecord(int version);

} // namespace kestra
