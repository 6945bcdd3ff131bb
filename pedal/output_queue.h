// What the pedal has sent and the host has not read yet, kept as a queue of
// messages. The editor treats one read as one message, and a real pedal leaves
// gaps between messages, so only the head message is ever visible; the next
// one shows up on a later queue-status call once the head was read completely.
#pragma once

#include "pedal/hex.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>

namespace kestra::sim {

// Microseconds on any monotonic scale. Injected so the wire timing can be
// tested without sleeping.
using Clock = std::function<std::uint64_t()>;

std::uint64_t steadyMicroseconds();

// Wire timing model (off by default): a message starts once the previous one
// has left the UART, its bytes take bitsPerByte/baud each, and the bridge
// hands a short tail to USB only when its latency timer expires. Full 62-byte
// USB payloads go out as soon as they are complete.
struct WireTiming {
    bool enabled = false;
    std::uint32_t latencyMs = 16;
    std::uint32_t baud = 115200;
    unsigned bitsPerByte = 10;
};

class OutputQueue {
public:
    explicit OutputQueue(Clock clock = steadyMicroseconds);

    void setClock(Clock clock) { clock_ = std::move(clock); }
    Clock& clock() { return clock_; }
    WireTiming& timing() { return timing_; }
    const WireTiming& timing() const { return timing_; }

    void push(Bytes message);
    // Host side: bytes readable now (FT_GetQueueStatus), read without blocking
    // (FT_Read), and drop everything (FT_Purge RX).
    std::size_t queueStatus();
    std::size_t read(std::uint8_t* buffer, std::size_t size);
    void purge();

    bool empty() const { return messages_.empty(); }
    std::size_t pendingMessages() const { return messages_.size(); }

private:
    struct Message {
        Bytes bytes;
        std::uint64_t startUs = 0;
    };

    std::size_t visibleOfHead() const;
    void openHead();

    Clock clock_;
    WireTiming timing_;
    std::deque<Message> messages_;
    std::size_t headPos_ = 0;
    bool headOpen_ = false;
    // Set when a read finished the head: the next message waits for a status call.
    bool awaitStatus_ = false;
    std::uint64_t lineFreeUs_ = 0;
};

} // namespace kestra::sim
