#include "connection/Exchange.h"

#include "protocol/HexText.h"

namespace kestra {

Exchange& Exchange::purge(Purge what) {
    steps_.emplace_back(PurgeStep{what});
    return *this;
}

Exchange& Exchange::write(QByteArray bytes) {
    steps_.emplace_back(WriteStep{std::move(bytes)});
    return *this;
}

Exchange& Exchange::frame(const HexFrame& frame) {
    if (frame.purgeFirst)
        purge(Purge::Transmit);
    write(frame.bytes());
    if (frame.pauseMs > 0)
        pause(frame.pauseMs);
    return *this;
}

Exchange& Exchange::pause(int ms) {
    steps_.emplace_back(PauseStep{ms});
    return *this;
}

Exchange& Exchange::line(const LineSettings& settings) {
    steps_.emplace_back(LineStep{settings});
    return *this;
}

Exchange& Exchange::latencyTimer(int ms) {
    steps_.emplace_back(LatencyStep{ms});
    return *this;
}

Exchange& Exchange::awaitReply(const ReplyShape& shape, int timeLimitMs, QString description,
                               ReplyHandler handler) {
    steps_.emplace_back(AwaitStep{shape, timeLimitMs, std::move(description), std::move(handler)});
    return *this;
}

Exchange& Exchange::awaitMessage(FramedMessage::Kind kind, int timeLimitMs, QString description,
                                 ReplyHandler handler) {
    steps_.emplace_back(AwaitStep{kind, timeLimitMs, std::move(description), std::move(handler)});
    return *this;
}

Exchange& Exchange::then(Action action) {
    steps_.emplace_back(ActionStep{std::move(action)});
    return *this;
}

Exchange& Exchange::onFinished(Finished finished) {
    finished_ = std::move(finished);
    return *this;
}

} // namespace kestra
