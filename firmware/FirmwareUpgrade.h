// One try of a firmware upgrade, as Upgrade Firmware starts it: find the
// bootloader again at whatever step an earlier try left it, know the chip
// and the installed version, ask the player, then erase, write, read back,
// write the version record and start the new firmware. Nothing is erased
// before the player has said yes, nor when the chip is not the pedal's.
// Each step is an exchange run by the connection; nothing here waits.
#pragma once

#include "connection/Connection.h"
#include "firmware/Bootloader.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace kestra {

struct UpgradeResult {
    enum class Outcome {
        Completed, // written, read back, started
        Declined,  // the player said no: nothing was erased
        Failed,    // a step failed; message says which
        Lost,      // the pedal was disconnected
        Cancelled, // Unlink or the editor closing ended it
    };
    Outcome outcome = Outcome::Completed;
    QString message;
    // The flash was erased in this try: unless it completed, the pedal's
    // firmware is incomplete.
    bool erased = false;
    // Written and read back whole: only the start of the new firmware is
    // unconfirmed when it did not complete.
    bool verified = false;
};

// What the player reads when a try failed.
QString upgradeFailureMessage(const UpgradeResult& result);

struct UpgradeHooks {
    // Asked once the chip is known, before anything is erased; false stops.
    std::function<bool(const BootloaderFacts& facts)> confirm;
    UpgradeProgress progress;
    std::function<void(const UpgradeResult& result)> finished;
    // The last try failed at Go after the firmware was verified: the new
    // firmware may be running. The try then first asks the application, at
    // its own line settings, and sends the bootloader's bytes only when it
    // does not answer.
    bool applicationMayRun = false;
};

// Starts a try on a pedal whose bootloader listens (the connection is in
// its Bootloader state); false, and why, otherwise. hooks.finished is called
// once, whatever the outcome.
bool startFirmwareUpgrade(Connection& connection, const QByteArray& image, int version,
                          UpgradeHooks hooks, QString* why = nullptr);

// The question before the erase: the installed and the chosen version, a
// downgrade, and that nothing may interrupt the upgrade.
QString upgradeQuestion(const BootloaderFacts& facts, int version);

// What an upgrade is doing, for the player: the step, the bytes done in it
// and, once there is something to go by, the time left since the erase
// ("Step 1 of 2, writing: 12288 of 41252 bytes, about 7 s left").
QString upgradeProgressText(UpgradePhase phase, int bytes, int total, qint64 elapsedMs);

} // namespace kestra
