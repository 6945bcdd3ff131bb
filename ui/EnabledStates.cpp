#include "ui/EnabledStates.h"

namespace kestra {

EnabledStates enabledStates(const EditorSituation& s) {
    using State = Connection::State;
    const bool closed = s.link == State::Unlinked || s.link == State::Lost;
    // The application listens and nothing else runs: every control that
    // talks to it may be used.
    const bool linked = s.link == State::Linked;
    const bool stored = linked && s.showsStoredEffect;
    const bool live = stored && s.stateRead;

    EnabledStates e;
    e.scan = closed;
    e.link = closed;
    // Unlink also ends an exchange that hangs, but never a firmware write.
    e.unlink = !closed && s.link != State::Upgrading;
    e.chooseBackend = closed;

    e.upload = linked && s.effectSelected && s.selectionUploadable;
    e.getStoredEffect = linked;
    e.request = stored;
    e.assign = live && !s.assignResting;
    e.storeSettings = live;
    e.effectInfo = s.effectSelected;
    e.banks = s.bankMode;
    e.live = live;

    e.loadConfiguration = live;
    e.saveConfiguration = live;
    e.loadImpulseResponse = s.impulseResponseEffect;
    e.midi = linked;
    e.mode = linked;
    // Arms the next Link when closed, enters or leaves the bootloader when
    // linked; never in the middle of an exchange.
    e.upgradeMode = closed || linked || s.link == State::Bootloader;
    e.upgradeModeChecked =
        s.upgradeArmed || s.link == State::Bootloader || s.link == State::Upgrading;
    e.startUpgrade = s.link == State::Bootloader;
    e.eraseSettings = linked;
    e.eepromTools = linked;

    e.upgradeChoice = s.link != State::Upgrading && !s.upgrading;
    e.upgradeFirmware = s.link == State::Bootloader && s.firmwareChosen && !s.upgrading;
    e.parameters = live;
    // In FX bank mode the pedal toggles bypass with FS and steps banks with FL.
    e.footswitchRouting = live && !s.bankMode;
    // Undo and redo send frames, as the edits did.
    e.undo = live && s.canUndo;
    e.redo = live && s.canRedo;
    // A backup reads the application's answers; a restore uploads.
    // Nothing to update to until the check finds a newer version; never
    // while firmware is written.
    e.updateNow = s.newerVersion && s.link != State::Upgrading && !s.upgrading;
    // The virtual pedal can be touched whatever the link does: SAVE is held
    // before Link looks for the bootloader, and let go while it listens. It
    // picks no other effect while its firmware is written.
    e.frontPanel = s.virtualPedal;
    e.pedalEffectChoice = s.virtualPedal && s.link != State::Upgrading && !s.upgrading;
    e.backup = linked;
    e.restore = linked;
    return e;
}

} // namespace kestra
