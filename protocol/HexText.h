// Frames travel as upper-case hexadecimal text: one digit pair per byte, most
// significant digit first, no separators.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>

namespace kestra {

// Converts text pair by pair into dst, at most maxBytes pairs, and stops at
// the first pair that is not two hex digits (either case); a lone last digit
// is not a pair. Bytes of dst beyond the converted ones are left as they were.
// Returns the number of bytes converted.
int hexToBytes(QStringView text, std::uint8_t* dst, int maxBytes);

// True for non-empty text made only of hex digits (either case).
bool isHexText(QStringView text);

// The bytes of the leading valid pairs of text.
QByteArray hexToByteArray(QStringView text);

QString bytesToHex(const std::uint8_t* data, int count);
QString bytesToHex(const QByteArray& data);

QString hex2(std::uint32_t byte);
QString hex4(std::uint32_t word);
QString hex8(std::uint32_t value);

} // namespace kestra
