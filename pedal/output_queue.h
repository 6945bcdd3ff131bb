// What the pedal has sent and the host has not read yet, as the FT230X
// delivers it. Bytes leave the pedal's UART at the line rate into the chip's
// receive buffer; the chip hands the buffer to USB when it holds a full
// 62-byte payload or when its latency timer expires, and every packet it
// sends restarts the timer. The host reads what USB has delivered. So
// messages sent close together arrive joined in one read and long ones in
// pieces, as they do from the real bridge; a framer that treats one read as
// one message fails here as it would with the hardware.
#pragma once

#include "pedal/hex.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>

namespace kestra::sim {

// Microseconds on any monotonic scale. Injected so the wire timing can be
// tested without sleeping.
using Clock = std::function<std::uint64_t()>;

std::uint64_t steadyMicroseconds();

// D2XX accepts 2..255 ms; a device opens at 16 ms.
inline constexpr unsigned kMinLatencyMs = 2;
inline constexpr unsigned kMaxLatencyMs = 255;
inline constexpr unsigned kDefaultLatencyMs = 16;

class OutputQueue {
public:
    explicit OutputQueue(Clock clock = steadyMicroseconds);

    void setClock(Clock clock) { clock_ = std::move(clock); }

    // Wire timing off (the default): whatever the pedal sends is readable at
    // once. On: bytes arrive at the line rate and wait for the latency timer.
    bool timing() const { return timing_; }
    void setTiming(bool on);
    unsigned latencyMs() const { return latencyMs_; }
    // Takes effect at once and restarts the timer, as a new setting does.
    void setLatency(unsigned ms);

    // The pedal's UART sends these bytes at baud, bitsPerByte bits a byte
    // (start, data, parity, stop), from now or, with wire timing, from fromUs
    // when given (a reply the pedal worked out for a moment already past, but
    // not before anything pushed since). With holdAfter > 0 the bytes after
    // the first holdAfter stay unreadable until the host has read up to them.
    void push(std::span<const std::uint8_t> bytes, std::uint32_t baud, unsigned bitsPerByte,
              std::size_t holdAfter = 0, std::optional<std::uint64_t> fromUs = std::nullopt);
    // The microseconds of the clock the queue runs on.
    std::uint64_t nowUs() const { return clock_(); }
    // Host side: bytes readable now (FT_GetQueueStatus) and read without
    // blocking (FT_Read).
    std::size_t queueStatus();
    std::size_t read(std::uint8_t* buffer, std::size_t size);
    // FT_Purge RX: the chip's buffer and the driver's are emptied; bytes the
    // pedal's UART is still sending keep coming.
    void purge();
    // Forget everything, bytes on the wire included (unplug, reset).
    void clear();

    // Bytes sent and not yet read or purged.
    std::size_t pending() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }

private:
    struct Byte {
        std::uint8_t value;
        std::uint64_t arrivalUs; // when its stop bit is in the chip
    };

    // Runs the chip up to now: arrivals, full payloads, timer expiries.
    void advance();
    std::uint64_t readableEnd() const;
    std::uint64_t end() const { return base_ + bytes_.size(); }

    Clock clock_;
    bool timing_ = false;
    unsigned latencyMs_ = kDefaultLatencyMs;
    // Stream positions: every byte sent has one. base_ <= delivered_ <=
    // arrived_ <= end(): read or purged / handed to the host's driver / in the
    // chip's buffer / still on the wire.
    std::deque<Byte> bytes_;
    std::uint64_t base_ = 0;
    std::uint64_t delivered_ = 0;
    std::uint64_t arrived_ = 0;
    // Positions the host has to read up to before anything after them shows.
    std::deque<std::uint64_t> holds_;
    std::uint64_t lineFreeUs_ = 0;
    std::uint64_t lastPacketUs_ = 0;
};

} // namespace kestra::sim
