#include "pedal/rom_bootloader.h"

#include <algorithm>
#include <iterator>

namespace kestra::sim {

namespace {
constexpr std::uint8_t kSync = 0x7F;
constexpr std::uint8_t kGet = 0x00;
constexpr std::uint8_t kGetVersion = 0x01;
constexpr std::uint8_t kGetId = 0x02;
constexpr std::uint8_t kReadMemory = 0x11;
constexpr std::uint8_t kGo = 0x21;
constexpr std::uint8_t kWriteMemory = 0x31;
constexpr std::uint8_t kErase = 0x43;
// Listed by Get like the real ROM does; the protection commands are refused.
constexpr std::uint8_t kCommands[] = {0x00, 0x01, 0x02, 0x11, 0x21, 0x31,
                                      0x43, 0x63, 0x73, 0x82, 0x92};
} // namespace

RomBootloader::RomBootloader() : flash_(kFlashSize, 0xFF) {}

void RomBootloader::restart() {
    state_ = State::WaitSync;
    collected_.clear();
    go_.reset();
}

std::optional<std::uint32_t> RomBootloader::takeGo() {
    auto go = go_;
    go_.reset();
    return go;
}

// Asked just before a reply is produced, so an injected NACK also stops the
// action (erase, write, jump) the reply would have confirmed.
bool RomBootloader::forcedNack() {
    return nackCountdown_ > 0 && --nackCountdown_ == 0;
}

// After a NACK the ROM waits for a new command.
Bytes RomBootloader::nack() {
    state_ = State::WaitCommand;
    collected_.clear();
    return {kNack};
}

Bytes RomBootloader::ack(State next) {
    state_ = next;
    collected_.clear();
    return {kAck};
}

bool RomBootloader::inFlash(std::uint32_t address, std::uint32_t length) const {
    return address >= kFlashBase && length <= kFlashSize &&
           address - kFlashBase <= kFlashSize - length;
}

std::optional<Bytes> RomBootloader::feed(std::uint8_t byte) {
    flashWorkUs_ = 0;
    switch (state_) {
    case State::WaitSync:
        if (byte != kSync) {
            return std::nullopt; // autobaud ignores anything else
        }
        if (forcedNack()) {
            return Bytes{kNack};
        }
        return ack(State::WaitCommand);
    case State::WaitCommand:
        // Once synchronised the ROM reads every byte pair as a command and its
        // complement, 0x7F included: a repeated sync gets no answer until the
        // next byte completes the pair, then a NACK (0x7F is no command).
        command_ = byte;
        state_ = State::WaitComplement;
        return std::nullopt;
    case State::WaitComplement:
        if (forcedNack() || static_cast<std::uint8_t>(command_ ^ byte) != 0xFF) {
            return nack();
        }
        return answerCommand();
    case State::Address:
        collected_.push_back(byte);
        if (collected_.size() < 5) {
            return std::nullopt;
        }
        return forcedNack() ? nack() : finishAddress();
    case State::ReadLength:
        collected_.push_back(byte);
        if (collected_.size() < 2) {
            return std::nullopt;
        }
        return forcedNack() ? nack() : finishRead();
    case State::WriteLength:
        expected_ = byte + 1u;
        collected_.assign(1, byte);
        state_ = State::WriteData;
        return std::nullopt;
    case State::WriteData:
        collected_.push_back(byte);
        if (collected_.size() < expected_ + 2) { // N, data, checksum
            return std::nullopt;
        }
        return forcedNack() ? nack() : finishWrite();
    case State::EraseCount:
        collected_.assign(1, byte);
        if (byte == 0xFF) {
            state_ = State::EraseGlobal;
        } else {
            expected_ = byte + 1u;
            state_ = State::ErasePages;
        }
        return std::nullopt;
    case State::EraseGlobal:
        if (forcedNack() || byte != 0x00) {
            return nack();
        }
        std::fill(flash_.begin(), flash_.end(), 0xFF);
        flashWorkUs_ = kMassEraseUs;
        return ack(State::WaitCommand);
    case State::ErasePages:
        collected_.push_back(byte);
        if (collected_.size() < expected_ + 2) {
            return std::nullopt;
        }
        return forcedNack() ? nack() : finishErase();
    }
    return std::nullopt;
}

Bytes RomBootloader::answerCommand() {
    state_ = State::WaitCommand;
    switch (command_) {
    case kGet: {
        Bytes r{kAck, static_cast<std::uint8_t>(std::size(kCommands)), kVersion};
        r.insert(r.end(), std::begin(kCommands), std::end(kCommands));
        r.push_back(kAck);
        return r;
    }
    case kGetVersion:
        return {kAck, kVersion, 0x00, 0x00, kAck};
    case kGetId:
        return {kAck, 0x01, static_cast<std::uint8_t>(productId_ >> 8),
                static_cast<std::uint8_t>(productId_ & 0xFF), kAck};
    case kReadMemory:
    case kWriteMemory:
    case kGo:
        return ack(State::Address);
    case kErase:
        return ack(State::EraseCount);
    default:
        return nack();
    }
}

Bytes RomBootloader::finishAddress() {
    const std::uint8_t sum = collected_[0] ^ collected_[1] ^ collected_[2] ^ collected_[3];
    if (sum != collected_[4]) {
        return nack();
    }
    address_ = static_cast<std::uint32_t>(collected_[0]) << 24 |
               static_cast<std::uint32_t>(collected_[1]) << 16 |
               static_cast<std::uint32_t>(collected_[2]) << 8 | collected_[3];
    switch (command_) {
    case kReadMemory:
        return inFlash(address_, 1) ? ack(State::ReadLength) : nack();
    case kWriteMemory:
        return inFlash(address_, 1) ? ack(State::WriteLength) : nack();
    default: // Go: only into the application in flash
        if (!inFlash(address_, 4)) {
            return nack();
        }
        go_ = address_;
        return ack(State::WaitCommand);
    }
}

Bytes RomBootloader::finishRead() {
    const unsigned count = collected_[0] + 1u;
    if ((collected_[0] ^ collected_[1]) != 0xFF || !inFlash(address_, count)) {
        return nack();
    }
    Bytes r = ack(State::WaitCommand);
    const auto from = flash_.begin() + (address_ - kFlashBase);
    r.insert(r.end(), from, from + count);
    return r;
}

// collected_ = N, N+1 data bytes, checksum.
Bytes RomBootloader::finishWrite() {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i + 1 < collected_.size(); ++i) {
        sum ^= collected_[i];
    }
    if (sum != collected_.back() || !inFlash(address_, expected_)) {
        return nack();
    }
    // Programming over a cell that is not erased fails on this flash.
    const auto target = flash_.begin() + (address_ - kFlashBase);
    if (!std::all_of(target, target + expected_, [](std::uint8_t b) { return b == 0xFF; })) {
        return nack();
    }
    std::copy(collected_.begin() + 1, collected_.end() - 1, target);
    if (corrupt_ && *corrupt_ >= address_ && *corrupt_ - address_ < expected_) {
        // A 0 bit that did not program reads as 1.
        std::uint8_t& cell = flash_[*corrupt_ - kFlashBase];
        cell = static_cast<std::uint8_t>(cell | (~cell & (cell + 1)));
        corrupt_.reset();
    }
    // Programmed a half-word at a time; an odd count pads the last one.
    flashWorkUs_ = (expected_ + 1) / 2 * kHalfWordProgramNs / 1000;
    return ack(State::WaitCommand);
}

// collected_ = N, N+1 page numbers, checksum.
Bytes RomBootloader::finishErase() {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i + 1 < collected_.size(); ++i) {
        sum ^= collected_[i];
    }
    if (sum != collected_.back()) {
        return nack();
    }
    const auto pages = std::span(collected_).subspan(1, expected_);
    if (!std::all_of(pages.begin(), pages.end(),
                     [](std::uint8_t p) { return p < kFlashSize / kPageSize; })) {
        return nack();
    }
    for (auto page : pages) {
        auto from = flash_.begin() + page * kPageSize;
        std::fill(from, from + kPageSize, 0xFF);
    }
    flashWorkUs_ = pages.size() * kPageEraseUs;
    return ack(State::WaitCommand);
}

} // namespace kestra::sim
