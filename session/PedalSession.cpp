#include "session/PedalSession.h"

#include "catalogue/Upload.h"
#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/Dialogs.h"
#include "firmware/FirmwareImage.h"
#include "firmware/FirmwareUpgrade.h"
#include "ir/IrLoader.h"
#include "protocol/HexText.h"
#include "protocol/Inbound.h"

#include <utility>

namespace kestra {

namespace {
const char* const BankCommands[] = {frames::BankI, frames::BankII, frames::BankIII};
constexpr int UploadLogLimit = 257;

void tell(const SessionDone& done, const SessionResult& result) {
    if (done)
        done(result);
}

QString bankCommandOf(int bank) {
    return QString::fromLatin1(BankCommands[bank >= 0 && bank < 3 ? bank : 0]);
}
} // namespace

PedalSession::PedalSession(Connection& connection, QObject* parent)
    : QObject(parent), connection_(connection) {
    connect(&connection_, &Connection::stateChanged, this, &PedalSession::onStateChanged);
    connect(&connection_, &Connection::messageReceived, this, &PedalSession::onMessage);
    uploadDeadline_ = Clock::instance().createTimer([this] {
        finishUpload(SessionResult::failed(
            QStringLiteral("The pedal did not confirm the upload. Check its display, then try "
                           "again.")));
    });
    // The new firmware's version, once the pedal has started it.
    restartWait_ = Clock::instance().createTimer([this] {
        storedReadDue_ = true;
        readWhenIdle();
    });
}

void PedalSession::restoreMode(bool bank) {
    bankMode_ = bank;
    if (bank)
        selectBank(0);
}

PedalSession::~PedalSession() = default;

void PedalSession::setImpulseResponseImage(const QString& effect, const QString& image) {
    irImages_.insert(effect, image);
}

bool PedalSession::showsStoredEffect() const {
    return effectOpen() && !stored_.name.isEmpty() && parameters_.effectName() == stored_.name;
}

bool PedalSession::fitsTarget(const QString& effect) const {
    if (effect.isEmpty())
        return false;
    if (!bankMode_)
        return true;
    const std::optional<int> size = catalogue_.imageSize(effect);
    return size && !exceedsBankLimit(*size);
}

// ---------------------------------------------------------------------------
// The link

PortResult PedalSession::link(const PortDevice& device, SessionDone done) {
    std::optional<Exchange> first;
    if (upgradeArmed_) {
        first = bootloaderHandshake(
            [this, done](const ExchangeResult& result) { onArmedHandshake(result, true, done); },
            SyncProbeTimeLimitMs);
    } else {
        first = kestra::readStoredEffect([this, done](const Outcome<StoredEffectReply>& outcome) {
            takeStoredEffect(outcome, done);
        });
    }
    return connection_.link(device, std::move(first));
}

PortResult PedalSession::open(const PortDevice& device) {
    return connection_.link(device);
}

bool PedalSession::unlink(QString* why) {
    // The link's end sends Live off itself.
    if (live_) {
        live_ = false;
        emit liveChanged(false);
    }
    return connection_.unlink(why);
}

bool PedalSession::mayEnd(std::function<void()> endLater, QString* why) {
    if (!connection_.mayClose(why))
        return false;
    if (why)
        why->clear();
    // Whether the answer came while the question was still being asked.
    auto asking = std::make_shared<bool>(true);
    auto now = std::make_shared<bool>(false);
    const bool goingOn = confirmLeavingEdits([asking, now, endLater] {
        if (*asking) {
            *now = true;
            return;
        }
        if (endLater)
            endLater();
    });
    *asking = false;
    return goingOn && *now;
}

void PedalSession::onStateChanged(Connection::State state) {
    using State = Connection::State;
    if (state == State::Unlinked || state == State::Lost) {
        if (live_) {
            live_ = false;
            emit liveChanged(false);
        }
        // The pedal has its own supply: a bootloader that listened when the
        // cable came out still does, and the next Link looks for it.
        upgradeArmed_ = state == State::Lost && bootloaderListened_;
        // The pedal may change while no link watches it: its state and the
        // version it runs are read again.
        parameters_.forgetState();
        stored_.versionKnown = false;
        storedReadDue_ = false;
        restartWait_->stop();
        if (pending_)
            finishUpload(state == State::Lost
                             ? SessionResult::failed(QStringLiteral(
                                   "The pedal was disconnected before it confirmed the upload. "
                                   "Link again and choose Get FX Stored on Pedal to see which "
                                   "effect it holds."))
                             : SessionResult::cancelled());
        dropFrames(state == State::Lost ? QStringLiteral("the pedal was disconnected")
                                        : QStringLiteral("the link was ended"));
    }
    if (state == State::Bootloader)
        dropFrames(QStringLiteral("the pedal's bootloader listens"));
    bootloaderListened_ = state == State::Bootloader || state == State::Upgrading;
    if (state == State::Linked) {
        flushFrames();
        readWhenIdle();
    }
    emit situationChanged();
}

void PedalSession::onMessage(const FramedMessage& message) {
    switch (message.kind) {
    case FramedMessage::Kind::BankStatus:
        selectBank(message.number);
        break;
    case FramedMessage::Kind::EffectStatus:
        openReportedEffect(message.number);
        break;
    case FramedMessage::Kind::UploadComplete:
        emit uploadStatus(QString::fromLatin1(UploadCompleteText));
        onUploadConfirmed();
        break;
    case FramedMessage::Kind::Realtime: {
        const RealtimeFrame& frame = message.frame;
        debugLog(QStringLiteral("realtime frame: source %1 parameter %2 value %3")
                     .arg(frame.source)
                     .arg(frame.parameter)
                     .arg(frame.value));
        // The frame names a parameter of the effect the pedal runs: another
        // effect's model would move the wrong control and send its echo to
        // an address of the wrong image.
        if (!showsStoredEffect())
            break;
        if (const auto change = parameters_.applyRealtime(frame)) {
            emit parameterMoved(change->parameter);
            if (change->echo)
                send(*change->echo);
        }
        break;
    }
    case FramedMessage::Kind::EepromDump:
        emit eepromDump(message.bytes.mid(1));
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// The stored effect

void PedalSession::readStoredEffect(SessionDone done) {
    storedReadDue_ = false;
    QString why;
    const bool started = connection_.run(
        kestra::readStoredEffect([this, done](const Outcome<StoredEffectReply>& outcome) {
            takeStoredEffect(outcome, done);
        }),
        &why);
    if (!started)
        tell(done, SessionResult::failed(why));
}

void PedalSession::readVersionIfUnknown(SessionDone done) {
    if (stored_.versionKnown)
        return tell(done, SessionResult::done());
    readStoredEffect(std::move(done));
}

void PedalSession::takeStoredEffect(const Outcome<StoredEffectReply>& outcome, SessionDone done) {
    if (!outcome.ok())
        return tell(done, SessionResult::failed(outcome.error));
    const StoredEffectReply& reply = *outcome.value;
    stored_.number = reply.effectNumber;
    stored_.version = reply.effectVersion;
    stored_.firmwareVersion = reply.firmwareVersion;
    stored_.versionKnown = true;
    stored_.none = reply.empty;
    firmwareKnown_ = true;
    debugLog(QStringLiteral("effect number DEC: %1").arg(reply.effectNumber));
    debugLog(QStringLiteral("effect number HEX: ") +
             hex8(static_cast<std::uint32_t>(reply.effectNumber)));
    debugLog(QStringLiteral("effect version: %1").arg(reply.effectVersion));
    debugLog(QStringLiteral("firmware version: %1").arg(reply.firmwareVersion));
    if (reply.empty) {
        stored_.name.clear();
        parameters_.forgetState();
        emit storedEffectChanged();
        emit situationChanged();
        return tell(done, SessionResult::done(QStringLiteral("No effect found on pedal")));
    }
    QString error;
    const std::optional<QString> name = catalogue_.effectName(reply.effectNumber, &error);
    if (!name) {
        stored_.name.clear();
        parameters_.forgetState();
        emit storedEffectChanged();
        emit situationChanged();
        return tell(done, SessionResult::failed(error, SessionResult::Status::BadInput));
    }
    stored_.name = *name;
    debugLog(QStringLiteral("effetto ottenuto dalla lista: ") + stored_.name);
    emit storedEffectChanged();
    const QString loadError = openEffect(stored_.name);
    emit effectOpened(stored_.name, stored_.name + QStringLiteral(" v%1").arg(stored_.version),
                      true);
    emit situationChanged();
    // A descriptor that cannot be read is said, as opening it from the list says it.
    tell(done, SessionResult::done(loadError));
}

// The status text carries no version: the effect is read again as soon as
// the link is free, and until then its version is unknown.
void PedalSession::openReportedEffect(int effectNumber) {
    QString error;
    const std::optional<QString> name = catalogue_.effectName(effectNumber, &error);
    if (!name) {
        Dialogs::instance().error(error);
        return;
    }
    stored_.number = effectNumber;
    stored_.name = *name;
    stored_.versionKnown = false;
    stored_.none = false;
    debugLog(QStringLiteral("effetto ottenuto dalla lista: ") + stored_.name);
    emit storedEffectChanged();
    if (const QString loadError = openEffect(stored_.name); !loadError.isEmpty())
        Dialogs::instance().message(loadError);
    emit effectOpened(stored_.name, stored_.name, true);
    emit situationChanged();
    storedReadDue_ = true;
    readWhenIdle();
}

void PedalSession::readWhenIdle() {
    if (!storedReadDue_ || !connection_.canSend() || pending_)
        return;
    readStoredEffect([](const SessionResult& result) {
        if (!result.ok() && !result.text.isEmpty())
            Dialogs::instance().error(result.text);
    });
}

QString PedalSession::openEffect(const QString& effect) {
    QString error;
    if (!parameters_.load(effect, &error))
        debugLog(error);
    else if (bankMode_)
        parameters_.fixFootswitchesForBank();
    effectOpen_ = true;
    followModel();
    emit editsChanged();
    return error;
}

void PedalSession::followModel() {
    if (parameters_.effectName() == historyEffect_)
        return;
    history_.clear();
    historyEffect_ = parameters_.effectName();
}

void PedalSession::closeEffect() {
    if (!effectOpen_)
        return;
    effectOpen_ = false;
    emit editsChanged();
    emit situationChanged();
}

// ---------------------------------------------------------------------------
// Request

void PedalSession::requestState(SessionDone done) {
    if (!showsStoredEffect())
        return tell(done, SessionResult::failed(QStringLiteral(
                              "The parameter window does not show the effect stored on the pedal."
                              "\n\nClick \"Get FX Stored on Pedal\" and \"Request\", then try "
                              "again.")));
    // The answer belongs to the effect open now; a model loaded with another
    // effect meanwhile must not take it.
    const quint64 generation = parameters_.generation();
    QString why;
    const bool started = connection_.run(
        requestParameterState(
            parameters_.parameterCount(), parameters_.readbackCount(),
            [this, generation, done](const Outcome<ParameterState>& outcome) {
                if (!outcome.ok()) {
                    emit situationChanged();
                    return tell(done, SessionResult::failed(outcome.error));
                }
                if (parameters_.generation() != generation) {
                    debugLog(QStringLiteral("the answer to Request belongs to an effect no "
                                            "longer shown; nothing was applied"));
                    emit situationChanged();
                    return tell(done, SessionResult::failed({}));
                }
                pedalState_ = *outcome.value;
                parameters_.apply(*outcome.value);
                applyPedalMode(*outcome.value);
                midiChannel_ = outcome.value->midiChannel;
                emit midiChannelChanged(midiChannel_);
                debugLog(QStringLiteral("MIDI channel: %1").arg(midiChannel_.value_or(-1)));
                if (bankMode_)
                    parameters_.fixFootswitchesForBank();
                history_.markSaved();
                emit stateApplied();
                emit editsChanged();
                emit situationChanged();
                tell(done, SessionResult::done());
            }),
        &why);
    if (!started)
        tell(done, SessionResult::failed(why));
}

void PedalSession::applyPedalMode(const ParameterState& state) {
    if (!state.bankMode)
        return;
    if (*state.bankMode) {
        debugLog(QStringLiteral("Mode: Bank"));
        applyMode(true, false);
        selectBank(state.bankOrPresetNumber);
        debugLog(QStringLiteral("Bank Num: %1").arg(state.bankOrPresetNumber));
    } else {
        debugLog(QStringLiteral("Mode: Preset"));
        applyMode(false, false);
        debugLog(QStringLiteral("Preset Num: %1").arg(state.bankOrPresetNumber));
    }
}

// ---------------------------------------------------------------------------
// Modes, bank, MIDI channel, live

void PedalSession::chooseMode(bool bank) {
    // FX bank mode starts a new selection: the open effect is put away.
    if (!bank || !unsavedEdits())
        return applyMode(bank, true);
    if (!confirmLeavingEdits([this, bank] { applyMode(bank, true); }))
        emit modeChanged(bankMode_, false); // the check marks show the mode kept
}

void PedalSession::applyMode(bool bank, bool byPlayer) {
    bankMode_ = bank;
    if (bank)
        selectBank(0);
    if (bank && byPlayer)
        closeEffect();
    emit modeChanged(bank, byPlayer);
    emit situationChanged();
}

void PedalSession::selectBank(int bank) {
    if (bank < 0 || bank > 2)
        return;
    bank_ = bank;
    emit bankChanged(bank);
}

void PedalSession::setMidiChannel(int channel) {
    debugLogNoScroll(QStringLiteral("Midi channel: ") +
                     (channel == 0 ? QStringLiteral("OMNI") : QString::number(channel)));
    QString why;
    if (!send(frames::midiChannel(channel), &why))
        Dialogs::instance().error(why);
}

void PedalSession::setLive(bool on) {
    const bool changed = live_ != on;
    live_ = on;
    if (changed)
        emit liveChanged(on);
    QString why;
    if (!send(frames::liveMode(on), &why))
        Dialogs::instance().error(why);
}

// ---------------------------------------------------------------------------
// Frames the player confirmed

bool PedalSession::send(const HexFrame& frame, QString* why) {
    const auto refuse = [&frame, why](const QString& reason) {
        debugLog(QStringLiteral("not sent (%1): %2").arg(reason, frame.text));
        if (why)
            *why = reason;
        return false;
    };
    switch (connection_.state()) {
    case Connection::State::Linked:
        flushFrames();
        return connection_.send(frame);
    case Connection::State::Linking:
    case Connection::State::Busy:
        // Sent as soon as the exchange that runs has ended.
        debugLog(QStringLiteral("sent after %1: %2").arg(connection_.operation(), frame.text));
        waiting_.push_back(frame);
        return true;
    case Connection::State::Bootloader:
    case Connection::State::Upgrading:
        return refuse(QStringLiteral("The pedal is in its bootloader: nothing was sent. Switch "
                                     "it off and on, then choose Link."));
    case Connection::State::Unlinked:
    case Connection::State::Lost:
        break;
    }
    return refuse(QStringLiteral("The pedal is not linked: nothing was sent. Choose Connection > "
                                 "Link first."));
}

void PedalSession::sendEdits(const std::vector<HexFrame>& frames) {
    for (const HexFrame& frame : frames) {
        QString why;
        if (!send(frame, &why)) {
            Dialogs::instance().error(why);
            return;
        }
    }
}

void PedalSession::edit(const std::vector<Edit>& edits) {
    std::vector<HexFrame> frames;
    for (const Edit& one : edits) {
        const std::vector<HexFrame> given = history_.apply(one);
        frames.insert(frames.end(), given.begin(), given.end());
    }
    sendEdits(frames);
    emit edited();
    tellEdits();
}

void PedalSession::undo() {
    if (!history_.canUndo())
        return;
    sendEdits(history_.undo());
    emit edited();
    tellEdits();
}

void PedalSession::redo() {
    if (!history_.canRedo())
        return;
    sendEdits(history_.redo());
    emit edited();
    tellEdits();
}

bool PedalSession::route(const RoutedItem& item, std::optional<PedalControl> control) {
    if (!mayRoute(parameters_, item, control, bankMode_))
        return false;
    edit(routingEdits(parameters_, item, control, bankMode_));
    return true;
}

void PedalSession::tellEdits() {
    const std::array<bool, 3> now = {history_.unsaved(), history_.canUndo(), history_.canRedo()};
    if (now == toldEdits_)
        return;
    toldEdits_ = now;
    emit editsChanged();
}

void PedalSession::flushFrames() {
    while (!waiting_.empty() && connection_.canSend()) {
        const HexFrame frame = waiting_.front();
        waiting_.pop_front();
        connection_.send(frame);
    }
}

void PedalSession::dropFrames(const QString& why) {
    if (waiting_.empty())
        return;
    const auto count = static_cast<int>(waiting_.size());
    waiting_.clear();
    Dialogs::instance().error(
        (count == 1 ? QStringLiteral("A change you made was not sent to the pedal: %1.").arg(why)
                    : QStringLiteral("%1 changes you made were not sent to the pedal: %2.")
                          .arg(count)
                          .arg(why)) +
        QStringLiteral("\n\nLink again, choose Request and make them again."));
}

void PedalSession::assign(SessionDone done) {
    debugLog(parameters_.assignFrame().text);
    if (!Dialogs::instance().confirm(QStringLiteral("Assign parameters?")))
        return tell(done, SessionResult::cancelled());
    // The routing as it is once the player has answered.
    QString why;
    if (!send(parameters_.assignFrame(), &why))
        return tell(done, SessionResult::failed(why));
    tell(done, SessionResult::done());
}

void PedalSession::storeSettings(SessionDone done) {
    const HexFrame frame = frames::storeSettings(parameters_.parameterCount());
    debugLog(QStringLiteral("Store settings message (HEX): ") + frame.text);
    QString why;
    const bool started = connection_.run(
        frameExchange(QStringLiteral("Store Settings On Pedal"), frame,
                      [this, done](const ExchangeResult& result) {
                          if (!result.completed())
                              return tell(done, SessionResult::failed(failureMessage(result)));
                          history_.markSaved();
                          emit editsChanged();
                          tell(done, SessionResult::done());
                      }),
        &why);
    if (!started)
        tell(done, SessionResult::failed(why));
}

void PedalSession::eraseSettings(SessionDone done) {
    QString why;
    const bool started = connection_.run(
        kestra::eraseSettings(
            [this, done](const Outcome<std::pair<QByteArray, QByteArray>>& outcome) {
                if (!outcome.ok())
                    return tell(done, SessionResult::failed(outcome.error));
                emit eepromDump(outcome.value->first);
                emit eepromDump(outcome.value->second);
                tell(done, SessionResult::done());
            }),
        &why);
    if (!started)
        tell(done, SessionResult::failed(why));
}

bool PedalSession::confirmLeavingEdits(std::function<void()> proceed) {
    // Only edits the pedal could still store are worth the question.
    if (!unsavedEdits() || !stateRead() || connection_.state() != Connection::State::Linked) {
        proceed();
        return true;
    }
    const Dialogs::Choice choice = Dialogs::instance().offer(
        QStringLiteral("The settings of %1 were edited and are not stored on the pedal.\n\n"
                       "Store them on the pedal now (Store Settings On Pedal)?")
            .arg(parameters_.effectName()),
        Dialogs::Default::Yes);
    switch (choice) {
    case Dialogs::Choice::Cancel:
        return false;
    case Dialogs::Choice::No:
        // Left behind: the pedal runs them until it is switched off.
        proceed();
        return true;
    case Dialogs::Choice::Yes:
        storeSettings([proceed](const SessionResult& result) {
            if (!result.ok() && !result.text.isEmpty())
                Dialogs::instance().error(result.text);
            if (result.ok())
                proceed();
        });
        return true;
    }
    return false;
}

void PedalSession::sendConfiguration(const Configuration& configuration) {
    const QString before = composeConfiguration(configurationOf(parameters_, 0, 0));
    sendEdits(applyConfiguration(parameters_, configuration));
    emit stateApplied();
    // Routing counts as much as values: Store keeps both.
    if (composeConfiguration(configurationOf(parameters_, 0, 0)) != before) {
        history_.markChanged();
        emit editsChanged();
    }
}

void PedalSession::loadConfiguration(const QString& text, SessionDone done) {
    // The file names its effect's version: the pedal's must be known.
    readVersionIfUnknown([this, text, done](const SessionResult& version) {
        if (!version.ok())
            return tell(done, version);
        const std::optional<int> number = HexToInt(text.left(4));
        const std::optional<QString> effect =
            number && *number != stored_.number ? catalogue_.effectName(*number) : std::nullopt;
        if (!effect || effect->isEmpty())
            return applyConfigurationText(text, done);
        const QString held = stored_.name.isEmpty()
                                 ? QStringLiteral("an effect the editor does not know")
                                 : stored_.name;
        // Declined: refused as a file of another effect is.
        if (!Dialogs::instance().confirm(
                QStringLiteral("This preset is for %1, but the pedal holds %2.\n\nUpload %1 to "
                               "the pedal first, then apply the preset?")
                    .arg(*effect, held),
                Dialogs::Default::Yes))
            return applyConfigurationText(text, done);
        const auto uploadThenApply = [this, effect = *effect, text, done] {
            upload(effect, true, [this, text, done](const SessionResult& uploaded) {
                if (!uploaded.ok())
                    return tell(done, uploaded);
                applyConfigurationText(text, done);
            });
        };
        if (!confirmLeavingEdits(uploadThenApply))
            tell(done, SessionResult::cancelled());
    });
}

void PedalSession::applyConfigurationText(const QString& text, const SessionDone& done) {
    const ConfigurationReading reading =
        readConfiguration(text, {stored_.number, stored_.version, parameters_.parameterCount(),
                                 parameters_.readbackCount()});
    if (!reading.configuration)
        return tell(done, SessionResult::failed(reading.error, SessionResult::Status::BadInput));
    sendConfiguration(*reading.configuration);
    tell(done, SessionResult::done());
}

// ---------------------------------------------------------------------------
// Uploads

void PedalSession::upload(const QString& effect, bool goLiveAfter, SessionDone done) {
    startUpload(effect, bankMode_ ? bankCommandOf(bank_) : QString(), goLiveAfter, std::move(done));
}

void PedalSession::uploadTo(const QString& effect, int bank, SessionDone done) {
    startUpload(effect, bank == PresetSlot ? QString() : bankCommandOf(bank), false,
                std::move(done));
}

void PedalSession::startUpload(const QString& effect, const QString& bankCommand, bool goLiveAfter,
                               SessionDone done) {
    // A bank holds at most BankImageLimit bytes, whatever a list showed.
    if (!bankCommand.isEmpty()) {
        const std::optional<int> size = catalogue_.imageSize(effect);
        if (!size || exceedsBankLimit(*size))
            return tell(done, SessionResult::failed(
                                  QStringLiteral("%1 is larger than an FX bank holds (%2 bytes).")
                                      .arg(effect)
                                      .arg(BankImageLimit),
                                  SessionResult::Status::BadInput));
    }
    QString error;
    const std::optional<QString> image = composeUploadImage(
        {effect, irRuleFor(effect).has_value(), irImages_.value(effect), bankCommand}, catalogue_,
        &error);
    if (!image)
        return tell(done, SessionResult::failed(error, SessionResult::Status::BadInput));
    const int bytes = static_cast<int>(image->size() / 2);
    debugLog(image->left(UploadLogLimit));
    debugLog(QStringLiteral("size: %1").arg(bytes));
    debugLog(QStringLiteral("num of bytes: %1").arg(bytes));
    // The pedal's next "Upload complete" is this upload's.
    finishUpload(SessionResult::cancelled());
    pending_ = PendingUpload{false, false, goLiveAfter, effect, done};
    QString why;
    const bool started = connection_.run(
        uploadImage(*image, [this](const ExchangeResult& result) { onUploadWritten(result); }),
        &why);
    if (!started) {
        pending_.reset();
        tell(done, SessionResult::failed(why));
    }
}

// The upload's frames are written; the pedal says "Upload complete" once it
// has stored the effect. Either may come first.
void PedalSession::onUploadWritten(const ExchangeResult& result) {
    if (!pending_)
        return;
    if (!result.completed())
        return finishUpload(SessionResult::failed(failureMessage(result)));
    debugLog(QStringLiteral("write to device"));
    emit uploadStatus(QStringLiteral("Uploading..."));
    pending_->written = true;
    if (pending_->confirmed)
        return onUploadConfirmed();
    uploadDeadline_->start(UploadConfirmLimitMs);
}

void PedalSession::onUploadConfirmed() {
    if (!pending_)
        return;
    pending_->confirmed = true;
    if (!pending_->written)
        return;
    uploadDeadline_->stop();
    PendingUpload upload = std::move(*pending_);
    pending_.reset();
    if (upload.goLive)
        return goLive(std::move(upload.done));
    // The pedal now runs what was uploaded, in a version not read yet.
    if (const std::optional<int> number = catalogue_.effectNumber(upload.effect)) {
        stored_.number = *number;
        stored_.name = upload.effect;
        stored_.none = false;
    }
    stored_.versionKnown = false;
    emit storedEffectChanged();
    emit situationChanged();
    tell(upload.done, SessionResult::done(QString::fromLatin1(UploadCompleteText)));
    readWhenIdle();
}

void PedalSession::finishUpload(const SessionResult& result) {
    uploadDeadline_->stop();
    if (!pending_)
        return;
    const SessionDone done = std::move(pending_->done);
    // Unconfirmed, the image may still be stored: what the pedal holds is
    // read again before a file relies on its version.
    const bool mayBeStored = pending_->written && !result.ok();
    pending_.reset();
    if (mayBeStored && stored_.versionKnown) {
        stored_.versionKnown = false;
        emit storedEffectChanged();
    }
    tell(done, result);
    emit situationChanged();
    // A status text that came meanwhile is read back now.
    readWhenIdle();
}

// Get FX Stored on Pedal, then Request, as the player would click them.
void PedalSession::readStoredEffectAndState(SessionDone done) {
    readStoredEffect([this, done](const SessionResult& read) {
        if (!read.ok() || !showsStoredEffect())
            return tell(done, read);
        requestState([done, read](const SessionResult& state) {
            // A note of the read (a descriptor missing, say) still counts.
            tell(done, state.ok() && state.text.isEmpty() ? read : state);
        });
    });
}

void PedalSession::goLive(SessionDone done) {
    debugLog(QStringLiteral("upload complete: reading the stored effect and its state"));
    readStoredEffect([this, done](const SessionResult& read) {
        if (!read.ok())
            return tell(done, read);
        // A note (no effect found, say) says why nothing goes live.
        if (!showsStoredEffect())
            return tell(done, SessionResult::failed(read.text));
        if (!read.text.isEmpty())
            Dialogs::instance().message(read.text);
        requestState(done);
    });
}

void PedalSession::uploadBytes(const QByteArray& bytes, SessionDone done) {
    // The pedal's next "Upload complete" is this file's, not a list upload's.
    finishUpload(SessionResult::cancelled());
    Exchange exchange(QStringLiteral("Upload File"));
    exchange.write(bytes).onFinished([done](const ExchangeResult& result) {
        if (!result.completed())
            return tell(done, SessionResult::failed(failureMessage(result)));
        debugLogNoScroll(QStringLiteral("write to device"));
        tell(done, SessionResult::done());
    });
    QString why;
    if (!connection_.run(std::move(exchange), &why))
        tell(done, SessionResult::failed(why));
}

// ---------------------------------------------------------------------------
// Upgrade Mode

void PedalSession::toggleUpgradeArmed() {
    if (connection_.isOpen())
        return;
    upgradeArmed_ = !upgradeArmed_;
    emit situationChanged();
}

void PedalSession::enterBootloader(SessionDone done) {
    const HexFrame bypassOn = frames::bypass(true);
    debugLog(bypassOn.text);
    send(bypassOn);
    if (!Dialogs::instance().confirm(QStringLiteral("To enter Firmware Upgrade Mode keep "
                                                    "B2(SAVE) button on the pedal pressed while "
                                                    "clicking YES."))) {
        send(frames::bypass(false));
        // Done once the bypass is undone on the pedal.
        Exchange after(QStringLiteral("Bypass off"));
        after.onFinished([done](const ExchangeResult&) { tell(done, SessionResult::cancelled()); });
        QString why;
        if (!connection_.run(std::move(after), &why))
            tell(done, SessionResult::cancelled());
        return;
    }
    const auto failed = [this, done](const ExchangeResult& result) {
        emit situationChanged();
        if (result.outcome == ExchangeResult::Outcome::Cancelled ||
            result.outcome == ExchangeResult::Outcome::Lost)
            return tell(done, SessionResult::failed({}));
        // The line is the application's again: end the bypass.
        send(frames::bypass(false));
        tell(done, SessionResult::failed(bootloaderFailedMessage()));
    };
    // The pedal takes a moment to settle in bypass, however quickly the
    // player answered.
    Exchange settle(QStringLiteral("Upgrade Mode"));
    settle.pause(BypassSettleMs).onFinished([this, done, failed](const ExchangeResult& paused) {
        if (!paused.completed())
            return failed(paused);
        QString why;
        const bool started =
            connection_.run(kestra::enterBootloader([this, done, failed](const ExchangeResult& r) {
                                if (!r.completed())
                                    return failed(r);
                                emit situationChanged();
                                tell(done, SessionResult::done());
                            }),
                            &why);
        if (!started)
            tell(done, SessionResult::failed(why));
    });
    QString why;
    if (!connection_.run(std::move(settle), &why))
        tell(done, SessionResult::failed(why));
}

void PedalSession::leaveBootloader(SessionDone done) {
    // The pedal listens with its bootloader until it is switched off and on:
    // no application frame may reach it meanwhile, so the link ends here.
    upgradeArmed_ = false;
    QString why;
    if (!connection_.unlink(&why))
        return tell(done, SessionResult::failed(why));
    emit situationChanged();
    tell(done, SessionResult::done(QStringLiteral(
                   "Firmware Upgrade Mode is off. The pedal stays in its bootloader until it is "
                   "switched off and on again.\n\nSwitch it off and on again, then choose Link.")));
}

void PedalSession::onArmedHandshake(const ExchangeResult& result, bool firstSync,
                                    SessionDone done) {
    if (result.completed()) {
        emit situationChanged();
        return tell(done, SessionResult::done(QStringLiteral(
                              "Connection to bootloader succeeded, ready for firmware upgrade")));
    }
    if (result.outcome == ExchangeResult::Outcome::Cancelled ||
        result.outcome == ExchangeResult::Outcome::Lost) {
        upgradeArmed_ = false;
        emit situationChanged();
        return tell(done, SessionResult::failed({}));
    }
    // A bootloader left listening (by Unlink, an unplug or a stopped upgrade)
    // took the sync byte for part of a command: find it again at whatever
    // step it is.
    if (firstSync && resynchronise(connection_, [this, done](const ExchangeResult& again) {
            onArmedHandshake(again, false, done);
        }))
        return;
    upgradeArmed_ = false;
    emit situationChanged();
    Dialogs::instance().error(bootloaderFailedMessage());
    // The device is open: the link goes on as a normal one.
    readStoredEffect(done);
}

void PedalSession::upgradeFirmware(const QString& imageName, UpgradeProgress progress,
                                   SessionDone done) {
    if (upgrading_)
        return tell(done, SessionResult::failed(QStringLiteral(
                              "The firmware is being written: wait until the upgrade has ended.")));
    QString error;
    const std::optional<QByteArray> image = loadFirmwareImage(imageName, &error);
    if (!image)
        return tell(done, SessionResult::failed(error, SessionResult::Status::BadInput));
    const int version = firmwareVersionOf(imageName);
    UpgradeHooks hooks;
    hooks.confirm = [version](const BootloaderFacts& facts) {
        return Dialogs::instance().confirm(upgradeQuestion(facts, version), Dialogs::Default::No);
    };
    hooks.progress = std::move(progress);
    hooks.applicationMayRun = startUnconfirmed_;
    hooks.finished = [this, done](const UpgradeResult& result) {
        upgrading_ = false;
        startUnconfirmed_ = result.outcome == UpgradeResult::Outcome::Failed && result.verified;
        using Outcome = UpgradeResult::Outcome;
        SessionResult outcome;
        switch (result.outcome) {
        case Outcome::Completed:
            // After Go the pedal runs its new firmware and the line is the
            // application's.
            upgradeArmed_ = false;
            // The old version is no longer the pedal's; the new one is read
            // once the pedal answers again.
            firmwareKnown_ = false;
            emit storedEffectChanged();
            restartWait_->start(FirmwareRestartMs);
            outcome =
                SessionResult::done(QStringLiteral("Firmware Upgrade Complete, device will now "
                                                   "restart"));
            break;
        case Outcome::Declined:
            debugLog(QStringLiteral("firmware upgrade declined"));
            outcome = SessionResult::cancelled(
                QStringLiteral("Nothing was written. The pedal's bootloader still listens: "
                               "switch it off and on to play it."));
            break;
        case Outcome::Failed:
            // After a failure the pedal stays in its bootloader.
            debugLog(QStringLiteral("firmware upgrade stopped: ") + result.message);
            outcome = SessionResult::failed(upgradeFailureMessage(result));
            break;
        case Outcome::Lost:
            outcome = SessionResult::failed(upgradeLostMessage(result.erased));
            break;
        case Outcome::Cancelled:
            outcome = SessionResult::cancelled();
            break;
        }
        emit situationChanged();
        tell(done, outcome);
    };
    upgrading_ = true;
    emit situationChanged();
    QString why;
    if (!startFirmwareUpgrade(connection_, *image, version, std::move(hooks), &why)) {
        upgrading_ = false;
        emit situationChanged();
        tell(done, SessionResult::failed(why));
    }
}

void PedalSession::readEeprom(const QString& i2cAddress,
                              std::function<void(const SessionResult&, const QByteArray&)> done) {
    QString why;
    const bool started = connection_.run(
        kestra::readEeprom(i2cAddress,
                           [done](const Outcome<QByteArray>& outcome) {
                               if (!outcome.ok())
                                   return done(SessionResult::failed(outcome.error), {});
                               done(SessionResult::done(), *outcome.value);
                           }),
        &why);
    if (!started)
        done(SessionResult::failed(why), {});
}

} // namespace kestra
