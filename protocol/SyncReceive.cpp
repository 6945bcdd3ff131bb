#include "protocol/SyncReceive.h"

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "protocol/HexText.h"

namespace kestra {

Reply::Outcome waitForFirstByte(D2XXUnit& transport, int timeLimitMs) {
    Clock& clock = Clock::instance();
    const qint64 start = clock.elapsedMs();
    for (;;) {
        clock.waitStep();
        if (transport.GetFTQueueStatus() != d2xx::FT_OK)
            return Reply::Outcome::QueueFailed;
        if (transport.queueByteCount > 0)
            return Reply::Outcome::Received;
        if (clock.elapsedMs() - start >= timeLimitMs) {
            debugLog(QStringLiteral("no answer within %1 ms").arg(timeLimitMs));
            return Reply::Outcome::TimedOut;
        }
    }
}

void collectReply(D2XXUnit& transport, QByteArray& bytes, int quietMs) {
    Clock& clock = Clock::instance();
    for (;;) {
        clock.waitStep();
        const std::uint32_t n = transport.ReadFTDevice();
        if (quietMs > 0)
            clock.pause(quietMs);
        if (n == 0)
            return;
        bytes.append(reinterpret_cast<const char*>(transport.receiveBuffer.data()),
                     static_cast<qsizetype>(n));
    }
}

Reply receiveReply(D2XXUnit& transport, bool firmwareUpgradeMode, int timeLimitMs) {
    Reply reply;
    reply.outcome = waitForFirstByte(transport, timeLimitMs);
    if (!reply.received())
        return reply;
    // The bootloader answers at once; the pedal's texts end with a silence.
    collectReply(transport, reply.bytes, firmwareUpgradeMode ? 0 : ReplyQuietMs);
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
