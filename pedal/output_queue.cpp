#include "pedal/output_queue.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace kestra::sim {

namespace {
// An FT230X sends at most 62 payload bytes per 64-byte USB packet.
constexpr std::size_t kUsbPayload = 62;
} // namespace

std::uint64_t steadyMicroseconds() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

OutputQueue::OutputQueue(Clock clock) : clock_(std::move(clock)) {}

void OutputQueue::push(Bytes message) {
    if (message.empty()) {
        return;
    }
    Message m{std::move(message), 0};
    if (timing_.enabled) {
        const std::uint64_t now = clock_();
        m.startUs = std::max(now, lineFreeUs_);
        const std::uint64_t byteUs = 1000000ull * timing_.bitsPerByte / timing_.baud;
        lineFreeUs_ = m.startUs + byteUs * m.bytes.size();
    }
    messages_.push_back(std::move(m));
}

std::size_t OutputQueue::visibleOfHead() const {
    if (!headOpen_ || messages_.empty()) {
        return 0;
    }
    const Message& m = messages_.front();
    if (!timing_.enabled) {
        return m.bytes.size();
    }
    const std::uint64_t now = clock_();
    if (now < m.startUs) {
        return 0;
    }
    const std::uint64_t byteUs = 1000000ull * timing_.bitsPerByte / timing_.baud;
    const std::uint64_t onWireUs = byteUs * m.bytes.size();
    if (now >= m.startUs + onWireUs + timing_.latencyMs * 1000ull) {
        return m.bytes.size();
    }
    const std::size_t arrived = std::min<std::size_t>(
        m.bytes.size(),
        static_cast<std::size_t>((now - m.startUs) / std::max<std::uint64_t>(byteUs, 1)));
    return arrived / kUsbPayload * kUsbPayload;
}

void OutputQueue::openHead() {
    if (!headOpen_ && !messages_.empty()) {
        headOpen_ = true;
        headPos_ = 0;
    }
}

std::size_t OutputQueue::queueStatus() {
    awaitStatus_ = false;
    openHead();
    const std::size_t visible = visibleOfHead();
    return visible > headPos_ ? visible - headPos_ : 0;
}

std::size_t OutputQueue::read(std::uint8_t* buffer, std::size_t size) {
    if (!awaitStatus_) {
        openHead();
    }
    const std::size_t visible = visibleOfHead();
    if (visible <= headPos_ || size == 0) {
        return 0;
    }
    const std::size_t n = std::min(size, visible - headPos_);
    std::memcpy(buffer, messages_.front().bytes.data() + headPos_, n);
    headPos_ += n;
    if (headPos_ == messages_.front().bytes.size()) {
        messages_.pop_front();
        headOpen_ = false;
        headPos_ = 0;
        awaitStatus_ = true;
    }
    return n;
}

void OutputQueue::purge() {
    messages_.clear();
    headOpen_ = false;
    headPos_ = 0;
    awaitStatus_ = false;
}

} // namespace kestra::sim
