// The wire timing of the host's bytes: the application cutting frames from
// the line, the ROM bootloader taking its bytes as they arrive, and the
// bounded buffers in front of both.
#include "pedal/pedal_layout.h"
#include "pedal/virtual_pedal.h"

#include <algorithm>
#include <limits>

namespace kestra::sim {

using namespace layout;

std::size_t VirtualPedal::hostRoom(std::size_t driverBuffer) {
    runLine();
    if (!output_.timing() || inBootloader_) {
        return std::numeric_limits<std::size_t>::max();
    }
    return hostLine_.room(output_.nowUs(), driverBuffer);
}

std::size_t VirtualPedal::hostBytesInDriver() {
    runLine();
    return hostLine_.inDriver(output_.nowUs());
}

void VirtualPedal::purgeInput() {
    runLine();
    hostLine_.purge(output_.nowUs());
}

// A byte whose start bit begins after a millisecond of idle line starts a new
// frame; the frame before it ended a millisecond after its last byte, and the
// pedal acted on it then.
void VirtualPedal::runApplication(std::uint64_t nowUs) {
    if (!output_.timing()) {
        return;
    }
    while (const auto byte = hostLine_.arrived(nowUs)) {
        if (inBootloader_) {
            // Sent at the application's settings: framing errors to the ROM.
            hostLine_.clear();
            frame_.clear();
            return;
        }
        if (!frame_.empty() && byte->startUs >= frameLastUs_ + kFrameGapUs) {
            endFrame();
            continue; // the frame may have changed what the pedal listens with
        }
        frame_.push_back(byte->value);
        frameLastUs_ = byte->arrivalUs;
        hostLine_.pop();
    }
    if (!frame_.empty() && nowUs >= frameLastUs_ + kFrameGapUs) {
        endFrame();
    }
}

void VirtualPedal::endFrame() {
    const Bytes frame = std::move(frame_);
    frame_.clear();
    frameLog_.push_back(frame);
    if (inBootloader_) {
        return;
    }
    actAtUs_ = frameLastUs_ + kFrameGapUs;
    applicationWrite(frame);
    actAtUs_.reset();
}

void VirtualPedal::bootloaderWrite(std::span<const std::uint8_t> w) {
    // The ROM samples 8E1 at the baud rate it measured on the sync byte; any
    // other byte is a parity or framing error and is dropped.
    if (line_.bits != 8 || line_.stopBits != 0 || line_.parity != kParityEven) {
        return;
    }
    bootloaderWriteLog_.emplace_back(w.begin(), w.end());
    if (!output_.timing()) {
        for (std::uint8_t byte : w) {
            if (!romByte(byte, line_.baud, 0)) {
                return;
            }
        }
        return;
    }
    // The bytes follow those still on the line, one every bitsPerByte bits.
    runRom();
    const std::uint64_t start = std::max(output_.nowUs(), hostLineFreeUs_);
    const std::uint64_t bits = line_.bitsPerByte();
    const std::uint64_t baud = std::max<std::uint32_t>(line_.baud, 1);
    for (std::size_t i = 0; i < w.size(); ++i) {
        romInput_.push_back({w[i], line_.baud, start + (i + 1) * bits * 1'000'000 / baud});
    }
    hostLineFreeUs_ = romInput_.back().arrivalUs;
    runRom();
}

bool VirtualPedal::romByte(std::uint8_t byte, std::uint32_t baud, std::uint64_t atUs) {
    const bool synced = bootloader_.synced();
    if (synced ? baud != romBaud_ : baud < kRomMinBaud || baud > kRomMaxBaud) {
        return true; // a framing error: lost
    }
    if (!synced && byte == 0x7F) {
        romBaud_ = baud; // measured on every sync byte, answered or not
    }
    if (auto reply = bootloader_.feed(byte)) {
        if (output_.timing()) {
            // The reply confirms flash work: it leaves once that is done.
            romBusyUntilUs_ = atUs + bootloader_.lastFlashWorkUs();
            send(std::move(*reply), romBusyUntilUs_);
        } else {
            send(std::move(*reply));
        }
    }
    if (bootloader_.takeGo()) {
        const std::uint8_t version = bootloader_.flash()[kVersionByte];
        firmware_ = version;
        restartApplication();
        return false;
    }
    return true;
}

// In time order: a byte arriving at the UART, or the ROM done with the flash
// and reading the byte the UART kept meanwhile.
void VirtualPedal::runRom() {
    if (!output_.timing() || !inBootloader_) {
        return;
    }
    const std::uint64_t now = output_.nowUs();
    for (;;) {
        if (romHeld_ && romBusyUntilUs_ <= now &&
            (romInput_.empty() || romBusyUntilUs_ <= romInput_.front().arrivalUs)) {
            const RomByte held = *romHeld_;
            romHeld_.reset();
            if (!romByte(held.value, held.baud, romBusyUntilUs_)) {
                return;
            }
            continue;
        }
        if (romInput_.empty() || romInput_.front().arrivalUs > now) {
            return;
        }
        const RomByte next = romInput_.front();
        romInput_.pop_front();
        if (next.arrivalUs < romBusyUntilUs_) {
            // The ROM is busy with the flash: the UART keeps one byte, and
            // every byte after it overruns it.
            if (!romHeld_) {
                romHeld_ = next;
            }
            continue;
        }
        if (!romByte(next.value, next.baud, next.arrivalUs)) {
            return;
        }
    }
}

} // namespace kestra::sim
