#include "connection/Connection.h"

#include "core/DebugLog.h"
#include "protocol/Inbound.h"

#include <algorithm>

namespace kestra {

namespace {
// A reply still arriving at its time limit is given this long to finish.
constexpr int ReplyTailMs = MessageFramer::ReplyQuietMs;

bool matches(const Exchange::AwaitStep& step, const FramedMessage& message) {
    if (std::holds_alternative<ReplyShape>(step.what))
        return message.kind == FramedMessage::Kind::Reply;
    return message.kind == std::get<FramedMessage::Kind>(step.what);
}
} // namespace

QString disconnectedMessage() {
    return QStringLiteral("The pedal was disconnected. Reconnect it and choose Link.");
}

Connection::Connection(Port& port, QObject* parent)
    : QObject(parent), port_(port), clock_(Clock::instance()) {
    pollTimer_ = clock_.createTimer([this] { poll(); });
    stepTimer_ = clock_.createTimer([this] {
        if (running_ && running_->waitingForTimer) {
            running_->waitingForTimer = false;
            if (!running_->waitingForGap)
                ++running_->step;
            running_->waitingForGap = false;
        }
        advance();
    });
}

Connection::~Connection() {
    pollTimer_->stop();
    stepTimer_->stop();
    if (port_.isOpen())
        port_.close();
}

bool Connection::isOpen() const {
    return state_ != State::Unlinked && state_ != State::Lost;
}

QString Connection::operation() const {
    if (running_ && running_->job.operation)
        return running_->job.exchange.name();
    for (const Job& job : queue_) {
        if (job.operation)
            return job.exchange.name();
    }
    return {};
}

void Connection::setState(State state) {
    if (state_ == state)
        return;
    state_ = state;
    emit stateChanged(state);
}

Connection::State Connection::idleState() const {
    return bootloaderLine_ ? State::Bootloader : State::Linked;
}

PortResult Connection::link(const PortDevice& device, std::optional<Exchange> first) {
    if (isOpen())
        return PortResult::failure(PortResult::Error::Failed,
                                   QStringLiteral("the pedal is linked already"));
    if (closing_)
        return PortResult::failure(PortResult::Error::Failed,
                                   QStringLiteral("the last bytes of the link before are still "
                                                  "on their way to the pedal"));
    debugLog(QStringLiteral("serial number: ") + device.serialNumber);
    if (PortResult opened = port_.open(device); !opened.ok()) {
        debugLog(opened.detail);
        return opened;
    }
    if (PortResult line = port_.setLine(LineSettings::application()); !line.ok()) {
        debugLog(line.detail);
        port_.close();
        return line;
    }
    debugLogNoScroll(QStringLiteral("baud rate = %1").arg(PedalBaudRate));
    // A bridge that keeps its default latency still works, only slower.
    latencyMs_ = 0;
    if (PortResult latency = port_.setLatencyTimer(LatencyTimerMs); !latency.ok())
        debugLog(latency.detail);
    else
        latencyMs_ = LatencyTimerMs;
    device_ = device;
    bootloaderLine_ = false;
    framer_.setLine(MessageFramer::Line::Application);
    if (first) {
        setState(State::Linking);
        enqueue({std::move(*first), true});
    } else {
        setState(State::Linked);
        schedulePoll();
    }
    return PortResult::success();
}

bool Connection::mayClose(QString* why) const {
    if (state_ != State::Upgrading)
        return true;
    if (why)
        *why = QStringLiteral("The pedal's firmware is being written. Closing now would leave it "
                              "without a working firmware: wait until the upgrade has ended.");
    return false;
}

bool Connection::unlink(QString* why) {
    if (!mayClose(why))
        return false;
    if (!isOpen()) {
        if (state_ == State::Lost)
            setState(State::Unlinked);
        return true;
    }
    const bool applicationListens = !bootloaderLine_;
    const std::vector<Exchange::Finished> cancelled = stopAll();
    // What is on its way (an upload, say) is let leave, then Live off, then
    // the device closes. Live off only to the application: a listening
    // bootloader would take the bytes for a command.
    Exchange closing(QStringLiteral("closing"));
    if (applicationListens)
        closing.frame(frames::liveMode(false));
    closing.then([this] {
        closePort();
        return StepResult::next();
    });
    closing_ = true;
    setState(State::Unlinked);
    for (const Exchange::Finished& finished : cancelled)
        notifications_.push_back([finished] {
            finished({ExchangeResult::Outcome::Cancelled, QString()});
        });
    enqueue({std::move(closing), false});
    return true;
}

void Connection::closePort() {
    stopAll();
    draining_ = false;
    if (const PortResult closed = port_.close(); !closed.ok())
        debugLog(closed.detail); // the handle is gone either way
    bootloaderLine_ = false;
    closing_ = false;
    for (std::function<void()>& done : whenClosed_)
        notifications_.push_back(std::move(done));
    whenClosed_.clear();
}

void Connection::whenClosed(std::function<void()> done) {
    if (closing_) {
        whenClosed_.push_back(std::move(done));
        return;
    }
    notifications_.push_back(std::move(done));
    deliver();
}

bool Connection::run(Exchange exchange, QString* why) {
    const auto refuse = [why](const QString& reason) {
        if (why)
            *why = reason;
        debugLog(QStringLiteral("not started: ") + reason);
        return false;
    };
    if (state_ != State::Linked && state_ != State::Bootloader) {
        switch (state_) {
        case State::Unlinked:
        case State::Lost:
            return refuse(QStringLiteral("The pedal is not linked. Choose Connection > Link "
                                         "first."));
        default:
            return refuse(QStringLiteral("The pedal is busy with %1; try again when it has "
                                         "finished.")
                              .arg(operation()));
        }
    }
    if (exchange.startsOnBootloader() != bootloaderLine_)
        return refuse(bootloaderLine_
                          ? QStringLiteral("The pedal is in its bootloader: only a firmware "
                                           "upgrade can talk to it now.")
                          : QStringLiteral("The pedal's bootloader is not listening."));
    setState(bootloaderLine_ ? State::Upgrading : State::Busy);
    enqueue({std::move(exchange), true});
    return true;
}

bool Connection::send(const HexFrame& frame) {
    if (!canSend()) {
        debugLog(QStringLiteral("not sent (%1): %2")
                     .arg(state_ == State::Busy || state_ == State::Linking
                              ? QStringLiteral("busy with ") + operation()
                              : QStringLiteral("the application does not listen"),
                          frame.text));
        return false;
    }
    enqueue({Exchange(QStringLiteral("frame")).frame(frame), false});
    return true;
}

void Connection::enqueue(Job job) {
    queue_.push_back(std::move(job));
    advance();
}

void Connection::advance() {
    if (inside_)
        return; // the call below on the stack carries on
    inside_ = true;
    runSteps();
    inside_ = false;
    deliver();
}

void Connection::runSteps() {
    for (;;) {
        if (!running_) {
            if (queue_.empty() || !port_.isOpen())
                break;
            running_.emplace(Running{std::move(queue_.front())});
            running_->id = ++runCount_;
            running_->bootloaderLineAtStart = bootloaderLine_;
            running_->latencyAtStart = latencyMs_;
            queue_.pop_front();
        }
        if (running_->awaiting || running_->waitingForTimer || (draining_ && !mayOverlapDrain()) ||
            !runStep())
            break;
    }
    schedulePoll();
}

bool Connection::mayOverlapDrain() const {
    const auto& steps = running_->job.exchange.steps();
    if (running_->step >= steps.size())
        return false; // an exchange ends once its bytes have left
    const Exchange::Step& step = steps[running_->step];
    return std::holds_alternative<Exchange::AwaitStep>(step) ||
           (bootloaderLine_ && std::holds_alternative<Exchange::WriteStep>(step));
}

void Connection::startDrain(qsizetype bytes) {
    const qint64 now = clock_.elapsedMs();
    const LineSettings line =
        bootloaderLine_ ? LineSettings::bootloader() : LineSettings::application();
    lineBusyUntilMs_ = std::max(lineBusyUntilMs_, now) + (line.microseconds(bytes) + 999) / 1000;
    drainDeadlineMs_ = lineBusyUntilMs_ + DrainSlackMs;
    draining_ = true;
    checkDrain(now);
}

void Connection::checkDrain(qint64 now) {
    if (!draining_ || !port_.isOpen())
        return;
    bool done = false;
    const PortResult result = port_.drained(done);
    if (!result.ok()) {
        draining_ = false;
        if (result.error == PortResult::Error::Disconnected) {
            markLost(result.detail);
        } else {
            debugLog(result.detail);
            if (running_)
                finishRunning({ExchangeResult::Outcome::Failed, result.detail});
        }
        return;
    }
    if (done) {
        draining_ = false;
        lineIdleSinceMs_ = now;
        quickPollUntilMs_ = now + AfterWriteMs;
        return;
    }
    if (now < drainDeadlineMs_)
        return;
    draining_ = false;
    lineIdleSinceMs_ = now;
    debugLog(QStringLiteral("the last write had not left after %1 ms")
                 .arg(now - (drainDeadlineMs_ - DrainSlackMs) + DrainSlackMs));
    if (closing_) {
        closePort();
        return;
    }
    if (running_)
        finishRunning({ExchangeResult::Outcome::Failed,
                       QStringLiteral("The pedal did not take what the editor sent. Check the "
                                      "cable, then choose Unlink and Link again.")});
}

bool Connection::runStep() {
    Running& run = *running_;
    const auto& steps = run.job.exchange.steps();
    if (run.step >= steps.size()) {
        finishRunning({ExchangeResult::Outcome::Completed, {}});
        return true;
    }
    const quint64 id = run.id;
    const Exchange::Step& step = steps[run.step];
    bool goOn = true;
    if (const auto* purge = std::get_if<Exchange::PurgeStep>(&step)) {
        goOn = portCall(port_.purge(purge->what));
        if (goOn && (static_cast<int>(purge->what) & static_cast<int>(Purge::Receive)))
            framer_.clear();
    } else if (const auto* write = std::get_if<Exchange::WriteStep>(&step)) {
        // The application would take two frames closer than this for one.
        const qint64 wait = lineIdleSinceMs_ + FrameGapMs - clock_.elapsedMs();
        if (!bootloaderLine_ && wait > 0) {
            run.waitingForTimer = true;
            run.waitingForGap = true;
            stepTimer_->start(static_cast<int>(wait));
            return false;
        }
        goOn = portCall(port_.write(write->bytes));
        if (goOn && running_ && running_->id == id) {
            ++running_->step;
            startDrain(write->bytes.size());
            return true;
        }
    } else if (const auto* pause = std::get_if<Exchange::PauseStep>(&step)) {
        run.waitingForTimer = true;
        stepTimer_->start(pause->ms);
        return false;
    } else if (const auto* line = std::get_if<Exchange::LineStep>(&step)) {
        goOn = portCall(port_.setLine(line->line));
        if (goOn)
            switchLine(line->line.parity == Parity::Even);
    } else if (const auto* latency = std::get_if<Exchange::LatencyStep>(&step)) {
        if (const PortResult r = port_.setLatencyTimer(latency->ms); !r.ok())
            debugLog(r.detail);
        else
            latencyMs_ = latency->ms;
    } else if (const auto* await = std::get_if<Exchange::AwaitStep>(&step)) {
        const qint64 now = clock_.elapsedMs();
        run.deadlineMs = now + await->timeLimitMs;
        run.bytesDuringStep = false;
        run.awaiting = true;
        if (const auto* shape = std::get_if<ReplyShape>(&await->what))
            framer_.expectReply(*shape);
        return false;
    } else if (const auto* action = std::get_if<Exchange::ActionStep>(&step)) {
        // The action may end the link, and with it this step: keep it alive.
        const Exchange::Action act = action->action;
        const StepResult result = act();
        if (!running_ || running_->id != id)
            return true; // the action ended the link
        if (!result.ok) {
            finishRunning({ExchangeResult::Outcome::Failed, result.failure});
            return true;
        }
    }
    if (goOn && running_ && running_->id == id)
        ++running_->step;
    return true;
}

bool Connection::portCall(const PortResult& result) {
    if (result.ok())
        return true;
    if (closing_) {
        debugLog(result.detail);
        closePort();
        return false;
    }
    if (result.error == PortResult::Error::Disconnected) {
        markLost(result.detail);
    } else {
        debugLog(result.detail);
        if (running_)
            finishRunning({ExchangeResult::Outcome::Failed, result.detail, true});
    }
    return false;
}

void Connection::switchLine(bool bootloader) {
    bootloaderLine_ = bootloader;
    framer_.setLine(bootloader ? MessageFramer::Line::Bootloader
                               : MessageFramer::Line::Application);
}

void Connection::finishRunning(ExchangeResult result) {
    Exchange::Finished finished = running_->job.exchange.finished();
    const bool operation = running_->job.operation;
    const bool lineAtStart = running_->bootloaderLineAtStart;
    const int latencyAtStart = running_->latencyAtStart;
    // A reply that comes after its time limit is still a reply: the framer
    // keeps expecting it, so its text is dropped as late, never taken for
    // status texts. The next exchange's expectation replaces it.
    if (running_->awaiting && result.outcome != ExchangeResult::Outcome::TimedOut) {
        for (const FramedMessage& dropped : framer_.cancelReply())
            debugLog(dropped.note);
    }
    running_.reset();
    const bool failed = result.outcome == ExchangeResult::Outcome::Failed ||
                        result.outcome == ExchangeResult::Outcome::TimedOut;
    if (failed && port_.isOpen() && bootloaderLine_ != lineAtStart) {
        const PortResult back =
            port_.setLine(lineAtStart ? LineSettings::bootloader() : LineSettings::application());
        if (back.ok())
            switchLine(lineAtStart);
        else
            debugLog(back.detail);
    }
    if (failed && port_.isOpen() && latencyAtStart > 0 && latencyMs_ != latencyAtStart) {
        if (const PortResult back = port_.setLatencyTimer(latencyAtStart); back.ok())
            latencyMs_ = latencyAtStart;
        else
            debugLog(back.detail);
    }
    stepTimer_->stop();
    if (operation && isOpen()) {
        const bool another =
            std::any_of(queue_.begin(), queue_.end(), [](const Job& job) { return job.operation; });
        if (!another)
            setState(idleState());
    }
    if (finished)
        notifications_.push_back([finished, result] { finished(result); });
}

void Connection::schedulePoll() {
    if (!port_.isOpen()) {
        pollTimer_->stop();
        return;
    }
    const bool awaiting =
        (running_ && running_->awaiting) || clock_.elapsedMs() < quickPollUntilMs_;
    const int period = draining_         ? DrainPollMs
                       : !awaiting       ? IdlePollMs
                       : bootloaderLine_ ? BootloaderAwaitPollMs
                                         : AwaitPollMs;
    // A shorter wait than the one pending wins; a longer one leaves it.
    if (!pollTimer_->isActive() || awaiting || draining_)
        pollTimer_->start(period);
}

void Connection::poll() {
    if (inside_ || !port_.isOpen()) {
        schedulePoll();
        return;
    }
    inside_ = true;
    QByteArray bytes;
    const PortResult read = port_.read(bytes);
    if (!read.ok()) {
        if (read.error == PortResult::Error::Disconnected)
            markLost(read.detail);
        else
            debugLog(read.detail);
    } else {
        const qint64 now = clock_.elapsedMs();
        std::vector<FramedMessage> messages;
        if (!bytes.isEmpty()) {
            if (!bootloaderLine_) {
                const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
                debugLog(QStringLiteral("Data(ASCII): ") +
                         inboundAsciiText(data, static_cast<int>(bytes.size())));
            }
            if (running_ && running_->awaiting) {
                running_->bytesDuringStep = true;
                running_->lastByteMs = now;
            }
            messages = framer_.feed(bytes, now);
        } else {
            messages = framer_.silence(now);
        }
        // Once unlinked nobody listens: only the last bytes still leave.
        if (!closing_)
            dispatch(std::move(messages));
        checkDrain(now);
        checkDeadline(now);
        runSteps();
    }
    inside_ = false;
    deliver();
    schedulePoll();
}

void Connection::dispatch(std::vector<FramedMessage> messages) {
    for (FramedMessage& message : messages) {
        if (message.kind == FramedMessage::Kind::Dropped) {
            debugLog(message.note);
            continue;
        }
        if (running_ && running_->awaiting) {
            const auto& step =
                std::get<Exchange::AwaitStep>(running_->job.exchange.steps()[running_->step]);
            if (matches(step, message)) {
                const quint64 id = running_->id;
                running_->awaiting = false;
                // The handler may end the link, and with it this step.
                const Exchange::ReplyHandler handler = step.handler;
                const StepResult result = handler ? handler(message) : StepResult::next();
                if (!running_ || running_->id != id)
                    continue;
                if (!result.ok)
                    finishRunning({ExchangeResult::Outcome::Failed, result.failure});
                else
                    ++running_->step;
                continue;
            }
        }
        if (message.kind == FramedMessage::Kind::Reply) {
            debugLog(QStringLiteral("a reply nobody waits for was dropped: %1 bytes")
                         .arg(message.bytes.size()));
            continue;
        }
        emit messageReceived(message);
    }
}

void Connection::checkDeadline(qint64 now) {
    if (!running_ || !running_->awaiting || now < running_->deadlineMs)
        return;
    // Bytes still arriving: let the reply finish.
    if (running_->bytesDuringStep && now - running_->lastByteMs < ReplyTailMs)
        return;
    const auto& step =
        std::get<Exchange::AwaitStep>(running_->job.exchange.steps()[running_->step]);
    debugLog(QStringLiteral("no answer within %1 ms").arg(step.timeLimitMs));
    finishRunning({ExchangeResult::Outcome::TimedOut, step.description});
}

void Connection::markLost(const QString& detail) {
    debugLog(detail);
    debugLog(QStringLiteral("the pedal was disconnected"));
    if (closing_) {
        closePort(); // unlinked already
        return;
    }
    const std::vector<Exchange::Finished> stopped = stopAll();
    draining_ = false;
    port_.close();
    bootloaderLine_ = false;
    setState(State::Lost);
    notifications_.push_back([this] { emit lost(disconnectedMessage()); });
    for (const Exchange::Finished& finished : stopped)
        notifications_.push_back([finished] {
            finished({ExchangeResult::Outcome::Lost, disconnectedMessage()});
        });
}

std::vector<Exchange::Finished> Connection::stopAll() {
    std::vector<Exchange::Finished> callbacks;
    if (running_) {
        if (running_->job.exchange.finished())
            callbacks.push_back(running_->job.exchange.finished());
        running_.reset();
    }
    for (const Job& job : queue_) {
        if (job.exchange.finished())
            callbacks.push_back(job.exchange.finished());
    }
    queue_.clear();
    stepTimer_->stop();
    pollTimer_->stop();
    framer_.setLine(MessageFramer::Line::Application);
    return callbacks;
}

void Connection::deliver() {
    while (!notifications_.empty() && !inside_) {
        const std::function<void()> next = std::move(notifications_.front());
        notifications_.pop_front();
        next();
    }
}

} // namespace kestra
