// Every frame the editor sends to the pedal's application firmware, composed
// in one place. A frame is hex text plus the number of bytes to write, whether
// the transmit queue is purged first, and the pause the pedal needs before
// the next frame. A frame the pedal answers has no pause: its exchange waits
// for the answer instead.
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

namespace kestra {

struct HexFrame {
    QString text;
    int byteCount = 0;
    bool purgeFirst = false;
    int pauseMs = 0;

    // The bytes to write: the text's leading digit pairs, at most byteCount.
    // A text that stops early (a hand-typed frame) gives fewer bytes; nothing
    // made up is sent in their place.
    QByteArray bytes() const;
};

namespace frames {

// Command bytes of the Upload effect frame by target.
inline constexpr char PresetSlot[] = "00";
inline constexpr char BankI[] = "0E";
inline constexpr char BankII[] = "0F";
inline constexpr char BankIII[] = "10";

// Parameters an effect can have, and values it can read back to LEDs.
inline constexpr int MaxParameters = 16;
inline constexpr int MaxReadbacks = 4;

inline constexpr int FullScale = 1024; // a switch that is on
inline constexpr int ValueShift = 13;  // levels travel shifted left by 13
inline constexpr int NoRouting = 0xFF; // "none" in routing bytes

// Parameter values on the 0..1024 scale, shifted as the pedal expects.
std::uint32_t potentiometerValue(double trackBarValue); // nearest, ties to even
std::uint32_t switchValue(bool on);
std::uint32_t selectorValue(int position, int positions);

// Set parameter: address is the four hex digits from the image's table.
// A potentiometer's frame is followed by a 1 ms pause.
HexFrame setParameter(const QString& address, std::uint32_t value, bool potentiometer);
// Set parameter typed by hand: address and data texts as the user typed them.
HexFrame setParameterTyped(const QString& addressText, const QString& dataText);
HexFrame requestParameterState(int parameterCount);
HexFrame storeSettings(int parameterCount);
HexFrame assign(const std::array<int, 16>& sources, const std::array<int, 4>& leds,
                int bypassSource, int presetSource);
HexFrame enterBootloader();
HexFrame getStoredEffect();
HexFrame midiChannel(int channel); // 0 = OMNI, 1..16
HexFrame reverse(bool on, int parameter);
HexFrame liveMode(bool on);
HexFrame eraseEeprom(const QString& i2cAddress); // "50", "51" or empty
HexFrame readEeprom(const QString& i2cAddress);
HexFrame bypass(bool on);
// The image sent unchanged, or with its command byte replaced by a bank target.
HexFrame uploadEffect(const QString& imageText, const QString& bankCommand = {});

} // namespace frames
} // namespace kestra
