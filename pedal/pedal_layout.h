// What the pedal's parts share: the image layout and the pedal's constants,
// and the number and list syntax of the control language and state file.
#pragma once

#include "pedal/hex.h"
#include "pedal/rom_bootloader.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestra::sim::layout {

inline constexpr std::uint8_t kEepromDevices[2] = {0x50, 0x51};
inline constexpr std::uint32_t kVersionRecord = 0x0801FC00 - RomBootloader::kFlashBase;
inline constexpr std::uint32_t kVersionByte = kVersionRecord + 7;
inline constexpr std::uint16_t kMaxLevel = 1024;
inline constexpr int kValueShift = 13;
// Image layout by offset into the upload write (the image starts at byte 1).
inline constexpr std::size_t kAddressTable = 3;
inline constexpr std::size_t kEffectNumber = 35;
inline constexpr std::size_t kEffectVersion = 37;
inline constexpr std::size_t kMinUpload = kEffectVersion + 1;
// The application's UART; the ROM measures its baud rate on the sync byte
// within what it supports on this part.
inline constexpr std::uint32_t kApplicationBaud = 115200;
inline constexpr std::uint32_t kRomMinBaud = 1200;
inline constexpr std::uint32_t kRomMaxBaud = 115200;
inline constexpr std::uint8_t kParityNone = 0;
inline constexpr std::uint8_t kParityEven = 2;

// Decimal, or hex with a 0x prefix.
inline std::optional<long> parseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

template <std::size_t N, typename T>
inline std::string joinList(const std::array<T, N>& items) {
    std::string out;
    for (std::size_t i = 0; i < N; ++i) {
        out += (i ? "," : "") + std::to_string(static_cast<unsigned>(items[i]));
    }
    return out;
}

template <std::size_t N, typename T>
inline bool parseList(std::string_view text, std::array<T, N>& items) {
    std::size_t i = 0;
    while (i < N) {
        const auto comma = text.find(',');
        auto v = parseNumber(text.substr(0, comma));
        if (!v) {
            return false;
        }
        items[i++] = static_cast<T>(*v);
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    return i == N;
}

inline std::string trimmedHex(const Bytes& bytes) {
    auto end = bytes.end();
    while (end != bytes.begin() && *(end - 1) == 0xFF) {
        --end;
    }
    return toHex(std::span(bytes.begin(), end));
}

inline const char* slotName(int slot) {
    static constexpr const char* names[] = {"preset", "bank0", "bank1", "bank2"};
    return names[slot];
}

} // namespace kestra::sim::layout
