// An exchange with the pedal: the steps of one operation (purges, writes,
// pauses, line changes and the replies it waits for), run by the connection
// one after the other without ever blocking the event loop.
#pragma once

#include "port/Port.h"
#include "protocol/Frames.h"
#include "protocol/MessageFramer.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <variant>
#include <vector>

namespace kestra {

// What a step that looked at a reply decided.
struct StepResult {
    bool ok = true;
    QString failure; // why the exchange stops, for the player

    static StepResult next() { return {}; }
    static StepResult fail(QString why) { return {false, std::move(why)}; }
};

struct ExchangeResult {
    enum class Outcome {
        Completed,
        Failed,    // a step refused the reply, or the port refused a call
        TimedOut,  // a reply did not come within its time limit
        Cancelled, // Unlink, or the editor closing, ended it
        Lost,      // the pedal went away
    };
    Outcome outcome = Outcome::Completed;
    // Failed: the step's reason; TimedOut: what was awaited.
    QString message;
    // Failed because the port refused a call: message is the driver's text,
    // for the debug log, not for the player.
    bool portFailed = false;

    bool completed() const { return outcome == Outcome::Completed; }
};

class Exchange {
public:
    using ReplyHandler = std::function<StepResult(const FramedMessage& reply)>;
    using Finished = std::function<void(const ExchangeResult& result)>;
    using Action = std::function<StepResult()>;

    struct PurgeStep {
        Purge what;
    };
    struct WriteStep {
        QByteArray bytes;
    };
    struct PauseStep {
        int ms;
    };
    struct LineStep {
        LineSettings line;
    };
    struct LatencyStep {
        int ms;
    };
    // Waits for a reply of a shape the framer cuts out, or for an unsolicited
    // message of a kind (an EEPROM dump), within timeLimitMs.
    struct AwaitStep {
        std::variant<ReplyShape, FramedMessage::Kind> what;
        int timeLimitMs;
        QString description; // "the request for its stored effect", for messages
        ReplyHandler handler;
    };
    struct ActionStep {
        Action action;
    };
    using Step =
        std::variant<PurgeStep, WriteStep, PauseStep, LineStep, LatencyStep, AwaitStep, ActionStep>;

    explicit Exchange(QString name) : name_(std::move(name)) {}

    // The exchange talks to the ROM bootloader from its first step: it runs
    // only while the bootloader listens. Without this it runs only while the
    // application listens (it may switch the line to the bootloader itself).
    Exchange& forBootloader() {
        forBootloader_ = true;
        return *this;
    }
    bool startsOnBootloader() const { return forBootloader_; }

    Exchange& purge(Purge what);
    Exchange& write(QByteArray bytes);
    // The frame with its purge before and its pause after.
    Exchange& frame(const HexFrame& frame);
    Exchange& pause(int ms);
    // Switches the line; bootloader settings make the bytes the bootloader's.
    Exchange& line(const LineSettings& settings);
    Exchange& latencyTimer(int ms);
    Exchange& awaitReply(const ReplyShape& shape, int timeLimitMs, QString description,
                         ReplyHandler handler);
    Exchange& awaitMessage(FramedMessage::Kind kind, int timeLimitMs, QString description,
                           ReplyHandler handler);
    // Runs between steps; a failure stops the exchange.
    Exchange& then(Action action);
    // Called once with the outcome, whatever it is.
    Exchange& onFinished(Finished finished);

    const QString& name() const { return name_; }
    const std::vector<Step>& steps() const { return steps_; }
    const Finished& finished() const { return finished_; }

private:
    QString name_;
    bool forBootloader_ = false;
    std::vector<Step> steps_;
    Finished finished_;
};

} // namespace kestra
