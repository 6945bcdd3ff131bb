// What the pedal sends on its own: the real-time control frame, the EEPROM
// dump and the status texts (the framer cuts them out of the byte stream).
#pragma once

#include <QString>
#include <cstdint>

namespace kestra {

struct RealtimeFrame {
    int source = 0;    // 0-4 knobs, 5-10 switches, 11 expression
    int parameter = 0; // parameter number
    int value = 0;     // 0..1024, not shifted
};

inline constexpr std::uint8_t RealtimeFrameType = 0xAA;
inline constexpr int RealtimeFrameSize = 5;
inline constexpr std::uint8_t EepromDumpType = 0xAB;
inline constexpr int EepromSize = 16384;
inline constexpr int EepromDumpSize = 1 + EepromSize;
inline constexpr char UploadCompleteText[] = "Upload complete";

// The message as the debug log shows it: bytes above 0x7F become "?".
QString inboundAsciiText(const std::uint8_t* data, int count);

} // namespace kestra
