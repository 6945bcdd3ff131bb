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
#include "ui/PresetLibraryWindow.h"
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

void MainWindow::onGetStoredEffect() {
    session_.readStoredEffect([this](const SessionResult& result) {
        report(result);
        if (result.ok() && session_.showsStoredEffect())
            request_->setFocus();
    });
}

void MainWindow::onStoredEffectChanged() {
    const StoredEffect& stored = session_.storedEffect();
    if (session_.firmwareKnown())
        firmwareVersion_->setText(
            QStringLiteral("Firmware Version: %1").arg(stored.firmwareVersion));
    if (presetLibrary_)
        presetLibrary_->setStoredEffect(stored.name.isEmpty() ? 0 : stored.number);
    refreshLinkIndicator();
}

// ---------------------------------------------------------------------------
// Request, Assign, Store, Erase

void MainWindow::onRequest() {
    session_.requestState(report);
}

void MainWindow::showMidiChannel(std::optional<int> channel) {
    const QList<QAction*> entries = midiChannel_->actions();
    for (QAction* entry : entries)
        entry->setChecked(false);
    if (channel && *channel >= 0 && *channel < entries.size())
        entries[*channel]->setChecked(true);
}

void MainWindow::onAssign() {
    session_.assign([this](const SessionResult& result) {
        report(result);
        if (!result.ok())
            return;
        assignLockout_->start(AssignLockoutMs);
        refreshEnabledStates();
    });
}

void MainWindow::onStoreSettings() {
    session_.storeSettings(report);
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

void MainWindow::onModeChanged(bool bank, bool byPlayer) {
    if (const QString error = settings::writeMode(bank); !error.isEmpty())
        Dialogs::instance().error(settings::saveErrorMessage(settings::modeFile(), error));
    presetMode_->setChecked(!bank);
    bankModeAction_->setChecked(bank);
    // A mode chosen by the player for FX banks starts a new selection; the
    // pedal's own mode, read by Request, leaves the window as it is.
    if (bank && byPlayer) {
        closeParameterWindow();
        categories_->clearSelection();
        categories_->setCurrentRow(-1);
        effects_->clear();
        selectedEffect_.clear();
        selectionUploadable_ = false;
    }
    markUploadableEntries();
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
    session_.setMidiChannel(text == QLatin1String("OMNI") ? 0 : text.toInt());
}

void MainWindow::setLiveText(bool on) {
    liveLabel_->setText(on ? QStringLiteral("Live ON") : QStringLiteral("Live OFF"));
    live_->setAccessibleName(liveLabel_->text());
    if (live_->isChecked() != on) {
        const QSignalBlocker quiet(live_);
        live_->setChecked(on);
    }
}

void MainWindow::onLiveToggled(bool on) {
    setLiveText(on);
    session_.setLive(on);
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
