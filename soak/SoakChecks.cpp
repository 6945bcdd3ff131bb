#include "soak/SoakChecks.h"

#include <QByteArray>

namespace kestra::soak {

namespace {

struct Rule {
    const char* name;
    bool EnabledStates::*state;
};

// Each observed control and the state it shows.
constexpr Rule Rules[] = {
    {"Scan", &EnabledStates::scan},
    {"Link", &EnabledStates::link},
    {"Unlink", &EnabledStates::unlink},
    {"Upload Selected Effect", &EnabledStates::upload},
    {"Get FX Stored on Pedal", &EnabledStates::getStoredEffect},
    {"Request", &EnabledStates::request},
    {"Store Settings On Pedal", &EnabledStates::storeSettings},
    {"Effect info", &EnabledStates::effectInfo},
    {"FX Bank", &EnabledStates::banks},
    {"Load Configuration", &EnabledStates::loadConfiguration},
    {"Save Configuration", &EnabledStates::saveConfiguration},
    {"Load IR", &EnabledStates::loadImpulseResponse},
    {"Upgrade Mode", &EnabledStates::upgradeMode},
    {"Start Firmware Upgrade", &EnabledStates::startUpgrade},
    {"Erase Settings", &EnabledStates::eraseSettings},
    {"MIDI", &EnabledStates::midi},
    {"Mode", &EnabledStates::mode},
    {"Erase EEPROM", &EnabledStates::eepromTools},
    {"Read EEPROM", &EnabledStates::eepromTools},
    {"Upgrade Firmware", &EnabledStates::upgradeFirmware},
};

QString onOff(bool enabled) {
    return enabled ? QStringLiteral("enabled") : QStringLiteral("disabled");
}

} // namespace

QStringList enabledStateBreaks(const EnabledStates& implied, const ObservedStates& observed) {
    QStringList breaks;
    auto check = [&](const QString& name, bool expected, bool mayLag) {
        const auto seen = observed.find(name);
        if (seen == observed.end() || seen->second == expected)
            return;
        if (mayLag && !seen->second)
            return;
        breaks << QStringLiteral("%1 is %2 but should be %3")
                      .arg(name, onOff(seen->second), onOff(expected));
    };
    for (const Rule& rule : Rules)
        check(QString::fromLatin1(rule.name), implied.*rule.state, false);
    check(QStringLiteral("Assign"), implied.assign, true);
    return breaks;
}

QStringList bootloaderWriteBreaks(const QStringList& hexWrites) {
    QStringList breaks;
    for (const QString& hex : hexWrites) {
        const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
        if (bytes == QByteArray(1, '\x7f'))
            continue;
        quint8 sum = 0;
        for (const char byte : bytes)
            sum ^= static_cast<quint8>(byte);
        if (bytes.isEmpty() || (sum != 0x00 && sum != 0xFF))
            breaks
                << QStringLiteral("the bootloader got %1, which is no bootloader command").arg(hex);
    }
    return breaks;
}

QStringList parameterWindowBreaks(bool stateRead, const QString& windowEffect,
                                  const QString& storedEffect) {
    if (!stateRead || windowEffect == storedEffect)
        return {};
    return {QStringLiteral("the parameter window shows %1 with values read from the pedal, "
                           "which holds %2")
                .arg(windowEffect,
                     storedEffect.isEmpty() ? QStringLiteral("no known effect") : storedEffect)};
}

QStringList dialogBreaks(const QStringList& shown) {
    QStringList breaks;
    for (const QString& text : shown)
        if (text.contains(QStringLiteral("FT_")) || text.contains(QStringLiteral("Invalid handle")))
            breaks << QStringLiteral("a raw driver message was shown: ") + text;
    return breaks;
}

} // namespace kestra::soak
