// Helpers shared by the virtual pedal tests: building upload frames, setting
// the line, and reading the pedal's bytes the way the editor does (status,
// then read).
#pragma once

#include "pedal/virtual_pedal.h"

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestra::sim::test {

inline Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}
inline std::string textOf(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// One read as the editor does it: whatever a queue-status call shows, read in
// one go. It holds every message delivered so far, joined.
inline Bytes readOnce(VirtualPedal& pedal) {
    Bytes bytes(pedal.queueStatus());
    bytes.resize(pedal.read(bytes.data(), bytes.size()));
    return bytes;
}

// The line the pedal's application talks at (the bridge opens at 9600 8N1);
// parity 2 (even) is what the ROM bootloader needs.
inline void connect(VirtualPedal& pedal, std::uint8_t parity = 0) {
    pedal.setBaudRate(115200);
    pedal.setDataCharacteristics(8, 0, parity);
}

inline void write(VirtualPedal& pedal, const Bytes& bytes) {
    pedal.hostWrite(bytes);
}

// Upload frame: command byte, then the image: declared length, 16 parameter
// addresses, and a body that starts with the effect number and version.
struct ImageSpec {
    std::uint8_t command = 0x00;
    std::uint16_t effect = 0x11A;
    std::uint8_t version = 4;
    std::size_t imageSize = 128; // bytes after the command byte
    std::optional<std::uint16_t> declaredLength;
    std::array<std::uint16_t, 16> addresses{};
};

inline ImageSpec spec(std::uint8_t command, std::uint16_t effect = 0x11A,
                      std::uint8_t version = 4) {
    ImageSpec s;
    s.command = command;
    s.effect = effect;
    s.version = version;
    return s;
}

inline ImageSpec withAddresses(ImageSpec spec) {
    for (std::size_t i = 0; i < 16; ++i) {
        spec.addresses[i] = static_cast<std::uint16_t>(0x0100 + 0x10 * i);
    }
    return spec;
}

inline Bytes uploadFrame(const ImageSpec& spec) {
    Bytes frame(spec.imageSize + 1);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i * 7);
    }
    frame[0] = spec.command;
    const std::uint16_t length =
        spec.declaredLength.value_or(static_cast<std::uint16_t>(spec.imageSize));
    frame[1] = static_cast<std::uint8_t>(length >> 8);
    frame[2] = static_cast<std::uint8_t>(length & 0xFF);
    for (std::size_t i = 0; i < 16; ++i) {
        frame[3 + 2 * i] = static_cast<std::uint8_t>(spec.addresses[i] >> 8);
        frame[4 + 2 * i] = static_cast<std::uint8_t>(spec.addresses[i] & 0xFF);
    }
    frame[35] = static_cast<std::uint8_t>(spec.effect >> 8);
    frame[36] = static_cast<std::uint8_t>(spec.effect & 0xFF);
    frame[37] = spec.version;
    return frame;
}

inline Bytes setParameterFrame(std::uint16_t address, unsigned level) {
    const std::uint32_t value = static_cast<std::uint32_t>(level) << 13;
    return {0x01,
            static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address & 0xFF),
            static_cast<std::uint8_t>(value >> 24),
            static_cast<std::uint8_t>(value >> 16 & 0xFF),
            static_cast<std::uint8_t>(value >> 8 & 0xFF),
            static_cast<std::uint8_t>(value & 0xFF)};
}

// The decimal numbers of a CR LF separated answer; fails the parse on a line
// that is not terminated by CR LF.
inline std::vector<long> numbersOf(const Bytes& message) {
    std::vector<long> numbers;
    const std::string text = textOf(message);
    std::size_t at = 0;
    while (at < text.size()) {
        const auto end = text.find("\r\n", at);
        if (end == std::string::npos) {
            numbers.push_back(-1);
            break;
        }
        numbers.push_back(std::stol(text.substr(at, end - at)));
        at = end + 2;
    }
    return numbers;
}

inline void command(VirtualPedal& pedal, std::string_view line) {
    const auto result = pedal.command(line);
    if (!result.ok) {
        throw std::runtime_error("command failed: " + std::string(line) + ": " + result.text);
    }
}

} // namespace kestra::sim::test
