#include "protocol/CommandFrames.h"

#include "core/Clock.h"
#include "protocol/HexText.h"

#include <algorithm>

namespace kestra {

std::uint32_t sendHexFrame(D2XXUnit& transport, const QString& text, int byteCount) {
    const int count = std::clamp(byteCount, 0, D2XXUnit::BufferSize);
    hexToBytes(text, transport.transmitBuffer.data(), count);
    return transport.WriteFTDevice(static_cast<std::uint32_t>(count));
}

void sendFrame(D2XXUnit& transport, const HexFrame& frame) {
    if (frame.purgeFirst)
        transport.PurgeFTTransmit();
    sendHexFrame(transport, frame.text, frame.byteCount);
    if (frame.pauseMs > 0)
        Clock::instance().pause(frame.pauseMs);
}

} // namespace kestra
