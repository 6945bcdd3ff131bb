// The editor's shared flags and values: one record, owned by the main window,
// read and written directly by every subsystem.
#pragma once

#include <QString>

namespace kestra {

struct EditorState {
    bool linked = false;              // a device is linked for normal use
    bool firmwareUpgradeMode = false; // the editor talks to the bootloader
    bool bankMode = false;            // FX bank mode (false: preset mode)
    bool showUpdateMessage = true;    // the new-version window may open
    bool requestInProgress = false;   // the parameter window sends nothing
    bool selectedIsStored = false;    // the selected effect is the one on the pedal
    QString selectedEffectName;
    QString selectedCategory;
    QString storedEffectName;
    int storedEffectNumber = 0;
    int storedEffectVersion = 0;
    int firmwareVersion = 0;
    QString irEffectImage; // effect image built from an impulse response
    QString deviceSerialNumber;
    QString deviceDescription;
};

} // namespace kestra
