// Every enabled state of every window, derived in one place from the link's
// state and what the player has selected. No control's enabled state is read
// back as a flag anywhere: windows compute this and apply it.
#pragma once

#include "connection/Connection.h"

namespace kestra {

struct EditorSituation {
    Connection::State link = Connection::State::Unlinked;
    // An effect is selected in the lists (or identified on the pedal).
    bool effectSelected = false;
    // The selected effect fits where Upload would put it.
    bool selectionUploadable = false;
    // The selected effect takes an impulse response.
    bool impulseResponseEffect = false;
    // The parameter window shows the effect stored on the pedal.
    bool showsStoredEffect = false;
    // Request has read the pedal's state for that effect.
    bool stateRead = false;
    bool bankMode = false;
    // The Firmware Upgrade window has an image chosen.
    bool firmwareChosen = false;
    // A firmware image is being written (from the click, the question
    // included, to the end).
    bool upgrading = false;
    // The update check found a newer editor.
    bool newerVersion = false;
    // Assign rests a moment after each use, so one click sends one frame.
    bool assignResting = false;
    // Upgrade Mode is armed: the next Link looks for the bootloader.
    bool upgradeArmed = false;
    // The parameter window's history has an edit to undo, or one to redo.
    bool canUndo = false;
    bool canRedo = false;
    // The built-in virtual pedal is the backend in use.
    bool virtualPedal = false;
};

struct EnabledStates {
    // Connection menu.
    bool scan = false;
    bool link = false;
    bool unlink = false;
    // Use Virtual Pedal and Use USB Port: the backend changes only while no
    // device is open.
    bool chooseBackend = false;
    // Main window.
    bool upload = false;
    bool getStoredEffect = false;
    bool request = false;
    bool assign = false;
    bool storeSettings = false;
    bool effectInfo = false;
    bool banks = false;
    bool live = false;
    // Menus.
    bool loadConfiguration = false;
    bool saveConfiguration = false;
    bool loadImpulseResponse = false;
    bool midi = false;
    bool mode = false;
    bool upgradeMode = false;
    // Upgrade Mode's check mark: armed, or the bootloader listens.
    bool upgradeModeChecked = false;
    bool startUpgrade = false;
    bool eraseSettings = false;
    // Debug console: Erase EEPROM and Read EEPROM.
    bool eepromTools = false;
    // Firmware Upgrade window: the choice and the button.
    bool upgradeChoice = false;
    bool upgradeFirmware = false;
    // Parameter window: every control; the bypass and preset footswitch
    // boxes (fixed in FX bank mode); a reverse box also needs its
    // parameter to have a source.
    bool parameters = false;
    bool footswitchRouting = false;
    // Parameter window: Undo and Redo (buttons and keys).
    bool undo = false;
    bool redo = false;
    // Info menu: Update Now, which ends the editor as closing it does.
    bool updateNow = false;
    // Pedal picture: the virtual pedal's front panel (its knobs, switches,
    // footswitches, EXP and SAVE), and the effect and bank picked on it.
    bool frontPanel = false;
    bool pedalEffectChoice = false;
    // File menu: Back Up Pedal and Restore from Backup.
    bool backup = false;
    bool restore = false;

    bool operator==(const EnabledStates&) const = default;
};

EnabledStates enabledStates(const EditorSituation& situation);

} // namespace kestra
