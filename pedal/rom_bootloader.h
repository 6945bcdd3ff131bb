// The STM32F10x (medium density) system-memory bootloader as the pedal's MCU
// runs it over its USART: the command set of ST's AN3155 on a 128 KiB flash
// with 1 KiB pages. Fed one received byte at a time, because the host's
// writes carry no meaning here: the bootloader only sees a byte stream.
#pragma once

#include "pedal/hex.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kestra::sim {

class RomBootloader {
public:
    static constexpr std::uint32_t kFlashBase = 0x08000000;
    static constexpr std::uint32_t kFlashSize = 128 * 1024;
    static constexpr std::uint32_t kPageSize = 1024;
    static constexpr std::uint8_t kAck = 0x79;
    static constexpr std::uint8_t kNack = 0x1F;
    static constexpr std::uint8_t kVersion = 0x22;
    static constexpr std::uint16_t kProductId = 0x0410; // the pedal's part
    // Flash timing of the STM32F10x datasheet: a half-word programs in 52.5 us
    // (typical); a page erase and a mass erase take 20 to 40 ms, and the ROM
    // is modelled at the slow end so that a host's time limits meet the worst.
    static constexpr std::uint64_t kHalfWordProgramNs = 52'500;
    static constexpr std::uint64_t kPageEraseUs = 40'000;
    static constexpr std::uint64_t kMassEraseUs = 40'000;

    RomBootloader();

    // Back to "waiting for 0x7F", as after a reset into system memory.
    void restart();
    // One received byte; returns the reply it completes, if any.
    std::optional<Bytes> feed(std::uint8_t byte);
    // Set once a Go command was acknowledged; cleared by reading it.
    std::optional<std::uint32_t> takeGo();
    // Make the n-th reply from now a NACK (1 = the next one); 0 disables.
    void injectNack(unsigned n) { nackCountdown_ = n; }
    // Get ID's answer, for a ROM of another part; kProductId until reset.
    void setProductId(std::uint16_t id) { productId_ = id; }
    // The next Write Memory over address leaves one bit of that byte
    // unprogrammed (a weak cell), and is still acknowledged.
    void injectCorruption(std::optional<std::uint32_t> address) { corrupt_ = address; }
    // How long the flash work confirmed by the last reply took (programming
    // or erasing), in microseconds; 0 when the last byte did no flash work.
    std::uint64_t lastFlashWorkUs() const { return flashWorkUs_; }

    std::vector<std::uint8_t>& flash() { return flash_; }
    const std::vector<std::uint8_t>& flash() const { return flash_; }
    bool synced() const { return state_ != State::WaitSync; }

private:
    enum class State {
        WaitSync,
        WaitCommand,
        WaitComplement,
        Address,     // 4 address bytes + XOR checksum for Read/Write/Go
        ReadLength,  // N and its complement
        WriteLength, // N
        WriteData,   // N+1 bytes then checksum
        EraseCount,  // 0xFF (global) or N
        EraseGlobal, // the 0x00 after 0xFF
        ErasePages,  // N+1 page numbers then checksum
    };

    bool forcedNack();
    Bytes nack();
    Bytes ack(State next);
    Bytes answerCommand();
    bool inFlash(std::uint32_t address, std::uint32_t length) const;
    Bytes finishAddress();
    Bytes finishRead();
    Bytes finishWrite();
    Bytes finishErase();

    std::vector<std::uint8_t> flash_;
    State state_ = State::WaitSync;
    std::uint8_t command_ = 0;
    Bytes collected_;
    std::uint32_t address_ = 0;
    unsigned expected_ = 0;
    unsigned nackCountdown_ = 0;
    std::optional<std::uint32_t> corrupt_;
    std::uint16_t productId_ = kProductId;
    std::uint64_t flashWorkUs_ = 0;
    std::optional<std::uint32_t> go_;
};

} // namespace kestra::sim
