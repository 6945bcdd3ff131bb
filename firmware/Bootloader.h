// Talking to the pedal's ROM bootloader (STM32 USART protocol): the
// handshake, and the steps of a firmware upgrade. Every reply is awaited with
// a time limit, and a step that is not acknowledged stops the upgrade: going
// on after a refused write would leave a firmware with holes in it.
#pragma once

#include "firmware/FirmwareImage.h"
#include "port/D2XXUnit.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace kestra {

// Switches the port to even parity, sends Sync and reads one reply byte:
// "79" when the bootloader is there, another byte or empty text otherwise.
QString connectBootloader(D2XXUnit& transport);

// Waits for one reply byte, logs it, returns it as two hex digits (empty
// when none came).
QString readBootloaderReply(D2XXUnit& transport);

// Back to the application's line: parity none (the baud rate stays).
void restoreApplicationPort(D2XXUnit& transport);

class FirmwareWriter {
public:
    explicit FirmwareWriter(D2XXUnit& transport) : transport_(transport) {}

    // Each step returns false, with failure() saying which step and what
    // the bootloader did, when a write fails or the reply is not ACK.
    bool eraseFlash();
    // Write Memory at targetAddress.
    bool sendWriteCommand();
    // progress(i, count) before chunk i is sent.
    bool writeFirmware(const FirmwareChunks& chunks,
                       const std::function<void(int value, int maximum)>& progress = {});
    bool writeVersionRecord(int version);
    bool sendGoCommand();

    std::uint32_t targetAddress = bootloader::FlashStart;
    // What went wrong, e.g. "the bootloader refused the data of chunk 3 of
    // 162 (NOT ACK)".
    const QString& failure() const { return failure_; }

private:
    bool send(const QByteArray& bytes, const QString& what);
    bool sendEachByte(const QByteArray& bytes, const QString& what);
    bool acknowledged(const QString& what);

    D2XXUnit& transport_;
    QString failure_;
    QString chunkName_; // "chunk i of n" while writing, for failure texts
};

} // namespace kestra
