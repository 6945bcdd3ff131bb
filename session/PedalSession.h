// The one linked pedal as the editor knows it: what it holds (the stored
// effect with its number, version and firmware version, the mode, bank,
// MIDI channel and live switch), the parameter model with the player's edit
// history, the upload that waits for the pedal's confirmation, Upgrade Mode
// and the impulse-response images. Every multi-step flow and every rule about
// the pedal lives here once; the windows and kestra-cli call one function per
// operation, hear the outcome through its result and what changed through
// signals, and answer questions through Dialogs (windows: message boxes,
// kestra-cli: its terminal). Nothing here shows a window or waits.
#pragma once

#include "catalogue/Catalogue.h"
#include "connection/Connection.h"
#include "editor/EditHistory.h"
#include "editor/ParameterModel.h"
#include "editor/Routing.h"
#include "firmware/Bootloader.h"
#include "operations/Configuration.h"
#include "operations/PedalOperations.h"

#include <QHash>
#include <QObject>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace kestra {

class ClockTimer;

// What the pedal said it holds.
struct StoredEffect {
    int number = 0;
    int version = 0;
    int firmwareVersion = 0;
    QString name;      // catalogue name; empty when the pedal holds none the catalogue knows
    bool none = false; // the pedal said it holds no effect
    // The version is the pedal's answer to Get stored effect for this effect;
    // an effect reported by a status text has none until it is read.
    bool versionKnown = false;
};

// How an operation ended. The text is for the player: why it failed, or a
// note on success ("No effect found on pedal"); empty when there is nothing
// to say (a link that ended has said so itself).
struct SessionResult {
    enum class Status {
        Done,
        Cancelled,   // the player said no
        NotLinked,   // no pedal could be linked
        PedalFailed, // the pedal did not answer, refused, or went away
        BadInput,    // an unknown effect, an unusable image or file
    };
    Status status = Status::Done;
    QString text;

    bool ok() const { return status == Status::Done; }
    static SessionResult done(QString note = {}) { return {Status::Done, std::move(note)}; }
    static SessionResult failed(QString why, Status status = Status::PedalFailed) {
        return {status, std::move(why)};
    }
    static SessionResult cancelled(QString note = {}) {
        return {Status::Cancelled, std::move(note)};
    }
};
using SessionDone = std::function<void(const SessionResult& result)>;

class PedalSession : public QObject {
    Q_OBJECT

public:
    // How long the pedal may take to say "Upload complete" once the image
    // is written; it stores an image in well under a second.
    static constexpr int UploadConfirmLimitMs = 10000;
    // How long the pedal takes after Go to start its new firmware and
    // answer; then its version is read.
    static constexpr int FirmwareRestartMs = 2000;
    // No bank is chosen: the preset slot.
    static constexpr int PresetSlot = -1;

    explicit PedalSession(Connection& connection, QObject* parent = nullptr);
    ~PedalSession() override;

    Connection& connection() { return connection_; }
    const Connection& connection() const { return connection_; }
    const Catalogue& catalogue() const { return catalogue_; }
    ParameterModel& parameters() { return parameters_; }
    const ParameterModel& parameters() const { return parameters_; }
    EditHistory& history() { return history_; }
    const EditHistory& history() const { return history_; }

    const StoredEffect& storedEffect() const { return stored_; }
    // Get stored effect has answered since the start.
    bool firmwareKnown() const { return firmwareKnown_; }
    bool bankMode() const { return bankMode_; }
    // The bank an upload goes to in FX bank mode (0..2).
    int bank() const { return bank_; }
    std::optional<int> midiChannel() const { return midiChannel_; }
    // The last parameter state read from the pedal.
    const std::optional<ParameterState>& pedalState() const { return pedalState_; }
    // A firmware image is being written.
    bool upgrading() const { return upgrading_; }
    bool live() const { return live_; }
    // Upgrade Mode is checked: the next Link looks for the bootloader.
    bool upgradeArmed() const { return upgradeArmed_; }
    bool uploadPending() const { return static_cast<bool>(pending_); }
    // Frames the player confirmed that wait for the running exchange.
    int framesWaiting() const { return static_cast<int>(waiting_.size()); }

    // The image built from an impulse response for an effect; empty when none.
    QString impulseResponseImage(const QString& effect) const { return irImages_.value(effect); }
    void setImpulseResponseImage(const QString& effect, const QString& image);

    // An effect is open for editing (the model holds it and the player has
    // not put it away).
    bool effectOpen() const { return effectOpen_ && parameters_.isLoaded(); }
    // The effect open for editing is the one stored on the pedal: values,
    // routing and flags only mean something for it.
    bool showsStoredEffect() const;
    // The open effect's state has been read from the pedal.
    bool stateRead() const { return showsStoredEffect() && parameters_.stateRead(); }
    // The pedal runs edits of the open effect that it has not stored.
    bool unsavedEdits() const { return effectOpen() && history_.unsaved(); }
    // Whether an upload of effect fits where it would go now (FX bank mode
    // takes only images up to the bank's size).
    bool fitsTarget(const QString& effect) const;

    // The link: opens device and identifies the pedal (or, with Upgrade
    // Mode armed, looks for its bootloader). The port's refusal comes back
    // at once; done hears the outcome of the identification.
    PortResult link(const PortDevice& device, SessionDone done = {});
    // Opens device for an operation of its own, without identifying it.
    PortResult open(const PortDevice& device);
    // Ends the link (Live off first); false (and why) while firmware is written.
    bool unlink(QString* why = nullptr);
    // Whether the editor may end now: false (and why) while firmware is
    // written; with edits the pedal could still store, asks whether to store
    // them first (false when the player stays or stores: endLater runs once
    // they are stored).
    bool mayEnd(std::function<void()> endLater, QString* why = nullptr);

    // Get stored effect; the effect is then open for editing.
    void readStoredEffect(SessionDone done = {});
    // Request parameter state of the stored effect, open for editing.
    void requestState(SessionDone done = {});
    // Get stored effect, then Request for the effect found, as the player
    // would click them: it opens live for editing.
    void readStoredEffectAndState(SessionDone done = {});
    // Get stored effect when the stored effect's version is unknown (the
    // pedal reported the effect, or an upload was not read back); done at
    // once when it is known. Files of the effect carry its version.
    void readVersionIfUnknown(SessionDone done);

    // Opens effect for editing: loads its parameters (the history stays
    // while the same effect is opened again). Returns why the effect's
    // descriptor could not be read; empty when it was. effectOpened tells
    // the front ends.
    QString openEffect(const QString& effect);
    // The player put the open effect away.
    void closeEffect();
    // The edit history follows the model's effect: another effect starts a
    // new one.
    void followModel();

    // Uploads effect to the preset slot, or in FX bank mode to the chosen
    // bank, and waits for the pedal's "Upload complete"; with goLive it then
    // reads the stored effect and its state. done hears the end.
    void upload(const QString& effect, bool goLive, SessionDone done = {});
    // The same for an image of the catalogue's format chosen by name, to a
    // bank (0..2) or the preset slot, whatever the mode: kestra-cli.
    void uploadTo(const QString& effect, int bank, SessionDone done = {});
    // A developer's file of hex text, sent as it is.
    void uploadBytes(const QByteArray& bytes, SessionDone done = {});

    // One frame for the application: sent now, or after the exchange that
    // runs. False (and why) when the application cannot hear it.
    bool send(const HexFrame& frame, QString* why = nullptr);
    // Edits of the player's: sent as send() does; a refusal is told.
    void sendEdits(const std::vector<HexFrame>& frames);
    // The player's edits of the open effect: through the history into the
    // model, and what they give to the pedal; edited tells.
    void edit(const std::vector<Edit>& edits);
    void undo();
    void redo();
    // Routes item to control, or with none takes it off, by the routing
    // rules (one step each edit they give); false when they refuse.
    bool route(const RoutedItem& item, std::optional<PedalControl> control);
    // Asks, then sends the routing of the open effect.
    void assign(SessionDone done = {});
    void storeSettings(SessionDone done = {});
    // The player chose a mode: FX bank mode starts a new selection, so edits
    // not stored are offered to be stored first.
    void chooseMode(bool bank);
    void selectBank(int bank);
    // The mode the player chose in an earlier run, as the settings file says.
    void restoreMode(bool bank);
    void setMidiChannel(int channel);
    void setLive(bool on);
    // Asks whether to store unsaved edits before they are left behind: Yes
    // stores them first, No leaves them, Cancel stays. proceed runs unless
    // the player stays (or storing fails). False when the player stays.
    bool confirmLeavingEdits(std::function<void()> proceed);
    // A configuration the player loaded: into the model, and what changed
    // to the pedal.
    void sendConfiguration(const Configuration& configuration);
    // A preset file's text (as presetFileText gives it), checked against the
    // stored effect, its version read first when unknown, and applied. A
    // preset of another effect the catalogue holds is offered to be uploaded
    // first (where Upload puts it, read back live), then applied: one step.
    void loadConfiguration(const QString& text, SessionDone done);

    // Upgrade Mode from the menu while nothing is linked: arms or disarms
    // the next Link.
    void toggleUpgradeArmed();
    // Bypass on, the player's question to hold B2, the pause the pedal
    // needs after Bypass, then Enter bootloader and the handshake.
    void enterBootloader(SessionDone done = {});
    // Leaves Upgrade Mode: the link ends, the bootloader listens on.
    void leaveBootloader(SessionDone done = {});
    // Writes the firmware image of that name through the listening
    // bootloader, after the player's answer to what it will do; progress
    // hears each step.
    void upgradeFirmware(const QString& imageName, UpgradeProgress progress, SessionDone done);
    // Erases the pedal's settings; both memories, read back afterwards,
    // come as eepromDump.
    void eraseSettings(SessionDone done = {});
    // Reads the 16,384 bytes of the settings EEPROM at i2cAddress ("50", "51").
    void readEeprom(const QString& i2cAddress,
                    std::function<void(const SessionResult&, const QByteArray&)> done);

signals:
    // The stored effect, its version or the firmware version changed.
    void storedEffectChanged();
    // An effect was opened for editing; caption is what its window shows,
    // fromPedal when the pedal reported it.
    void effectOpened(const QString& effect, const QString& caption, bool fromPedal);
    // The state read from the pedal is in the model.
    void stateApplied();
    // The player's edit, an undo or a redo changed the model.
    void edited();
    // A parameter moved because the pedal said so.
    void parameterMoved(int parameter);
    // The mode changed (the player's choice, or the pedal's): the editor's
    // mode setting follows.
    void modeChanged(bool bank, bool byPlayer);
    void bankChanged(int bank);
    void midiChannelChanged(std::optional<int> channel);
    void liveChanged(bool on);
    // What an upload is doing, for a status line.
    void uploadStatus(const QString& text);
    void editsChanged();
    // The settings memory's contents, as the pedal sent them or erasing read
    // them back.
    void eepromDump(const QByteArray& bytes);
    // Anything the enabled states derive from may have changed.
    void situationChanged();

private:
    struct PendingUpload {
        bool written = false;
        bool confirmed = false;
        bool goLive = false;
        // The catalogue's effect on its way; empty for a developer's file.
        QString effect;
        SessionDone done;
    };

    void onStateChanged(Connection::State state);
    void onMessage(const FramedMessage& message);
    void takeStoredEffect(const Outcome<StoredEffectReply>& outcome, SessionDone done);
    void openReportedEffect(int effectNumber);
    void applyPedalMode(const ParameterState& state);
    void applyMode(bool bank, bool byPlayer);
    void goLive(SessionDone done);
    // The preset text checked against the stored, open effect and applied.
    void applyConfigurationText(const QString& text, const SessionDone& done);
    void startUpload(const QString& effect, const QString& bankCommand, bool goLive,
                     SessionDone done);
    void onUploadWritten(const ExchangeResult& result);
    void onUploadConfirmed();
    void finishUpload(const SessionResult& result);
    void onArmedHandshake(const ExchangeResult& result, bool firstSync, SessionDone done);
    void flushFrames();
    void dropFrames(const QString& why);
    void readWhenIdle();
    // editsChanged when the marker or what may be undone changed.
    void tellEdits();

    Connection& connection_;
    Catalogue catalogue_;
    ParameterModel parameters_;
    EditHistory history_{parameters_};
    QString historyEffect_;
    // Unsaved, can undo, can redo, as last told.
    std::array<bool, 3> toldEdits_{};
    bool effectOpen_ = false;

    StoredEffect stored_;
    bool firmwareKnown_ = false;
    bool bankMode_ = false;
    int bank_ = 0;
    std::optional<int> midiChannel_;
    bool live_ = false;
    bool upgradeArmed_ = false;
    bool upgrading_ = false;
    // The last try failed at Go with its firmware verified: the new firmware
    // may run, and the next try asks the application first.
    bool startUnconfirmed_ = false;
    std::optional<ParameterState> pedalState_;
    bool bootloaderListened_ = false; // in the last state the connection reported
    // A status text named another effect: Get stored effect reads its
    // version once the link is free.
    bool storedReadDue_ = false;
    QHash<QString, QString> irImages_;

    std::optional<PendingUpload> pending_;
    std::unique_ptr<ClockTimer> uploadDeadline_;
    std::unique_ptr<ClockTimer> restartWait_;
    // Frames the player confirmed while an exchange ran: sent after it.
    std::deque<HexFrame> waiting_;
};

} // namespace kestra
