// An effect image is upper-case hex text, two digits per byte. Its header:
// byte 0, the image length in bytes 1-2 (big-endian), then the 16 parameter
// addresses, two bytes each.
#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace kestra {

inline constexpr int ParameterSlots = 16;
// Largest image the transmit buffer holds.
inline constexpr int MaxImageBytes = 65536;

constexpr qsizetype imageByteSize(QStringView image) {
    return image.size() / 2;
}

// The length the image claims for itself; nothing when those characters
// are missing or not hex. It is not guaranteed to agree with imageByteSize.
std::optional<int> imageLengthField(QStringView image);

// Four hex characters naming where parameter index (0..15) lives: characters
// 7+4i .. 10+4i of the image, counting from 1. Shorter when the image is too
// short; empty for an index outside 0..15.
QString parameterAddress(const QString& image, int index);

} // namespace kestra
