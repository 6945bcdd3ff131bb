// Every backend the programs can talk through, built once, and the rule that
// picks the one in use: the command line first, then the player's choice in
// the Connection menu, then what is installed and attached.
#pragma once

#include "port/ChosenPort.h"
#include "port/D2xxLibrary.h"
#include "port/D2xxPort.h"
#include "port/SerialPort.h"
#include "port/VirtualPort.h"

#include <QStringList>
#include <optional>

namespace kestra {

// What the command line of either program says about the backend.
struct BackendOptions {
    bool virtualPedal = false; // --virtual
    QString serialPath;        // --port PATH
};

// Takes --virtual and --port PATH (or --port=PATH) out of arguments, leaving
// the rest; nothing, and why, when they make no sense.
std::optional<BackendOptions> takeBackendOptions(QStringList& arguments, QString* error);
// The two options, for a program's help text.
QString backendOptionsHelp();

class Backends {
public:
    // With remember, the choice picked in the Connection menu is read at start
    // and written when the player picks again (the editor); kestra-cli
    // neither reads nor writes it, so a script never follows a menu entry.
    Backends(BackendOptions options, bool remember);

    ChosenPort& port() { return port_; }
    VirtualPort& virtualPedal() { return virtual_; }
    Backend backend() const { return port_.backend(); }
    // Why the backend in use was chosen, for the log.
    const QString& reason() const { return reason_; }
    // The virtual pedal is in use because it was asked for or picked.
    bool virtualChosen() const { return options_.virtualPedal || virtualRemembered_; }

    // Chooses again from what is attached now, so Scan finds a pedal
    // plugged in after the start; nothing changes while a device is open.
    // True when the backend changed.
    bool chooseAgain();
    // The player's pick in the Connection menu: the virtual pedal or the USB
    // port. Refused (false) while a device is open. When the pick cannot be
    // remembered it still holds for this run and saveError says why.
    bool pick(bool virtualPedal, QString* saveError = nullptr);

private:
    BackendOptions options_;
    bool remember_;
    bool virtualRemembered_ = false;
    D2xxLibrary library_;
    D2xxPort d2xx_{library_};
    SerialPort serial_;
    VirtualPort virtual_;
    ChosenPort port_{d2xx_, serial_, virtual_};
    QString reason_;
};

} // namespace kestra
