#include "cli/CliSession.h"

#include "catalogue/Upload.h"
#include "core/Clock.h"
#include "firmware/Bootloader.h"
#include "firmware/FirmwareUpgrade.h"
#include "ir/IrLoader.h"
#include "port/Backends.h"

#include <QSaveFile>

namespace kestra {

namespace {

const QString NoDeviceMessage =
    QStringLiteral("No device found. Check that the pedal is connected by USB and switched on.");

// "I", "II", "III" to the Upload effect frame's command byte.
std::optional<QString> bankCommand(const QString& bank) {
    if (bank == QLatin1String("I"))
        return QString::fromLatin1(frames::BankI);
    if (bank == QLatin1String("II"))
        return QString::fromLatin1(frames::BankII);
    if (bank == QLatin1String("III"))
        return QString::fromLatin1(frames::BankIII);
    return std::nullopt;
}

std::optional<int> number(const QString& text, int low, int high) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= low && value <= high ? std::optional(value) : std::nullopt;
}

QString sourceName(int code) {
    return assignSourceNames().value(sourcePositionForCode(code), QStringLiteral("?"));
}

} // namespace

CliSession::CliSession(Connection& connection, QTextStream& out, QTextStream& err,
                       std::function<std::optional<QString>()> readLine)
    : connection_(connection), out_(out), err_(err), readLine_(std::move(readLine)) {
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
    return commands + backendOptionsHelp() + exitCodes;
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
    deadline_.reset();
    connection_.unlink();
    emit finished(code);
}

void CliSession::failed(const QString& error, int code) {
    finish(code, error.isEmpty() ? disconnectedMessage() : error);
}

QString CliSession::noDevice() const {
    const QString advice = connection_.port().advice(PortResult::Error::NotFound);
    return advice.isEmpty() ? NoDeviceMessage : NoDeviceMessage + QStringLiteral("\n\n") + advice;
}

bool CliSession::linkPedal(std::optional<Exchange> first) {
    std::vector<PortDevice> devices;
    const PortResult listed = connection_.port().listDevices(devices);
    if (!listed.ok()) {
        finish(NotLinked, linkFailureMessage(listed, connection_.port().advice(listed.error)));
        return false;
    }
    if (devices.empty()) {
        finish(NotLinked, noDevice());
        return false;
    }
    // As the editor does: the adapter listed last.
    const PortResult linked = connection_.link(devices.back(), std::move(first));
    if (!linked.ok()) {
        finish(NotLinked, linkFailureMessage(linked, connection_.port().advice(linked.error)));
        return false;
    }
    return true;
}

void CliSession::withStoredEffect(std::function<void()> then) {
    linkPedal(readStoredEffect([this, then](const Outcome<StoredEffectReply>& outcome) {
        if (!outcome.ok())
            return failed(outcome.error);
        stored_ = *outcome.value;
        storedName_ = stored_.empty
                          ? QString()
                          : catalogue_.effectName(stored_.effectNumber).value_or(QString());
        then();
    }));
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

void CliSession::printStoredEffect() {
    withStoredEffect([this] {
        out_ << QStringLiteral("firmware: %1\n").arg(stored_.firmwareVersion);
        if (stored_.empty)
            return finish(Done, QStringLiteral("No effect found on pedal"));
        out_ << QStringLiteral("effect: %1 %2\nversion: %3\n")
                    .arg(stored_.effectNumber)
                    .arg(storedName_.isEmpty() ? QStringLiteral("(not in this catalogue)")
                                               : storedName_)
                    .arg(stored_.effectVersion);
        finish(Done);
    });
}

void CliSession::printParameterState() {
    withStoredEffect([this] {
        QString error;
        if (stored_.empty)
            return finish(BadInput, QStringLiteral("No effect found on pedal"));
        if (storedName_.isEmpty() || !model_.load(storedName_, &error))
            return finish(BadInput, error.isEmpty()
                                        ? QStringLiteral("The pedal holds effect %1, which this "
                                                         "catalogue does not know.")
                                              .arg(stored_.effectNumber)
                                        : error);
        connection_.run(requestParameterState(
            model_.parameterCount(), model_.readbackCount(),
            [this](const Outcome<ParameterState>& outcome) {
                if (!outcome.ok())
                    return failed(outcome.error);
                const ParameterState& state = *outcome.value;
                model_.apply(state);
                out_ << QStringLiteral("%1 v%2 (effect %3)\n")
                            .arg(storedName_)
                            .arg(stored_.effectVersion)
                            .arg(stored_.effectNumber);
                for (int i = 0; i < model_.parameterCount(); ++i) {
                    QString value;
                    switch (model_.kind(i)) {
                    case ControlKind::Switch:
                        value = model_.switchOn(i) ? QStringLiteral("on") : QStringLiteral("off");
                        break;
                    case ControlKind::Selector:
                        value = model_.selectorPositions(i).value(model_.selectorPosition(i));
                        break;
                    case ControlKind::Button:
                        value = QStringLiteral("(button)");
                        break;
                    default:
                        value = QString::number(model_.level(i));
                    }
                    out_ << QStringLiteral("%1 %2 = %3").arg(i).arg(model_.name(i), value);
                    if (model_.source(i) != NoAssignment)
                        out_ << QStringLiteral(" (source %1%2)")
                                    .arg(sourceName(model_.source(i)),
                                         model_.reversed(i) ? QStringLiteral(", reversed")
                                                            : QString());
                    out_ << '\n';
                }
                const QStringList footswitches = footswitchNames();
                out_ << QStringLiteral("bypass toggle: %1\npreset change: %2\n")
                            .arg(footswitches.value(footswitchPositionForCode(state.bypassSource),
                                                    QStringLiteral("?")),
                                 footswitches.value(footswitchPositionForCode(state.presetSource),
                                                    QStringLiteral("?")));
                for (int k = 0; k < model_.readbackCount(); ++k)
                    out_ << QStringLiteral("readback %1: LED %2\n")
                                .arg(model_.readbackName(k),
                                     readbackLedNames().value(ledPositionForCode(model_.led(k)),
                                                              QStringLiteral("?")));
                if (state.bankMode)
                    out_ << (*state.bankMode ? QStringLiteral("mode: FX bank, bank %1\n")
                                                   .arg(state.bankOrPresetNumber + 1)
                                             : QStringLiteral("mode: preset %1\n")
                                                   .arg(state.bankOrPresetNumber));
                out_ << QStringLiteral("MIDI channel: %1\n")
                            .arg(!state.midiChannel        ? QStringLiteral("?")
                                 : *state.midiChannel == 0 ? QStringLiteral("OMNI")
                                                           : QString::number(*state.midiChannel));
                finish(Done);
            }));
    });
}

void CliSession::setParameter(const QString& parameter, const QString& value) {
    withStoredEffect([this, parameter, value] {
        QString error;
        if (stored_.empty)
            return finish(BadInput, QStringLiteral("No effect found on pedal"));
        if (storedName_.isEmpty() || !model_.load(storedName_, &error))
            return finish(BadInput, error);
        std::optional<int> index = number(parameter, 0, model_.parameterCount() - 1);
        QStringList names;
        for (int i = 0; i < model_.parameterCount(); ++i) {
            names.append(QStringLiteral("%1 %2").arg(i).arg(model_.name(i)));
            if (!index && model_.name(i).compare(parameter, Qt::CaseInsensitive) == 0)
                index = i;
        }
        if (!index)
            return finish(BadInput, QStringLiteral("%1 has no parameter \"%2\". Its parameters: "
                                                   "%3.")
                                        .arg(storedName_, parameter, names.join(", ")));
        const int p = *index;
        std::optional<HexFrame> frame;
        switch (model_.kind(p)) {
        case ControlKind::Pot:
            if (const auto level = number(value, 0, 1023))
                frame = model_.setPotentiometer(p, *level);
            break;
        case ControlKind::Switch:
            if (value.compare("on", Qt::CaseInsensitive) == 0 || value == QLatin1String("1"))
                frame = model_.setSwitch(p, true);
            else if (value.compare("off", Qt::CaseInsensitive) == 0 || value == QLatin1String("0"))
                frame = model_.setSwitch(p, false);
            break;
        case ControlKind::Selector: {
            const QStringList positions = model_.selectorPositions(p);
            std::optional<int> position = number(value, 0, int(positions.size()) - 1);
            for (int k = 0; !position && k < positions.size(); ++k) {
                if (positions[k].compare(value, Qt::CaseInsensitive) == 0)
                    position = k;
            }
            if (position)
                frame = model_.setSelector(p, *position);
            break;
        }
        default:
            return finish(BadInput, QStringLiteral("%1 is a button: press it on the pedal or in "
                                                   "the editor.")
                                        .arg(model_.name(p)));
        }
        if (!frame)
            return finish(BadInput,
                          QStringLiteral("\"%1\" is no value for %2.").arg(value, model_.name(p)));
        connection_.send(*frame);
        // Ends once the frame and its pause have gone out.
        Exchange after(QStringLiteral("set"));
        after.onFinished([this, p, value](const ExchangeResult& result) {
            if (!result.completed())
                return failed(failureMessage(result));
            finish(Done, QStringLiteral("%1 = %2").arg(model_.name(p), value));
        });
        connection_.run(std::move(after));
    });
}

void CliSession::upload(const QString& effect, const QString& bank) {
    std::optional<QString> name;
    const auto rows = catalogue_.list(QString::fromLatin1(EffectListResource));
    for (int row = 1; rows && row < rows->size(); ++row) {
        const std::optional<QString> candidate = effectNameOfRow(*rows, row);
        if (candidate && candidate->compare(effect, Qt::CaseInsensitive) == 0)
            name = candidate;
    }
    if (!name)
        return finish(BadInput,
                      QStringLiteral("\"%1\" is not an effect of the catalogue.").arg(effect));
    if (irRuleFor(*name))
        return finish(BadInput, QStringLiteral("%1 takes an impulse response: load the WAV file "
                                               "in the editor and upload it from there.")
                                    .arg(*name));
    std::optional<QString> command;
    if (!bank.isEmpty()) {
        command = bankCommand(bank);
        if (!command)
            return finish(Usage, QStringLiteral("The bank is I, II or III, not \"%1\".").arg(bank));
        if (exceedsBankLimit(catalogue_.imageSize(*name).value_or(0)))
            return finish(BadInput, QStringLiteral("%1 is larger than an FX bank holds (%2 bytes).")
                                        .arg(*name)
                                        .arg(BankImageLimit));
    }
    QString error;
    const std::optional<QString> image = composeUploadImage(
        {*name, false, QString(), command.value_or(QString())}, catalogue_, &error);
    if (!image)
        return finish(BadInput, error);
    if (!linkPedal(std::nullopt))
        return;
    connect(&connection_, &Connection::messageReceived, this, [this](const FramedMessage& m) {
        if (m.kind == FramedMessage::Kind::UploadComplete)
            finish(Done, QString::fromLatin1(UploadCompleteText));
    });
    connection_.run(uploadImage(*image, [this](const ExchangeResult& result) {
        if (!result.completed())
            return failed(failureMessage(result));
        deadline_ = Clock::instance().createTimer([this] {
            failed(QStringLiteral("The pedal did not confirm the upload. Check its display, "
                                  "then try again."));
        });
        deadline_->start(UploadConfirmLimitMs);
    }));
}

void CliSession::dumpEeprom(const QString& device, const QString& path) {
    if (device != QLatin1String("50") && device != QLatin1String("51"))
        return finish(Usage, QStringLiteral("The EEPROM is 50 or 51, not \"%1\".").arg(device));
    if (!linkPedal(std::nullopt))
        return;
    connection_.run(readEeprom(device, [this, device, path](const Outcome<QByteArray>& outcome) {
        if (!outcome.ok())
            return failed(outcome.error);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(*outcome.value) != outcome.value->size() || !file.commit())
            return finish(BadInput,
                          QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
        finish(Done, QStringLiteral("Wrote the %1 bytes of EEPROM %2 to %3")
                         .arg(outcome.value->size())
                         .arg(device, path));
    }));
}

void CliSession::writeFirmware(const QString& imageName) {
    QString name;
    for (const QString& known : firmwareImageNames()) {
        if (known.compare(imageName, Qt::CaseInsensitive) == 0)
            name = known;
    }
    QString error;
    const std::optional<QByteArray> image =
        name.isEmpty() ? std::nullopt : loadFirmwareImage(name, &error);
    if (!image)
        return finish(
            BadInput,
            error.isEmpty()
                ? QStringLiteral("The firmware is one of %1.").arg(firmwareImageNames().join(", "))
                : error);
    if (!linkPedal(std::nullopt))
        return;
    connection_.send(frames::bypass(true));
    err_ << "To enter Firmware Upgrade Mode keep B2(SAVE) button on the pedal pressed, then "
            "press Enter (end the input to cancel)."
         << Qt::endl;
    if (!readLine_ || !readLine_()) {
        connection_.send(frames::bypass(false));
        Exchange after(QStringLiteral("cancel"));
        after.onFinished([this](const ExchangeResult&) {
            finish(Cancelled, QStringLiteral("Cancelled: nothing was written."));
        });
        connection_.run(std::move(after));
        return;
    }
    const int version = firmwareVersionOf(name);
    const QByteArray bytes = *image;
    connection_.run(enterBootloader([this, bytes, version](const ExchangeResult& entered) {
        if (!entered.completed()) {
            connection_.send(frames::bypass(false));
            return failed(entered.outcome == ExchangeResult::Outcome::Lost
                              ? QString()
                              : bootloaderFailedMessage());
        }
        err_ << "Connection to bootloader succeeded. Release B2(SAVE)." << Qt::endl;
        UpgradeHooks hooks;
        hooks.confirm = [this, version](const BootloaderFacts& facts) {
            err_ << upgradeQuestion(facts, version) << Qt::endl
                 << "Press Enter to write it (end the input to cancel)." << Qt::endl;
            return readLine_ && readLine_().has_value();
        };
        auto shownTenth = std::make_shared<int>(-1);
        hooks.progress = [this, shownTenth](UpgradePhase phase, int bytes, int total) {
            if (phase == UpgradePhase::Erasing)
                return;
            const int step =
                (phase == UpgradePhase::Verifying ? 10 : 0) + (total > 0 ? bytes * 10 / total : 10);
            if (step == *shownTenth)
                return;
            *shownTenth = step;
            err_ << QStringLiteral("%1 %2 of %3 bytes")
                        .arg(phase == UpgradePhase::Writing ? QStringLiteral("written")
                                                            : QStringLiteral("verified"))
                        .arg(bytes)
                        .arg(total)
                 << Qt::endl;
        };
        hooks.finished = [this](const UpgradeResult& result) {
            using Outcome = UpgradeResult::Outcome;
            switch (result.outcome) {
            case Outcome::Completed:
                return finish(Done,
                              QStringLiteral("Firmware Upgrade Complete, device will now restart"));
            case Outcome::Declined:
                return finish(Cancelled, QStringLiteral("Cancelled: nothing was written. The "
                                                        "pedal's bootloader still listens: "
                                                        "switch it off and on to play it."));
            case Outcome::Failed:
                return failed(upgradeFailureMessage(result));
            case Outcome::Lost:
                return failed(upgradeLostMessage(result.erased));
            case Outcome::Cancelled:
                return failed(result.message);
            }
        };
        QString why;
        if (!startFirmwareUpgrade(connection_, bytes, version, std::move(hooks), &why))
            failed(why);
    }));
}

} // namespace kestra
