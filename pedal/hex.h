// Text helpers shared by the write log, the control commands and the state
// file. Kept header-only: they are tiny and used by three targets.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace kestra::sim {

using Bytes = std::vector<std::uint8_t>;

inline std::string toHex(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (auto b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0x0F]);
    }
    return out;
}

// Accepts upper or lower case and ignores spaces, so hand-typed "7f 00 ff"
// works as well as the compact form the pedal writes itself.
inline std::optional<Bytes> parseHex(std::string_view text) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    };
    Bytes out;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            continue;
        }
        int n = nibble(c);
        if (n < 0) {
            return std::nullopt;
        }
        if (high < 0) {
            high = n;
        } else {
            out.push_back(static_cast<std::uint8_t>(high << 4 | n));
            high = -1;
        }
    }
    if (high >= 0) {
        return std::nullopt;
    }
    return out;
}

// The blank-separated words of a control command.
inline std::vector<std::string> splitWords(std::string_view line) {
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

} // namespace kestra::sim
