// The host's bytes on their way to the pedal, with wire timing: the host
// driver's transmit buffer, the FT230X's 512-byte transmit buffer, then the
// line into the pedal's UART, one byte every bitsPerByte bits. Bytes move
// from the driver to the chip as soon as it has room (USB is far faster
// than the line), so the chip holds the oldest 512 of those still on their
// way and the driver the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>

namespace kestra::sim {

class HostLine {
public:
    static constexpr std::size_t kChipBuffer = 512;

    struct Byte {
        std::uint8_t value;
        std::uint64_t startUs;   // its start bit begins
        std::uint64_t arrivalUs; // its stop bit is in the UART
    };

    // The bytes follow those still on their way, from nowUs at the earliest.
    void push(std::span<const std::uint8_t> bytes, std::uint32_t baud, unsigned bitsPerByte,
              std::uint64_t nowUs);
    // Bytes not yet in the pedal's UART at nowUs, and those of them the
    // chip cannot hold yet (the driver's queue).
    std::size_t onTheirWay(std::uint64_t nowUs) const;
    std::size_t inDriver(std::uint64_t nowUs) const;
    // How many bytes a write can hand over now with a driver buffer of
    // driverBuffer bytes in front of the chip.
    std::size_t room(std::uint64_t nowUs, std::size_t driverBuffer) const;
    // The oldest byte when it has arrived by nowUs; pop() takes it.
    std::optional<Byte> arrived(std::uint64_t nowUs) const;
    void pop() { bytes_.pop_front(); }
    // A transmit purge: the chip and the driver drop every byte whose start
    // bit has not begun; the one on the wire still arrives.
    void purge(std::uint64_t nowUs);
    void clear();
    bool empty() const { return bytes_.empty(); }

private:
    std::deque<Byte> bytes_;
    std::uint64_t lineFreeUs_ = 0;
};

} // namespace kestra::sim
