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

// Writes that reached the ROM bootloader must be bootloader traffic: the
// sync byte alone, or units whose bytes XOR to 0x00 (address, data and page
// lists with their checksum) or 0xFF (a command and its complement, a count
// and its complement, the global erase). An application frame is neither.
QStringList bootloaderWriteBreaks(const QStringList& hexWrites);

// Values read from the pedal are only ever shown for the effect they were
// read for: the parameter window's effect is the stored effect's.
QStringList parameterWindowBreaks(bool stateRead, const QString& windowEffect,
                                  const QString& storedEffect);

// Messages the player sees are the editor's own, never a driver's raw text.
QStringList dialogBreaks(const QStringList& shown);

} // namespace kestra::soak
