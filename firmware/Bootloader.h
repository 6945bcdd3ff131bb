// Talking to the pedal's ROM bootloader (STM32 USART protocol, AN3155)
// through the connection: entering it, finding it again at whatever step it
// was left, knowing the chip and the installed version, and the steps of a
// firmware upgrade. Every reply is awaited with a time limit, and a step
// that is not acknowledged stops the exchange: going on after a refused
// write would leave a firmware with holes in it.
#pragma once

#include "connection/Connection.h"
#include "connection/Exchange.h"
#include "firmware/FirmwareImage.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace kestra {

// How long the bootloader may take to answer. The global erase is its
// slowest step, 40 ms at most on this part.
inline constexpr int BootloaderReplyTimeLimitMs = 5000;
// A ROM waiting for a command answers a sync byte at once; silence this long
// means it took the byte for part of a command.
inline constexpr int SyncProbeTimeLimitMs = 100;
// More bytes than a ROM can still be collecting for a command it was given
// (a Write Memory's count, 256 data bytes and checksum), and how long their
// answers take to come in.
inline constexpr int ResyncFillBytes = 260;
inline constexpr int ResyncQuietMs = 100;
// The bridge's latency timer while the image is written and read back: the
// least it takes, so that each of the many short answers waits 2 ms at most
// in the bridge instead of the link's usual 4.
inline constexpr int UpgradeLatencyTimerMs = 2;
// Get ID's answer on the pedal's chip (STM32F10x medium density).
inline constexpr std::uint16_t PedalProductId = 0x0410;

// The Enter bootloader frame (the pedal restarts into its ROM while B2 is
// held), then the handshake. Fails with "Connection to bootloader failed"
// when the ROM does not acknowledge; the line is then back at the
// application's settings.
Exchange enterBootloader(std::function<void(const ExchangeResult&)> done);

// The handshake alone, for a pedal already in its bootloader (Link while
// Upgrade Mode is checked). A ROM waiting for its sync byte answers at once:
// Link waits only SyncProbeTimeLimitMs before it looks for one left at
// another step.
Exchange bootloaderHandshake(std::function<void(const ExchangeResult&)> done,
                             int timeLimitMs = BootloaderReplyTimeLimitMs);

// Brings a ROM bootloader back to waiting for a command, whatever it was
// doing: a sync byte, taking ACK or NACK as in step; after silence a second
// one, which completes a command byte the first one began; after silence
// again, fill bytes that complete any command argument the ROM is still
// collecting (0xFF: no argument they complete is ever carried out, except a
// write of erased cells, which changes nothing), then sync bytes once more.
// Runs from the bootloader's line or the application's (switching to the
// bootloader's). done gets Completed once the ROM answered, Failed
// ("Connection to bootloader failed") when it never did, or Lost/Cancelled.
bool resynchronise(Connection& connection, std::function<void(const ExchangeResult&)> done,
                   QString* why = nullptr);

// What the bootloader told about the pedal before anything is erased.
struct BootloaderFacts {
    int bootloaderVersion = 0; // 0x22 = 2.2
    QByteArray commands;       // the command codes Get lists
    std::uint16_t productId = 0;
    // From the pedal's version record; nothing when it holds none (erased,
    // or an upgrade never completed) or the ROM refused to read it.
    std::optional<int> installedVersion;
    bool readRefused = false; // Read Memory was refused (read protection)
};

// Get and Get ID. Fails, with nothing erased, when the chip is not the
// pedal's or its ROM lacks a command the upgrade uses.
Exchange checkChip(std::shared_ptr<BootloaderFacts> facts,
                   std::function<void(const ExchangeResult&)> done);
// Read Memory of the version record into facts. A refusal fails the
// exchange with facts->readRefused set: the version is then unknown.
Exchange readInstalledVersion(std::shared_ptr<BootloaderFacts> facts,
                              std::function<void(const ExchangeResult&)> done);
// The installed version a version record's eight bytes name, if any.
std::optional<int> versionInRecord(const QByteArray& record);

enum class UpgradePhase {
    Erasing,   // the global erase is sent: from here the firmware is incomplete
    Writing,   // bytes written so far
    Verifying, // bytes read back and found equal so far
};
using UpgradeProgress = std::function<void(UpgradePhase phase, int bytes, int total)>;

// The whole upgrade: the low latency timer, the global erase, every chunk,
// every chunk read back and compared, the version record (read back too),
// Go, and the line and latency timer back to the application's. The version
// record comes last but Go, so that an upgrade that stops anywhere leaves no
// valid record; a difference read back stops it before the record. The
// exchange's failure message names the step and what the bootloader did
// ("the bootloader refused the data of chunk 3 of 162 (NOT ACK)").
// readyToStart is called once the version record has been read back, just
// before Go: from then on the new firmware is whole.
Exchange firmwareUpgrade(const FirmwareChunks& chunks, int version, UpgradeProgress progress,
                         std::function<void(const ExchangeResult&)> done,
                         std::function<void()> readyToStart = {});

// What the player reads when the bootloader did not answer the handshake.
QString bootloaderFailedMessage();
// What the player reads when an upgrade stopped at a step after the erase.
QString upgradeStoppedMessage(const QString& failure);
// ... and when it stopped before anything was erased.
QString upgradeNotStartedMessage(const QString& failure);
// ... and when it stopped at Go, with the new firmware written and verified.
QString upgradeStartUnconfirmedMessage(const QString& failure);
// ... and when the pedal was disconnected during the upgrade.
QString upgradeLostMessage(bool firmwareIncomplete);
// Why Upgrade Firmware does nothing while the bootloader does not listen.
QString notInUpgradeModeMessage();

} // namespace kestra
