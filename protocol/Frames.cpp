#include "protocol/Frames.h"

#include "protocol/HexText.h"

#include <algorithm>
#include <cmath>

namespace kestra {

QByteArray HexFrame::bytes() const {
    QByteArray converted = hexToByteArray(text);
    converted.truncate(std::max(byteCount, 0));
    return converted;
}

namespace frames {

namespace {
HexFrame fixed(QString text, int byteCount, bool purge = false, int pauseMs = 0) {
    return HexFrame{std::move(text), byteCount, purge, pauseMs};
}
HexFrame sized(QString text, bool purge = false, int pauseMs = 0) {
    const int count = static_cast<int>(text.size() / 2);
    return HexFrame{std::move(text), count, purge, pauseMs};
}
} // namespace

std::uint32_t potentiometerValue(double trackBarValue) {
    // std::nearbyint rounds half to even in the default rounding mode.
    const double level = std::clamp(std::nearbyint(trackBarValue), 0.0, 1023.0);
    return static_cast<std::uint32_t>(level) << ValueShift;
}

std::uint32_t switchValue(bool on) {
    return on ? std::uint32_t{FullScale} << ValueShift : 0;
}

std::uint32_t selectorValue(int position, int positions) {
    if (positions <= 0 || position < 0)
        return 0;
    return static_cast<std::uint32_t>(position * (FullScale / positions)) << ValueShift;
}

HexFrame setParameter(const QString& address, std::uint32_t value, bool potentiometer) {
    return fixed(QStringLiteral("01") + address + hex8(value), 7, false, potentiometer ? 1 : 0);
}

HexFrame setParameterTyped(const QString& addressText, const QString& dataText) {
    return fixed(QStringLiteral("01") + addressText + dataText, 7);
}

HexFrame requestParameterState(int parameterCount) {
    return fixed(QStringLiteral("02") + hex2(static_cast<std::uint32_t>(parameterCount)), 2, true);
}

HexFrame storeSettings(int parameterCount) {
    return fixed(QStringLiteral("03") + hex2(static_cast<std::uint32_t>(parameterCount)), 2, true,
                 100);
}

HexFrame assign(const std::array<int, 16>& sources, const std::array<int, 4>& leds,
                int bypassSource, int presetSource) {
    QString text = QStringLiteral("04");
    for (int source : sources)
        text += hex2(static_cast<std::uint32_t>(source) & 0xFF);
    for (int led : leds)
        text += hex2(static_cast<std::uint32_t>(led) & 0xFF);
    text += hex2(static_cast<std::uint32_t>(bypassSource) & 0xFF);
    text += hex2(static_cast<std::uint32_t>(presetSource) & 0xFF);
    return fixed(text, 23);
}

HexFrame enterBootloader() {
    return fixed(QStringLiteral("0500010203040506"), 8, false, 100);
}

HexFrame getStoredEffect() {
    return fixed(QStringLiteral("0600"), 2, true);
}

HexFrame midiChannel(int channel) {
    return fixed(QStringLiteral("07") + hex2(static_cast<std::uint32_t>(channel)), 2);
}

HexFrame reverse(bool on, int parameter) {
    return sized((on ? QStringLiteral("0801") : QStringLiteral("08FF")) +
                 hex2(static_cast<std::uint32_t>(parameter)));
}

HexFrame liveMode(bool on) {
    return sized(on ? QStringLiteral("0A0100") : QStringLiteral("0A0000"));
}

HexFrame eraseEeprom(const QString& i2cAddress) {
    return sized(QStringLiteral("0B") + i2cAddress + QStringLiteral("000000"), true, 100);
}

HexFrame readEeprom(const QString& i2cAddress) {
    return sized(QStringLiteral("0C") + i2cAddress + QStringLiteral("00000000"));
}

HexFrame bypass(bool on) {
    return fixed(on ? QStringLiteral("0D01") : QStringLiteral("0D00"), 2);
}

HexFrame uploadEffect(const QString& imageText, const QString& bankCommand) {
    if (bankCommand.isEmpty())
        return sized(imageText);
    return sized(bankCommand + imageText.mid(2));
}

} // namespace frames
} // namespace kestra
