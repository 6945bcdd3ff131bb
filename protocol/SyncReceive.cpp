#include "protocol/SyncReceive.h"

#include "app/core/Clock.h"
#include "app/core/DebugLog.h"
#include "protocol/HexText.h"

namespace kestra {

Reply receiveReply(D2XXUnit& transport, bool firmwareUpgradeMode, int timeLimitMs) {
    Clock& clock = Clock::instance();
    Reply reply;
    const qint64 start = clock.elapsedMs();
    for (;;) {
        clock.waitStep();
        if (transport.GetFTQueueStatus() != d2xx::FT_OK) {
            reply.outcome = Reply::Outcome::QueueFailed;
            return reply;
        }
        if (transport.queueByteCount > 0)
            break;
        if (clock.elapsedMs() - start >= timeLimitMs) {
            debugLog(QStringLiteral("no answer within %1 ms").arg(timeLimitMs));
            reply.outcome = Reply::Outcome::TimedOut;
            return reply;
        }
    }
    for (;;) {
        clock.waitStep();
        const std::uint32_t n = transport.ReadFTDevice();
        if (!firmwareUpgradeMode)
            clock.pause(ReplyQuietMs);
        if (n == 0)
            break;
        reply.bytes.append(reinterpret_cast<const char*>(transport.receiveBuffer.data()),
                           static_cast<qsizetype>(n));
    }
    debugLog(QStringLiteral("num of bytes received: %1").arg(reply.bytes.size()));
    transport.PurgeFTReceive();
    if (firmwareUpgradeMode)
        reply.text =
            reply.bytes.isEmpty() ? QString() : hex2(static_cast<std::uint8_t>(reply.bytes[0]));
    else
        reply.text = QString::fromUtf8(reply.bytes);
    return reply;
}

QString noAnswerMessage(const QString& what) {
    return QStringLiteral("The pedal did not answer %1.\n\n"
                          "Check that it is switched on and connected, then try again "
                          "(Unlink and Link again if it keeps silent).")
        .arg(what);
}

} // namespace kestra
