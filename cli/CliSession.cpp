#include "cli/CliSession.h"

#include "catalogue/NameMatch.h"
#include "catalogue/Upload.h"
#include "core/Clock.h"
#include "firmware/FirmwareImage.h"
#include "firmware/FirmwareUpgrade.h"
#include "ir/IrLoader.h"
#include "port/Backends.h"

#include <QSaveFile>

namespace kestra {

namespace {

const QString NoDeviceMessage =
    QStringLiteral("No device found. Check that the pedal is connected by USB and switched on.");

// "I", "II", "III" to the bank's number.
std::optional<int> bankNumber(const QString& bank) {
    const QStringList names{QStringLiteral("I"), QStringLiteral("II"), QStringLiteral("III")};
    const auto index = names.indexOf(bank);
    return index < 0 ? std::nullopt : std::optional<int>(static_cast<int>(index));
}

std::optional<int> number(const QString& text, int low, int high) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= low && value <= high ? std::optional(value) : std::nullopt;
}

QString sourceName(int code) {
    return assignSourceNames().value(sourcePositionForCode(code), QStringLiteral("?"));
}

// " Did you mean A or B?" when some of names are near text; empty otherwise.
QString suggestion(const QStringList& names, const QString& text) {
    QStringList closest = closestNames(names, text);
    if (closest.isEmpty())
        return {};
    const QString last = closest.takeLast();
    return QStringLiteral(" Did you mean %1?")
        .arg(closest.isEmpty()
                 ? last
                 : closest.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last);
}

int exitCodeOf(SessionResult::Status status) {
    switch (status) {
    case SessionResult::Status::Done:
        return CliSession::Done;
    case SessionResult::Status::Cancelled:
        return CliSession::Cancelled;
    case SessionResult::Status::NotLinked:
        return CliSession::NotLinked;
    case SessionResult::Status::PedalFailed:
        return CliSession::PedalFailed;
    case SessionResult::Status::BadInput:
        return CliSession::BadInput;
    }
    return CliSession::PedalFailed;
}

} // namespace

CliSession::CliSession(Connection& connection, QTextStream& out, QTextStream& err,
                       std::function<std::optional<QString>()> readLine)
    : connection_(connection), out_(out), err_(err), dialogs_(err, std::move(readLine)),
      session_(connection) {
    connect(&connection_, &Connection::lost, this,
            [this](const QString& message) { finish(PedalFailed, message); });
}

CliSession::~CliSession() = default;

QString CliSession::helpText() {
    const QString commands = QStringLiteral(
        "Usage: kestra-cli COMMAND [ARGUMENTS]\n"
        "\n"
        "Talks to a Kestra pedal on USB through the editor's own connection.\n"
        "\n"
        "Commands:\n"
        "  devices                        list the attached adapters (serial, description)\n"
        "  effects [CATEGORY]             the catalogue's effects, by category\n"
        "  stored                         the effect stored on the pedal\n"
        "  request                        the stored effect's parameters, routing, mode and\n"
        "                                 MIDI channel\n"
        "  set PARAMETER VALUE            set a parameter of the stored effect; PARAMETER is\n"
        "                                 its number or name, VALUE a level 0-1023, on or off,\n"
        "                                 or a selector position (name or number)\n"
        "  upload EFFECT [--bank I|II|III]\n"
        "                                 upload an effect of the catalogue to the preset slot\n"
        "                                 or a bank\n"
        "  dump-eeprom 50|51 FILE         write the 16,384 bytes of a settings EEPROM to FILE\n"
        "  firmware IMAGE                 write Firmware_1, Firmware_2 or Firmware_3 through\n"
        "                                 the pedal's bootloader (asks to hold B2 first)\n"
        "  help                           this text\n"
        "\n"
        "Options, before or after the command:\n");
    const QString exitCodes = QStringLiteral(
        "Without them kestra-cli uses FTDI's D2XX library when KESTRA_D2XX_LIBRARY names\n"
        "it or it lists the pedal, otherwise the kernel's serial driver.\n"
        "\n"
        "Exit codes:\n"
        "  0  done\n"
        "  1  the command line is wrong\n"
        "  2  no pedal could be linked (none found, in use, no driver)\n"
        "  3  the pedal did not answer, refused, or was disconnected\n"
        "  4  unusable input: unknown effect or parameter, image or file problem\n"
        "  5  cancelled\n");
    const QString reset = QStringLiteral(
        "  --virtual-reset                a fresh virtual pedal; --virtual goes on with the\n"
        "                                 one the last run left, kept in the user's data\n"
        "                                 folder\n");
    return commands + backendOptionsHelp() + reset + exitCodes;
}

bool CliSession::upgrading() const {
    return connection_.state() == Connection::State::Upgrading;
}

void CliSession::start(const QStringList& arguments) {
    const QString command = arguments.value(0);
    const qsizetype count = arguments.size();
    if (command == QLatin1String("help") || command == QLatin1String("--help") ||
        command == QLatin1String("-h")) {
        out_ << helpText();
        return finish(Done);
    }
    if (command == QLatin1String("devices") && count == 1)
        return listDevices();
    if (command == QLatin1String("effects") && count <= 2)
        return listEffects(arguments.value(1));
    if (command == QLatin1String("stored") && count == 1)
        return printStoredEffect();
    if (command == QLatin1String("request") && count == 1)
        return printParameterState();
    if (command == QLatin1String("set") && count == 3)
        return setParameter(arguments[1], arguments[2]);
    if (command == QLatin1String("upload") && count == 2)
        return upload(arguments[1], QString());
    if (command == QLatin1String("upload") && count == 4 && arguments[2] == QLatin1String("--bank"))
        return upload(arguments[1], arguments[3]);
    if (command == QLatin1String("dump-eeprom") && count == 3)
        return dumpEeprom(arguments[1], arguments[2]);
    if (command == QLatin1String("firmware") && count == 2)
        return writeFirmware(arguments[1]);
    err_ << (command.isEmpty() ? QStringLiteral("No command given.\n\n")
                               : QStringLiteral("Unknown command or arguments: %1\n\n")
                                     .arg(arguments.join(QLatin1Char(' '))))
         << helpText();
    finish(Usage);
}

void CliSession::finish(int code, const QString& message) {
    if (finished_)
        return;
    finished_ = true;
    if (!message.isEmpty())
        (code == Done ? out_ : err_) << message << Qt::endl;
    out_.flush();
    err_.flush();
    session_.unlink();
    emit finished(code);
}

void CliSession::finish(const SessionResult& result) {
    if (result.ok() || !result.text.isEmpty())
        return finish(exitCodeOf(result.status), result.text);
    failed({}, exitCodeOf(result.status));
}

void CliSession::failed(const QString& error, int code) {
    finish(code, error.isEmpty() ? disconnectedMessage() : error);
}

QString CliSession::noDevice() const {
    const QString advice = connection_.port().advice(PortResult::Error::NotFound);
    return advice.isEmpty() ? NoDeviceMessage : NoDeviceMessage + QStringLiteral("\n\n") + advice;
}

std::optional<PortDevice> CliSession::pedalDevice() {
    std::vector<PortDevice> devices;
    const PortResult listed = connection_.port().listDevices(devices);
    if (!listed.ok()) {
        finish(NotLinked, linkFailureMessage(listed, connection_.port().advice(listed.error)));
        return std::nullopt;
    }
    if (devices.empty()) {
        finish(NotLinked, noDevice());
        return std::nullopt;
    }
    // As the editor does: the adapter listed last.
    return devices.back();
}

bool CliSession::openPedal() {
    const std::optional<PortDevice> device = pedalDevice();
    if (!device)
        return false;
    const PortResult opened = session_.open(*device);
    if (!opened.ok()) {
        finish(NotLinked, linkFailureMessage(opened, connection_.port().advice(opened.error)));
        return false;
    }
    return true;
}

void CliSession::withStoredEffect(std::function<void()> then) {
    const std::optional<PortDevice> device = pedalDevice();
    if (!device)
        return;
    const PortResult linked = session_.link(*device, [this, then](const SessionResult& result) {
        // An effect the catalogue does not know is still the pedal's answer.
        if (!result.ok() &&
            !(result.status == SessionResult::Status::BadInput && session_.firmwareKnown()))
            return finish(result);
        then();
    });
    if (!linked.ok())
        finish(NotLinked, linkFailureMessage(linked, connection_.port().advice(linked.error)));
}

void CliSession::listDevices() {
    std::vector<PortDevice> devices;
    const PortResult listed = connection_.port().listDevices(devices);
    if (!listed.ok())
        return finish(NotLinked,
                      linkFailureMessage(listed, connection_.port().advice(listed.error)));
    if (devices.empty())
        return finish(NotLinked, noDevice());
    for (const PortDevice& device : devices)
        out_ << device.serialNumber << '\t' << device.description << '\n';
    finish(Done);
}

void CliSession::listEffects(const QString& category) {
    QStringList names;
    for (const CategoryEntry& entry : Categories)
        names.append(QString::fromLatin1(entry.displayName));
    std::optional<QString> chosen;
    if (!category.isEmpty()) {
        chosen = matchName(names, category);
        if (!chosen)
            return finish(BadInput, QStringLiteral("\"%1\" is not a category of the catalogue.%2 "
                                                   "The categories: %3.")
                                        .arg(category, suggestion(names, category),
                                             names.join(QStringLiteral(", "))));
    }
    for (int index = 0; index < CategoryCount; ++index) {
        if (chosen && names[index] != *chosen)
            continue;
        QString error;
        const std::optional<QStringList> effects =
            session_.catalogue().categoryEffects(index, &error);
        if (!effects)
            return finish(BadInput, error);
        // One category: its effects alone, one a line, for a script to read.
        if (chosen) {
            for (const QString& effect : *effects)
                out_ << effect << '\n';
            continue;
        }
        out_ << names[index] << '\n';
        for (const QString& effect : *effects)
            out_ << "  " << effect << '\n';
    }
    finish(Done);
}

void CliSession::printStoredEffect() {
    withStoredEffect([this] {
        const StoredEffect& stored = session_.storedEffect();
        out_ << QStringLiteral("firmware: %1\n").arg(stored.firmwareVersion);
        if (stored.none)
            return finish(Done, QStringLiteral("No effect found on pedal"));
        out_ << QStringLiteral("effect: %1 %2\nversion: %3\n")
                    .arg(stored.number)
                    .arg(stored.name.isEmpty() ? QStringLiteral("(not in this catalogue)")
                                               : stored.name)
                    .arg(stored.version);
        finish(Done);
    });
}

void CliSession::printParameterState() {
    withStoredEffect([this] {
        const StoredEffect& stored = session_.storedEffect();
        if (stored.none)
            return finish(BadInput, QStringLiteral("No effect found on pedal"));
        if (!session_.showsStoredEffect())
            return finish(BadInput, QStringLiteral("The pedal holds effect %1, which this "
                                                   "catalogue does not know.")
                                        .arg(stored.number));
        session_.requestState([this](const SessionResult& result) {
            if (!result.ok())
                return finish(result);
            printState();
        });
    });
}

void CliSession::printState() {
    const StoredEffect& stored = session_.storedEffect();
    const ParameterModel& model = session_.parameters();
    const ParameterState& state = *session_.pedalState();
    out_ << QStringLiteral("%1 v%2 (effect %3)\n")
                .arg(stored.name)
                .arg(stored.version)
                .arg(stored.number);
    for (int i = 0; i < model.parameterCount(); ++i) {
        QString value;
        switch (model.kind(i)) {
        case ControlKind::Switch:
            value = model.switchOn(i) ? QStringLiteral("on") : QStringLiteral("off");
            break;
        case ControlKind::Selector:
            value = model.selectorPositions(i).value(model.selectorPosition(i));
            break;
        case ControlKind::Button:
            value = QStringLiteral("(button)");
            break;
        default:
            value = QString::number(model.level(i));
        }
        out_ << QStringLiteral("%1 %2 = %3").arg(i).arg(model.name(i), value);
        if (model.source(i) != NoAssignment)
            out_ << QStringLiteral(" (source %1%2)")
                        .arg(sourceName(model.source(i)),
                             model.reversed(i) ? QStringLiteral(", reversed") : QString());
        out_ << '\n';
    }
    const QStringList footswitches = footswitchNames();
    out_ << QStringLiteral("bypass toggle: %1\npreset change: %2\n")
                .arg(footswitches.value(footswitchPositionForCode(state.bypassSource),
                                        QStringLiteral("?")),
                     footswitches.value(footswitchPositionForCode(state.presetSource),
                                        QStringLiteral("?")));
    for (int k = 0; k < model.readbackCount(); ++k)
        out_ << QStringLiteral("readback %1: LED %2\n")
                    .arg(model.readbackName(k),
                         readbackLedNames().value(ledPositionForCode(model.led(k)),
                                                  QStringLiteral("?")));
    if (state.bankMode)
        out_ << (*state.bankMode
                     ? QStringLiteral("mode: FX bank, bank %1\n").arg(state.bankOrPresetNumber + 1)
                     : QStringLiteral("mode: preset %1\n").arg(state.bankOrPresetNumber));
    out_ << QStringLiteral("MIDI channel: %1\n")
                .arg(!state.midiChannel        ? QStringLiteral("?")
                     : *state.midiChannel == 0 ? QStringLiteral("OMNI")
                                               : QString::number(*state.midiChannel));
    finish(Done);
}

void CliSession::setParameter(const QString& parameter, const QString& value) {
    withStoredEffect([this, parameter, value] {
        const StoredEffect& stored = session_.storedEffect();
        if (stored.none)
            return finish(BadInput, QStringLiteral("No effect found on pedal"));
        if (!session_.showsStoredEffect())
            return finish(BadInput, QStringLiteral("The pedal holds effect %1, which this "
                                                   "catalogue does not know.")
                                        .arg(stored.number));
        ParameterModel& model = session_.parameters();
        std::optional<int> index = number(parameter, 0, model.parameterCount() - 1);
        QStringList names;
        QStringList numbered;
        for (int i = 0; i < model.parameterCount(); ++i) {
            names.append(model.name(i));
            numbered.append(QStringLiteral("%1 %2").arg(i).arg(model.name(i)));
        }
        if (!index) {
            if (const std::optional<QString> name = matchName(names, parameter))
                index = static_cast<int>(names.indexOf(*name));
        }
        if (!index)
            return finish(BadInput, QStringLiteral("%1 has no parameter \"%2\".%3 Its parameters: "
                                                   "%4.")
                                        .arg(stored.name, parameter, suggestion(names, parameter),
                                             numbered.join(", ")));
        const int p = *index;
        std::optional<HexFrame> frame;
        switch (model.kind(p)) {
        case ControlKind::Pot:
            if (const auto level = number(value, 0, 1023))
                frame = model.setPotentiometer(p, *level);
            break;
        case ControlKind::Switch:
            if (value.compare("on", Qt::CaseInsensitive) == 0 || value == QLatin1String("1"))
                frame = model.setSwitch(p, true);
            else if (value.compare("off", Qt::CaseInsensitive) == 0 || value == QLatin1String("0"))
                frame = model.setSwitch(p, false);
            break;
        case ControlKind::Selector: {
            const QStringList positions = model.selectorPositions(p);
            std::optional<int> position = number(value, 0, int(positions.size()) - 1);
            for (int k = 0; !position && k < positions.size(); ++k) {
                if (positions[k].compare(value, Qt::CaseInsensitive) == 0)
                    position = k;
            }
            if (position)
                frame = model.setSelector(p, *position);
            break;
        }
        default:
            return finish(BadInput, QStringLiteral("%1 is a button: press it on the pedal or in "
                                                   "the editor.")
                                        .arg(model.name(p)));
        }
        if (!frame)
            return finish(BadInput,
                          QStringLiteral("\"%1\" is no value for %2.").arg(value, model.name(p)));
        QString why;
        if (!session_.send(*frame, &why))
            return failed(why);
        // Ends once the frame and its pause have gone out.
        Exchange after(QStringLiteral("set"));
        after.onFinished([this, p, value](const ExchangeResult& result) {
            if (!result.completed())
                return failed(failureMessage(result));
            finish(Done, QStringLiteral("%1 = %2").arg(session_.parameters().name(p), value));
        });
        connection_.run(std::move(after));
    });
}

void CliSession::upload(const QString& effect, const QString& bank) {
    QStringList names;
    const auto rows = session_.catalogue().list(QString::fromLatin1(EffectListResource));
    for (int row = 1; rows && row < rows->size(); ++row) {
        if (const std::optional<QString> candidate = effectNameOfRow(*rows, row))
            names.append(*candidate);
    }
    const std::optional<QString> name = matchName(names, effect);
    if (!name)
        return finish(BadInput, QStringLiteral("\"%1\" is not an effect of the catalogue.%2")
                                    .arg(effect, suggestion(names, effect)));
    if (irRuleFor(*name))
        return finish(BadInput, QStringLiteral("%1 takes an impulse response: load the WAV file "
                                               "in the editor and upload it from there.")
                                    .arg(*name));
    std::optional<int> target = PedalSession::PresetSlot;
    if (!bank.isEmpty()) {
        target = bankNumber(bank);
        if (!target)
            return finish(Usage, QStringLiteral("The bank is I, II or III, not \"%1\".").arg(bank));
    }
    if (!openPedal())
        return;
    session_.uploadTo(*name, *target, [this](const SessionResult& result) { finish(result); });
}

void CliSession::dumpEeprom(const QString& device, const QString& path) {
    if (device != QLatin1String("50") && device != QLatin1String("51"))
        return finish(Usage, QStringLiteral("The EEPROM is 50 or 51, not \"%1\".").arg(device));
    if (!openPedal())
        return;
    session_.readEeprom(device, [this, device, path](const SessionResult& result,
                                                     const QByteArray& bytes) {
        if (!result.ok())
            return finish(result);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            return finish(BadInput,
                          QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
        finish(Done, QStringLiteral("Wrote the %1 bytes of EEPROM %2 to %3")
                         .arg(bytes.size())
                         .arg(device, path));
    });
}

void CliSession::writeFirmware(const QString& imageName) {
    QString name;
    for (const QString& known : firmwareImageNames()) {
        if (known.compare(imageName, Qt::CaseInsensitive) == 0)
            name = known;
    }
    if (name.isEmpty())
        return finish(
            BadInput,
            QStringLiteral("The firmware is one of %1.").arg(firmwareImageNames().join(", ")));
    if (!openPedal())
        return;
    session_.enterBootloader([this, name](const SessionResult& entered) {
        if (entered.status == SessionResult::Status::Cancelled)
            return finish(Cancelled, QStringLiteral("Cancelled: nothing was written."));
        if (!entered.ok())
            return finish(entered);
        err_ << "Connection to bootloader succeeded. Release B2(SAVE)." << Qt::endl;
        // A line for each tenth of each step, in the window's words.
        auto shownTenth = std::make_shared<int>(-1);
        auto erasedAtMs = std::make_shared<qint64>(0);
        const auto progress = [this, shownTenth, erasedAtMs](UpgradePhase phase, int bytes,
                                                             int total) {
            if (phase == UpgradePhase::Erasing)
                *erasedAtMs = Clock::instance().elapsedMs();
            const int step = phase == UpgradePhase::Erasing
                                 ? -2
                                 : (phase == UpgradePhase::Verifying ? 10 : 0) +
                                       (total > 0 ? bytes * 10 / total : 10);
            if (step == *shownTenth)
                return;
            *shownTenth = step;
            err_ << upgradeProgressText(phase, bytes, total,
                                        Clock::instance().elapsedMs() - *erasedAtMs)
                 << Qt::endl;
        };
        session_.upgradeFirmware(name, progress, [this](const SessionResult& result) {
            if (result.status == SessionResult::Status::Cancelled && !result.text.isEmpty())
                return finish(Cancelled, QStringLiteral("Cancelled: ") + result.text);
            finish(result);
        });
    });
}

} // namespace kestra
