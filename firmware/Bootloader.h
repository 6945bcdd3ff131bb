// Talking to the pedal's ROM bootloader (STM32 USART protocol) through the
// connection: entering it, the handshake, and the steps of a firmware
// upgrade. Every reply is awaited with a time limit, and a step that is not
// acknowledged stops the exchange: going on after a refused write would leave
// a firmware with holes in it.
#pragma once

#include "connection/Exchange.h"
#include "firmware/FirmwareImage.h"

#include <QString>
#include <functional>

namespace kestra {

// How long the bootloader may take to answer; the global erase is its
// slowest step.
inline constexpr int BootloaderReplyTimeLimitMs = 5000;
// Lets the last write settle before the bootloader is told to jump.
inline constexpr int BeforeGoPauseMs = 10;

// The Enter bootloader frame (the pedal restarts into its ROM while B2 is
// held), then the handshake. Fails with "Connection to bootloader failed"
// when the ROM does not acknowledge; the line is then back at the
// application's settings.
Exchange enterBootloader(std::function<void(const ExchangeResult&)> done);

// The handshake alone, for a pedal already in its bootloader (Link while
// Upgrade Mode is checked).
Exchange bootloaderHandshake(std::function<void(const ExchangeResult&)> done);

// A second sync byte, for a ROM that was left listening (Unlink, or the
// editor closed): it took the handshake's sync byte for the first half of a
// command and stayed silent. This one completes the pair, and the ROM's NACK
// (or the ACK of one that was not in step after all) shows that it waits for
// a command.
Exchange bootloaderResync(std::function<void(const ExchangeResult&)> done);

// What the player reads when the bootloader did not answer the handshake.
QString bootloaderFailedMessage();
// What the player reads when an upgrade stopped at a step.
QString upgradeStoppedMessage(const QString& failure);

// progress(done, total) before each chunk and once at the end.
using UpgradeProgress = std::function<void(int done, int total)>;

// The whole upgrade: erase, every chunk, the version record, Go, and the
// line back to the application's settings. The exchange's failure message
// names the step and what the bootloader did ("the bootloader refused the
// data of chunk 3 of 162 (NOT ACK)").
Exchange firmwareUpgrade(const FirmwareChunks& chunks, int version, UpgradeProgress progress,
                         std::function<void(const ExchangeResult&)> done);

} // namespace kestra
