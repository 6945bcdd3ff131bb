#include "pedal/output_queue.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace kestra::sim {

namespace {
// An FT230X sends at most 62 payload bytes per 64-byte USB packet.
constexpr std::uint64_t kUsbPayload = 62;
} // namespace

std::uint64_t steadyMicroseconds() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

OutputQueue::OutputQueue(Clock clock) : clock_(std::move(clock)) {}

void OutputQueue::setTiming(bool on) {
    advance();
    if (on && !timing_) {
        lineFreeUs_ = lastPacketUs_ = clock_();
    }
    timing_ = on;
}

void OutputQueue::setLatency(unsigned ms) {
    advance();
    latencyMs_ = std::clamp(ms, kMinLatencyMs, kMaxLatencyMs);
    if (timing_) {
        lastPacketUs_ = clock_();
    }
}

void OutputQueue::push(std::span<const std::uint8_t> bytes, std::uint32_t baud,
                       unsigned bitsPerByte, std::size_t holdAfter,
                       std::optional<std::uint64_t> fromUs) {
    if (bytes.empty()) {
        return;
    }
    if (holdAfter > 0 && holdAfter < bytes.size()) {
        holds_.push_back(end() + holdAfter);
    }
    // The message starts once the previous one has left the UART. Each
    // arrival is computed from the start, so long messages do not drift.
    const std::uint64_t start = timing_ ? std::max(fromUs.value_or(clock_()), lineFreeUs_) : 0;
    const std::uint64_t bitsPerSecond = std::max<std::uint32_t>(baud, 1);
    auto after = [&](std::uint64_t count) {
        return start + count * bitsPerByte * 1'000'000ull / bitsPerSecond;
    };
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes_.push_back({bytes[i], after(i + 1)});
    }
    if (timing_) {
        lineFreeUs_ = after(bytes.size());
    }
}

// Events in time order: a byte completing in the chip (a full payload goes to
// USB at once) or the latency timer expiring (the buffer goes to USB, empty or
// not: the chip then sends only its status bytes, which still restarts the
// timer). A byte arriving as the timer expires makes that packet.
void OutputQueue::advance() {
    if (!timing_) {
        arrived_ = delivered_ = end();
        return;
    }
    const std::uint64_t now = clock_();
    const std::uint64_t latencyUs = latencyMs_ * 1000ull;
    for (;;) {
        const std::uint64_t expiry = lastPacketUs_ + latencyUs;
        const std::uint64_t nextArrival = arrived_ < end()
                                              ? bytes_[arrived_ - base_].arrivalUs
                                              : std::numeric_limits<std::uint64_t>::max();
        if (nextArrival <= now && nextArrival <= expiry) {
            ++arrived_;
            if (arrived_ - delivered_ == kUsbPayload) {
                delivered_ = arrived_;
                lastPacketUs_ = nextArrival;
            }
        } else if (expiry <= now) {
            delivered_ = arrived_;
            // Expiries over an empty buffer only keep the timer's phase: jump
            // to the last one before the next byte arrives (or before now).
            const std::uint64_t until = nextArrival <= now ? nextArrival - 1 : now;
            lastPacketUs_ = expiry + (until - expiry) / latencyUs * latencyUs;
        } else {
            return;
        }
    }
}

std::uint64_t OutputQueue::readableEnd() const {
    return holds_.empty() ? delivered_ : std::min(delivered_, holds_.front());
}

std::size_t OutputQueue::queueStatus() {
    advance();
    return static_cast<std::size_t>(readableEnd() - base_);
}

std::size_t OutputQueue::read(std::uint8_t* buffer, std::size_t size) {
    advance();
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size, readableEnd() - base_));
    for (std::size_t i = 0; i < n; ++i) {
        buffer[i] = bytes_[i].value;
    }
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(n));
    base_ += n;
    // The held bytes show from the next call on, never in this read.
    if (n > 0 && !holds_.empty() && holds_.front() == base_) {
        holds_.pop_front();
    }
    return n;
}

void OutputQueue::purge() {
    advance();
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(arrived_ - base_));
    base_ = delivered_ = arrived_;
    while (!holds_.empty() && holds_.front() <= base_) {
        holds_.pop_front();
    }
}

void OutputQueue::clear() {
    base_ = delivered_ = arrived_ = end();
    bytes_.clear();
    holds_.clear();
    lineFreeUs_ = 0;
}

} // namespace kestra::sim
