// What must hold after every step of the soak, as checks over what can be
// seen from outside the editor: the controls, the pedal's own log and the
// dialogs. Each returns the broken rules as sentences; empty when all hold.
#pragma once

#include "ui/EnabledStates.h"

#include <QString>
#include <QStringList>
#include <map>

namespace kestra::soak {

// The enabled state of each control the player sees, by its name.
using ObservedStates = std::map<QString, bool>;

// Names of the controls the soak observes, each tied to the state that
// rules it. A control that is missing from observed is not checked.
// Assign may stay disabled a moment after a click (one click, one frame),
// so for it only "enabled although it should not be" is a fault.
QStringList enabledStateBreaks(const EnabledStates& implied, const ObservedStates& observed);

// Writes the ROM bootloader read must not be application frames: each
// frame the editor sends to the application, whole, as one write (the
// bootloader's own units are split and joined freely, so only the frames
// are recognised, by their exact bytes or, for a knob's frame and Assign,
// by their command and length).
QStringList bootloaderWriteBreaks(const QStringList& hexWrites);

// Values read from the pedal are only ever shown for the effect they were
// read for: the parameter window's effect is the stored effect's.
QStringList parameterWindowBreaks(bool stateRead, const QString& windowEffect,
                                  const QString& storedEffect);

// Messages the player sees are the editor's own, never a driver's raw text.
QStringList dialogBreaks(const QStringList& shown);

// What the pedal session and the pedal hold once a step has run.
struct SessionFacts {
    // The bytes each bank of the pedal holds, by the bank's name.
    std::map<QString, int> bankImageBytes;
    bool idle = false;   // linked to the application, nothing runs
    bool closed = false; // unlinked or lost
    bool uploadPending = false;
    int framesWaiting = 0; // frames the player confirmed, not yet sent
    // The stored effect as the session holds it, and as the pedal does.
    bool versionKnown = false;
    int storedNumber = 0;
    int storedVersion = 0;
    int pedalNumber = 0;
    int pedalVersion = 0;
};

// No bank holds more than a bank takes; a read version is the pedal's;
// every confirmed frame goes out (or was told) once nothing runs; nothing
// pending outlives the link.
QStringList sessionBreaks(const SessionFacts& facts);

} // namespace kestra::soak
