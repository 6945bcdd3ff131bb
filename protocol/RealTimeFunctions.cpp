#include "protocol/RealTimeFunctions.h"

#include "core/Clock.h"
#include "core/DebugLog.h"

namespace kestra {

bool RealTimeFunctions::incompleteFrame(const QByteArray& message) {
    if (message.isEmpty())
        return false;
    const auto type = static_cast<std::uint8_t>(message.front());
    return (type == RealtimeFrameType && message.size() < RealtimeFrameSize) ||
           (type == EepromDumpType && message.size() < EepromDumpSize);
}

void RealTimeFunctions::processIncomingData() {
    transport_.errorReportEnabled = false;
    if (transport_.GetFTQueueStatus() != d2xx::FT_OK) {
        transport_.errorReportEnabled = true;
        return;
    }
    // An idle tick costs this one queue-status call: the poll runs every
    // millisecond.
    const std::uint32_t n = transport_.queueByteCount > 0 ? transport_.ReadFTDevice() : 0;
    const qint64 now = Clock::instance().elapsedMs();
    if (!partial_.isEmpty() && now - partialAtMs_ > ReassemblyGapMs) {
        debugLog(QStringLiteral("incomplete frame dropped: %1 bytes").arg(partial_.size()));
        partial_.clear();
    }
    if (n > 0) {
        const auto* bytes = transport_.receiveBuffer.data();
        debugLog(QStringLiteral("Data(ASCII): ") + inboundAsciiText(bytes, static_cast<int>(n)));
        QByteArray message = partial_;
        message.append(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(n));
        partial_.clear();
        if (incompleteFrame(message)) {
            partial_ = message;
            partialAtMs_ = now;
        } else if (!dispatch(message)) {
            // The tick ends at a message it cannot convert; reporting stays
            // off until a later tick completes.
            return;
        }
    }
    transport_.errorReportEnabled = true;
}

bool RealTimeFunctions::dispatch(const QByteArray& message) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(message.constData());
    const InboundMessage inbound = classifyInbound(data, static_cast<int>(message.size()));
    switch (inbound.kind) {
    case InboundMessage::Kind::BankStatus:
        handler_.selectBankRadio(inbound.number);
        break;
    case InboundMessage::Kind::EffectStatus:
        handler_.openReportedEffect(static_cast<std::uint16_t>(inbound.number));
        break;
    case InboundMessage::Kind::UploadComplete:
        handler_.showUploadComplete(QString::fromLatin1(UploadCompleteText));
        break;
    case InboundMessage::Kind::Realtime:
        handler_.applyRealtimeFrame(inbound.frame);
        break;
    case InboundMessage::Kind::EepromDump:
        handler_.showEepromDump(data + 1);
        break;
    case InboundMessage::Kind::Invalid:
        handler_.reportInboundError(inbound.error);
        return false;
    case InboundMessage::Kind::Unknown:
        break;
    }
    return true;
}

} // namespace kestra
