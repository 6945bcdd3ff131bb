// The main window's pedal operations: the stored effect, Request, Assign,
// Store Settings and Erase Settings, the modes, the MIDI channel, live mode,
// and the effect info window.
#include "core/DebugLog.h"
#include "core/Settings.h"
#include "protocol/HexText.h"
#include "ui/ConsoleWindow.h"
#include "ui/EffectInfoWindow.h"
#include "ui/MainWindow.h"
#include "ui/ParameterWindow.h"
#include "ui/widgets/Accessible.h"
#include "ui/widgets/Placement.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

namespace kestra {

namespace {
// Assign stays disabled this long after each use.
constexpr int AssignLockoutMs = 100;

} // namespace

// ---------------------------------------------------------------------------
// The stored effect

void MainWindow::readStoredEffectThen(std::function<void()> then) {
    QString why;
    const bool started =
        connection_.run(readStoredEffect([this, then](const Outcome<StoredEffectReply>& outcome) {
                            takeStoredEffect(outcome);
                            if (then)
                                then();
                        }),
                        &why);
    if (!started)
        Dialogs::instance().error(why);
}

void MainWindow::onGetStoredEffect() {
    readStoredEffectThen({});
}

void MainWindow::takeStoredEffect(const Outcome<StoredEffectReply>& outcome) {
    if (!outcome.ok()) {
        if (!outcome.error.isEmpty())
            Dialogs::instance().error(outcome.error);
        return;
    }
    const StoredEffectReply& reply = *outcome.value;
    stored_.number = reply.effectNumber;
    stored_.version = reply.effectVersion;
    stored_.firmwareVersion = reply.firmwareVersion;
    debugLog(QStringLiteral("effect number DEC: %1").arg(reply.effectNumber));
    debugLog(QStringLiteral("effect number HEX: ") +
             hex8(static_cast<std::uint32_t>(reply.effectNumber)));
    debugLog(QStringLiteral("effect version: %1").arg(reply.effectVersion));
    debugLog(QStringLiteral("firmware version: %1").arg(reply.firmwareVersion));
    firmwareVersion_->setText(QStringLiteral("Firmware Version: %1").arg(reply.firmwareVersion));
    firmwareKnown_ = true;
    refreshLinkIndicator();
    if (reply.empty) {
        stored_.name.clear();
        parameters_.forgetState();
        refreshEnabledStates();
        Dialogs::instance().message(QStringLiteral("No effect found on pedal"));
        return;
    }
    QString error;
    const std::optional<QString> name = catalogue_.effectName(reply.effectNumber, &error);
    if (!name) {
        stored_.name.clear();
        parameters_.forgetState();
        refreshEnabledStates();
        Dialogs::instance().error(error);
        return;
    }
    stored_.name = *name;
    debugLog(QStringLiteral("effetto ottenuto dalla lista: ") + stored_.name);
    selectEffect(stored_.name, false);
    showStoredEffectInLists();
    request_->setFocus();
}

void MainWindow::openReportedEffect(int effectNumber) {
    QString error;
    const std::optional<QString> name = catalogue_.effectName(effectNumber, &error);
    if (!name) {
        Dialogs::instance().error(error);
        return;
    }
    // The status text carries no version: the last one known stays.
    stored_.number = effectNumber;
    stored_.name = *name;
    debugLog(QStringLiteral("effetto ottenuto dalla lista: ") + stored_.name);
    selectEffect(stored_.name, false);
    showStoredEffectInLists();
    request_->setFocus();
}

// ---------------------------------------------------------------------------
// Request, Assign, Store, Erase

void MainWindow::onRequest() {
    requestStateThen({});
}

void MainWindow::requestStateThen(std::function<void(bool read)> then) {
    if (!showsStoredEffect(true)) {
        if (then)
            then(false);
        return;
    }
    // The answer belongs to the effect shown now; a window rebuilt for
    // another effect meanwhile must not take it.
    const quint64 generation = parameters_.generation();
    QString why;
    const bool started = connection_.run(
        requestParameterState(parameters_.parameterCount(), parameters_.readbackCount(),
                              [this, generation, then](const Outcome<ParameterState>& outcome) {
                                  bool read = false;
                                  if (!outcome.ok()) {
                                      if (!outcome.error.isEmpty())
                                          Dialogs::instance().error(outcome.error);
                                  } else if (parameters_.generation() != generation) {
                                      debugLog(QStringLiteral(
                                          "the answer to Request belongs to an effect no "
                                          "longer shown; nothing was applied"));
                                  } else {
                                      parameters_.apply(*outcome.value);
                                      applyPedalMode(*outcome.value);
                                      showMidiChannel(outcome.value->midiChannel);
                                      if (bankMode_)
                                          parameters_.fixFootswitchesForBank();
                                      if (parameterWindow_) {
                                          parameterWindow_->showAll();
                                          parameterWindow_->markSaved();
                                      }
                                      read = true;
                                  }
                                  refreshEnabledStates();
                                  if (then)
                                      then(read);
                              }),
        &why);
    if (!started) {
        Dialogs::instance().error(why);
        if (then)
            then(false);
    }
}

void MainWindow::applyPedalMode(const ParameterState& state) {
    if (!state.bankMode)
        return;
    if (*state.bankMode) {
        debugLog(QStringLiteral("Mode: Bank"));
        setBankMode(true, true);
        selectBank(state.bankOrPresetNumber);
        debugLog(QStringLiteral("Bank Num: %1").arg(state.bankOrPresetNumber));
    } else {
        debugLog(QStringLiteral("Mode: Preset"));
        setBankMode(false, true);
        debugLog(QStringLiteral("Preset Num: %1").arg(state.bankOrPresetNumber));
    }
}

void MainWindow::showMidiChannel(std::optional<int> channel) {
    const QList<QAction*> entries = midiChannel_->actions();
    for (QAction* entry : entries)
        entry->setChecked(false);
    if (channel && *channel >= 0 && *channel < entries.size())
        entries[*channel]->setChecked(true);
    debugLog(QStringLiteral("MIDI channel: %1").arg(channel.value_or(-1)));
}

void MainWindow::onAssign() {
    const HexFrame frame = parameters_.assignFrame();
    debugLog(frame.text);
    if (!Dialogs::instance().confirm(QStringLiteral("Assign parameters?")))
        return;
    connection_.send(frame);
    assignLockout_->start(AssignLockoutMs);
    refreshEnabledStates();
}

void MainWindow::onStoreSettings() {
    storeSettingsThen({});
}

void MainWindow::storeSettingsThen(std::function<void(bool stored)> then) {
    const HexFrame frame = frames::storeSettings(parameters_.parameterCount());
    debugLog(QStringLiteral("Store settings message (HEX): ") + frame.text);
    QString why;
    const bool started = connection_.run(
        frameExchange(QStringLiteral("Store Settings On Pedal"), frame,
                      [this, then](const ExchangeResult& result) {
                          if (const QString m = failureMessage(result); !m.isEmpty())
                              Dialogs::instance().error(m);
                          if (result.completed() && parameterWindow_)
                              parameterWindow_->markSaved();
                          if (then)
                              then(result.completed());
                      }),
        &why);
    if (!started) {
        Dialogs::instance().error(why);
        if (then)
            then(false);
    }
}

void MainWindow::onEraseSettings() {
    if (!Dialogs::instance().confirm(
            QStringLiteral(
                "Are you sure you want to delete all settings?\r\nThis action will delete the "
                "current stored algorithm and any other settings like presets and "
                "assignments\r\nErase settings is suggested in the following cases:\r\n- the "
                "pedal is unresponsive/freezed after updates\r\n- unexpected behaviour or bugs "
                "which afflicts the pedal functionalities\r\n- you want to switch to the "
                "Brantwell pedal"),
            Dialogs::Default::No))
        return;
    offerBackupThen(QStringLiteral("erasing its settings"), [this] { startErase(); });
}

void MainWindow::startErase() {
    QString why;
    const bool started = connection_.run(
        eraseSettings([this](const Outcome<std::pair<QByteArray, QByteArray>>& outcome) {
            if (!outcome.ok()) {
                if (!outcome.error.isEmpty())
                    Dialogs::instance().error(outcome.error);
                return;
            }
            if (!console_)
                return;
            console_->showEepromDump(outcome.value->first);
            console_->showEepromDump(outcome.value->second);
        }),
        &why);
    if (!started)
        Dialogs::instance().error(why);
}

// ---------------------------------------------------------------------------
// Modes, MIDI channel, live mode

void MainWindow::setBankMode(bool bank, bool fromPedal) {
    bankMode_ = bank;
    writeModeFile();
    presetMode_->setChecked(!bank);
    bankModeAction_->setChecked(bank);
    if (bank) {
        bankButtons_->button(0)->setChecked(true);
        // A mode chosen by the player starts a new selection; the pedal's
        // own mode, read by Request, leaves the window as it is.
        if (!fromPedal) {
            closeParameterWindow();
            categories_->clearSelection();
            categories_->setCurrentRow(-1);
            effects_->clear();
            selectedEffect_.clear();
            selectionUploadable_ = false;
        }
    }
    refreshEnabledStates();
}

void MainWindow::selectBank(int index) {
    if (QAbstractButton* radio = bankButtons_->button(index))
        radio->setChecked(true);
}

void MainWindow::createMidiChannelMenu() {
    QStringList names{QStringLiteral("OMNI")};
    for (int channel = 1; channel <= 16; ++channel)
        names.append(QString::number(channel));
    for (const QString& name : names) {
        QAction* entry = midiChannel_->addAction(name);
        entry->setCheckable(true);
        connect(entry, &QAction::triggered, this, [this, entry] {
            // The check marks show what the pedal reported, not the click.
            entry->setChecked(!entry->isChecked());
            onMidiChannelChosen(entry);
        });
    }
}

void MainWindow::onMidiChannelChosen(QAction* entry) {
    const QString text = entry->text();
    debugLogNoScroll(QStringLiteral("Midi channel: ") + text);
    connection_.send(frames::midiChannel(text == QLatin1String("OMNI") ? 0 : text.toInt()));
}

void MainWindow::setLiveText(bool on) {
    liveLabel_->setText(on ? QStringLiteral("Live ON") : QStringLiteral("Live OFF"));
    live_->setAccessibleName(liveLabel_->text());
    if (!on && live_->isChecked()) {
        const QSignalBlocker quiet(live_);
        live_->setChecked(false);
    }
}

void MainWindow::onLiveToggled(bool on) {
    setLiveText(on);
    connection_.send(frames::liveMode(on));
}

void MainWindow::switchLiveOff() {
    setLiveText(false);
    connection_.send(frames::liveMode(false));
}

// ---------------------------------------------------------------------------
// Effect info

void MainWindow::onEffectInfo() {
    showEffectInfo();
}

void MainWindow::showEffectInfo() {
    if (!effectInfo_)
        return;
    effectInfo_->showEffect(selectedEffect_);
    if (parameterWindow_ && parameterWindow_->isVisible())
        moveBeside(effectInfo_, parameterWindow_);
    else
        moveBeside(effectInfo_, this);
}

} // namespace kestra
