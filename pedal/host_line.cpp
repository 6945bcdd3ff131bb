#include "pedal/host_line.h"

#include <algorithm>

namespace kestra::sim {

void HostLine::push(std::span<const std::uint8_t> bytes, std::uint32_t baud, unsigned bitsPerByte,
                    std::uint64_t nowUs) {
    // Each byte's times are computed from the start, so long writes do not
    // drift.
    const std::uint64_t start = std::max(nowUs, lineFreeUs_);
    const std::uint64_t bitsPerSecond = std::max<std::uint32_t>(baud, 1);
    auto after = [&](std::uint64_t count) {
        return start + count * bitsPerByte * 1'000'000ull / bitsPerSecond;
    };
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes_.push_back({bytes[i], after(i), after(i + 1)});
    }
    if (!bytes.empty()) {
        lineFreeUs_ = after(bytes.size());
    }
}

std::size_t HostLine::onTheirWay(std::uint64_t nowUs) const {
    const auto first = std::partition_point(
        bytes_.begin(), bytes_.end(), [nowUs](const Byte& b) { return b.arrivalUs <= nowUs; });
    return static_cast<std::size_t>(bytes_.end() - first);
}

std::size_t HostLine::inDriver(std::uint64_t nowUs) const {
    const std::size_t pending = onTheirWay(nowUs);
    return pending > kChipBuffer ? pending - kChipBuffer : 0;
}

std::size_t HostLine::room(std::uint64_t nowUs, std::size_t driverBuffer) const {
    const std::size_t pending = onTheirWay(nowUs);
    const std::size_t capacity = kChipBuffer + driverBuffer;
    return pending < capacity ? capacity - pending : 0;
}

std::optional<HostLine::Byte> HostLine::arrived(std::uint64_t nowUs) const {
    if (bytes_.empty() || bytes_.front().arrivalUs > nowUs) {
        return std::nullopt;
    }
    return bytes_.front();
}

void HostLine::purge(std::uint64_t nowUs) {
    while (!bytes_.empty() && bytes_.back().startUs >= nowUs) {
        bytes_.pop_back();
    }
    lineFreeUs_ = bytes_.empty() ? nowUs : bytes_.back().arrivalUs;
}

void HostLine::clear() {
    bytes_.clear();
    lineFreeUs_ = 0;
}

} // namespace kestra::sim
