#include "soak/SoakChecks.h"

#include "catalogue/Catalogue.h"
#include "protocol/Frames.h"

#include <QByteArray>
#include <QSet>

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
    // Every short frame the application takes, exactly as the editor sends it.
    static const QSet<QByteArray> shortFrames = [] {
        QSet<QByteArray> frames;
        auto add = [&](const HexFrame& frame) { frames.insert(frame.bytes()); };
        add(frames::getStoredEffect());
        add(frames::enterBootloader());
        for (const bool on : {false, true}) {
            add(frames::liveMode(on));
            add(frames::bypass(on));
            for (int parameter = 0; parameter < frames::MaxParameters; ++parameter)
                add(frames::reverse(on, parameter));
        }
        for (int count = 1; count <= frames::MaxParameters; ++count) {
            add(frames::requestParameterState(count));
            add(frames::storeSettings(count));
        }
        for (int channel = 0; channel <= 16; ++channel)
            add(frames::midiChannel(channel));
        for (const char* device : {"50", "51", ""}) {
            add(frames::eraseEeprom(QString::fromLatin1(device)));
            add(frames::readEeprom(QString::fromLatin1(device)));
        }
        return frames;
    }();
    // Frames whose bytes vary: their command byte and length.
    static const QList<QByteArray> shapes = {
        frames::setParameter(QStringLiteral("0816"), 0, true).bytes(),
        frames::assign({}, {}, 0, 0).bytes(),
    };
    QStringList breaks;
    for (const QString& hex : hexWrites) {
        const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
        bool frame = shortFrames.contains(bytes);
        for (const QByteArray& shape : shapes)
            frame = frame || (bytes.size() == shape.size() && bytes.front() == shape.front());
        if (frame)
            breaks << QStringLiteral("the bootloader got %1, an application frame").arg(hex);
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

QStringList sessionBreaks(const SessionFacts& f) {
    QStringList breaks;
    for (const auto& [bank, bytes] : f.bankImageBytes)
        // The pedal keeps the image without its command byte.
        if (bytes > BankImageLimit - 1)
            breaks
                << QStringLiteral("%1 holds %2 bytes, more than a bank takes").arg(bank).arg(bytes);
    if (f.closed && f.uploadPending)
        breaks << QStringLiteral("an upload still waits for \"Upload complete\" after the link "
                                 "ended");
    if (f.closed && f.framesWaiting > 0)
        breaks
            << QStringLiteral("%1 confirmed frames wait after the link ended").arg(f.framesWaiting);
    if (f.idle && f.framesWaiting > 0)
        breaks << QStringLiteral("%1 confirmed frames were neither sent nor told while nothing "
                                 "ran")
                      .arg(f.framesWaiting);
    if (f.idle && f.versionKnown && f.storedNumber == f.pedalNumber &&
        f.storedVersion != f.pedalVersion)
        breaks << QStringLiteral("the editor holds version %1 of effect %2, the pedal %3")
                      .arg(f.storedVersion)
                      .arg(f.storedNumber)
                      .arg(f.pedalVersion);
    return breaks;
}

QStringList dialogBreaks(const QStringList& shown) {
    QStringList breaks;
    for (const QString& text : shown)
        if (text.contains(QStringLiteral("FT_")) || text.contains(QStringLiteral("Invalid handle")))
            breaks << QStringLiteral("a raw driver message was shown: ") + text;
    return breaks;
}

} // namespace kestra::soak
