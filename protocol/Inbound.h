// Classification of what the background receive reads: one read is one
// message from the pedal.
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

struct InboundMessage {
    enum class Kind {
        BankStatus,     // "0" + bank index in decimal
        EffectStatus,   // "1" + effect number in hex
        UploadComplete, // exactly "Upload complete"
        Realtime,       // 0xAA frame
        EepromDump,     // 0xAB + 16,384 bytes
        Unknown,        // only logged
        Invalid,        // a status text whose number does not convert
    };
    Kind kind = Kind::Unknown;
    int number = 0;      // bank index, or effect number (low 16 bits)
    RealtimeFrame frame; // for Realtime
    QString error;       // for Invalid
};

// The message as the debug log shows it: bytes above 0x7F become "?".
QString inboundAsciiText(const std::uint8_t* data, int count);

// Classifies count bytes read at once. Binary frames are recognised by their
// first byte; the caller makes sure they are complete.
InboundMessage classifyInbound(const std::uint8_t* data, int count);

} // namespace kestra
