// The main window's side of the parameter editor: the stored effect and its
// parameter window, the Request flow, Assign, and the effect info window.
#include "app/TformMain.h"
#include "catalogue/ResourceNames.h"
#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/Prompts.h"
#include "editor/TformFXParameters.h"
#include "operations/FXInfo.h"
#include "protocol/CommandFrames.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

namespace kestra {

namespace {
constexpr int AssignLockoutMs = 100;
}

void TformMain::setParameterWindow(TformFXParameters* window) {
    formFXParameters_ = window;
    connect(window, &TformFXParameters::closed, this, [this] {
        btnRequest->setEnabled(false);
        btnAssign->setEnabled(false);
    });
    connect(window, &TformFXParameters::itemsSet, this, [this] { btnRequest->setEnabled(true); });
}

void TformMain::closeParameterWindow() {
    if (formFXParameters_ && formFXParameters_->isVisible())
        formFXParameters_->close();
}

void TformMain::openParameterWindow(const QString& caption) {
    if (!formFXParameters_)
        return;
    closeParameterWindow();
    formFXParameters_->move(frameGeometry().right() + 1, frameGeometry().top());
    formFXParameters_->show();
    formFXParameters_->setWindowTitle(caption);
    formFXParameters_->fitToRows();
}

void TformMain::btnOpenEffectClick() {
    getStoredEffect();
    btnOpenEffect->setEnabled(true);
}

bool TformMain::identifyStoredEffect() {
    lists_.read_file_from_stream(QString::fromLatin1(EffectListResource));
    const QString row = lists_.categoryList.value(state_.storedEffectNumber);
    debugLog(row);
    const auto name = effectNameOfRow(lists_.categoryList, state_.storedEffectNumber);
    if (!name || state_.storedEffectNumber == 0) {
        Prompts::instance().error(
            QStringLiteral("The pedal holds effect number %1, which this editor's catalogue does "
                           "not know, so it cannot be opened.\n\nUpdate the editor, or upload an "
                           "effect from the catalogue.")
                .arg(state_.storedEffectNumber));
        return false;
    }
    state_.storedEffectName = *name;
    debugLog(QStringLiteral("effetto ottenuto dalla lista: ") + state_.storedEffectName);
    state_.selectedEffectName = state_.storedEffectName;
    state_.selectedIsStored = true;
    btnRequest->setEnabled(true);
    btnRequest->setFocus();
    return true;
}

void TformMain::findStoredEffectCategory() {
    for (int c = 0; c < static_cast<int>(Categories.size()); ++c) {
        lstEffects->clear();
        lists_.read_file_from_stream(format_resource_name(
            QString::fromLatin1(Categories[static_cast<std::size_t>(c)].displayName)));
        if (search_effect_name(c)) {
            get_effects_name();
            // The row is selected once the list holds it.
            search_effect_name(c);
            return;
        }
    }
    lstEffects->clear();
}

void TformMain::btnGetFXInfoClick() {
    showDescription();
}

void TformMain::showDescription() {
    if (!formFXInfo_)
        return;
    if (formFXInfo_->isVisible())
        formFXInfo_->close();
    if (formFXParameters_ && formFXParameters_->isVisible())
        formFXInfo_->move(formFXParameters_->frameGeometry().right() + 1,
                          formFXParameters_->frameGeometry().top());
    formFXInfo_->show();
    formFXInfo_->showEffect(state_.selectedEffectName);
}

void TformMain::btnRequestClick() {
    if (requestParameterState()) {
        menuLoadConfiguration->setEnabled(true);
        menuSaveConfiguration->setEnabled(true);
    }
}

bool TformMain::requestParameterState() {
    if (!formFXParameters_ || !formFXParameters_->hasParameterRows())
        return false;
    Timer_USB_read.stop();
    btnRequest->setEnabled(false);
    // The window sends, waits, decodes and fills its controls, holding
    // requestInProgress; on a failure it has told the user why.
    const std::optional<ParameterState> received = formFXParameters_->requestParameterState();
    btnRequest->setEnabled(true);
    if (received) {
        state_.requestInProgress = true;
        receive_mode(*received);
        receiveMidiChannel(received->midiChannel.value_or(-1));
        state_.requestInProgress = false;
        btnAssign->setEnabled(true);
        btnStoreSettingsOnPedal->setEnabled(true);
        formFXParameters_->EnableDisableControls(true);
        formFXParameters_->EnableRevCheckBoxes();
    }
    if (state_.linked)
        Timer_USB_read.start();
    if (received) {
        lblLive->setEnabled(true);
        formFXParameters_->DisableBypassAndPresetAssignInBankMode();
    }
    return received.has_value();
}

void TformMain::receive_mode(const ParameterState& received) {
    if (!received.bankMode)
        return;
    if (*received.bankMode) {
        debugLog(QStringLiteral("Mode: Bank"));
        SetBankMode();
        selectBankRadio(received.bankOrPresetNumber);
        debugLog(QStringLiteral("Bank Num: %1").arg(received.bankOrPresetNumber));
    } else {
        debugLog(QStringLiteral("Mode: Preset"));
        SetPresetMode();
        debugLog(QStringLiteral("Preset Num: %1").arg(received.bankOrPresetNumber));
    }
}

void TformMain::receiveMidiChannel(int channel) {
    const QList<QAction*> entries = menuMIDIchannel->actions();
    for (QAction* entry : entries)
        entry->setChecked(false);
    if (channel >= 0 && channel < entries.size())
        entries[channel]->setChecked(true);
    debugLog(QStringLiteral("MIDI channel: %1").arg(channel));
}

void TformMain::btnAssignClick() {
    if (!formFXParameters_ || !formFXParameters_->hasParameterRows())
        return;
    const HexFrame frame = formFXParameters_->assignFrame();
    debugLog(frame.text);
    if (!Prompts::instance().confirm(QStringLiteral("Assign parameters?")))
        return;
    sendFrame(transport_, frame);
    btnAssign->setEnabled(false);
    Clock::instance().pause(AssignLockoutMs);
    btnAssign->setEnabled(true);
}

} // namespace kestra
