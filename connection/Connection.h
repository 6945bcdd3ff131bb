// The one owner of the link to the pedal: the port, the link's state, the
// poll of the line, and every exchange, one at a time. Windows and the
// command-line program ask it for operations and hear back through
// callbacks and signals; none of them touches the port. Nothing here waits:
// pauses, polls and time limits are timers of the clock.
#pragma once

#include "connection/Exchange.h"
#include "core/Clock.h"
#include "port/Port.h"
#include "protocol/MessageFramer.h"

#include <QObject>
#include <deque>
#include <limits>
#include <memory>
#include <optional>

namespace kestra {

class Connection : public QObject {
    Q_OBJECT

public:
    enum class State {
        Unlinked,
        Linking,    // the device is open and the link's first exchange runs
        Linked,     // the application listens, nothing runs
        Busy,       // an operation with the application runs
        Bootloader, // the ROM bootloader listens, nothing runs
        Upgrading,  // an exchange with the bootloader runs
        Lost,       // the device went away; Link starts again
    };
    Q_ENUM(State)

    // The bridge hands a short tail of received bytes over after this long.
    // Replies and real-time frames are a few bytes: 4 ms keeps an exchange
    // quick and the knobs smooth, where the bridge's 16 ms default would add
    // up to 16 ms to every one; shorter would only make the bridge poll USB
    // more often for nothing.
    static constexpr int LatencyTimerMs = 4;
    // How often the line is read while a reply is awaited, and otherwise.
    // Nothing arrives faster than the latency timer hands it over, so polling
    // faster than that while idle would only burn CPU.
    static constexpr int AwaitPollMs = 2;
    static constexpr int IdlePollMs = 20;
    // The bootloader's answers are single bytes, a thousand of them in an
    // upgrade, each handed over when the 2 ms latency timer expires at any
    // point of its period: reading every millisecond takes each one about a
    // millisecond sooner than every two would.
    static constexpr int BootloaderAwaitPollMs = 1;
    // The pedal's application ends a frame where the line has been idle
    // this long, so two frames are never written closer together.
    static constexpr int FrameGapMs = 1;
    // How often the port is asked whether a write has left.
    static constexpr int DrainPollMs = 1;
    // A write that has not left this long after the line could have carried
    // it never will (a stalled bridge, a line held by flow control): its
    // exchange ends with a message. Far above the latency of any USB host.
    static constexpr int DrainSlackMs = 1000;
    // After a write has left, the line is read as often as while a reply is
    // awaited for this long: what the pedal sends in answer to a frame
    // nobody awaits ("Upload complete") comes within it.
    static constexpr int AfterWriteMs = 50;

    explicit Connection(Port& port, QObject* parent = nullptr);
    ~Connection() override;

    Port& port() { return port_; }
    // Which effect numbers the pedal's status texts may carry (the
    // catalogue's), to read status texts that arrive joined.
    void setKnownEffects(std::function<bool(int)> known) {
        framer_.setKnownEffects(std::move(known));
    }
    State state() const { return state_; }
    // The device is open (from Linking to Upgrading).
    bool isOpen() const;
    // The line carries the bootloader's bytes.
    bool bootloaderLine() const { return bootloaderLine_; }
    // What the last link opened.
    const PortDevice& device() const { return device_; }
    // Name of the operation that runs or waits to run; empty when none.
    QString operation() const;

    // Opens device at the application's line settings and sets the latency
    // timer (an exchange that fails puts back the line and the latency timer
    // it found). With first, the state is Linking while it runs; it may leave the
    // line in the bootloader. Fails (and changes nothing) when the device
    // cannot be opened or set up.
    PortResult link(const PortDevice& device, std::optional<Exchange> first = std::nullopt);
    // Ends the link from any state but Upgrading: whatever runs ends as
    // Cancelled, a linked application gets Live off, the device is closed.
    // False (and why) while the bootloader is being written. The state is
    // Unlinked at once; a write still on its way (an upload) is let finish,
    // then Live off, then the device closes (see whenClosed).
    bool unlink(QString* why = nullptr);
    // Calls done once the device is closed: at once unless an unlink still
    // lets the last bytes leave. The program ends from here, so that
    // closing the editor never cuts an upload short.
    void whenClosed(std::function<void()> done);
    // Whether the program may end now; false (and why) during an upgrade.
    bool mayClose(QString* why = nullptr) const;

    // Starts an operation: one for the application while Linked, one for the
    // bootloader while Bootloader. False (and why) otherwise.
    bool run(Exchange exchange, QString* why = nullptr);
    // Queues one frame for the application, sent after those before it.
    // False (and logged) when the application does not listen or an
    // operation runs: nothing may reach a listening bootloader.
    bool send(const HexFrame& frame);
    // Whether send() would take a frame now.
    bool canSend() const { return state_ == State::Linked; }

signals:
    void stateChanged(kestra::Connection::State state);
    // A message the pedal sent on its own (status texts, real-time frames,
    // EEPROM dumps nobody awaits).
    void messageReceived(const kestra::FramedMessage& message);
    // The device went away; message tells the player what to do.
    void lost(const QString& message);

private:
    struct Job {
        Exchange exchange;
        bool operation = true;
    };
    struct Running {
        Job job;
        quint64 id = 0;
        std::size_t step = 0;
        bool waitingForTimer = false;
        // The timer holds a write back until the line has been idle for a
        // frame gap: the step runs again when it fires.
        bool waitingForGap = false;
        bool awaiting = false;
        qint64 deadlineMs = 0;
        qint64 lastByteMs = 0;
        bool bytesDuringStep = false;
        // The line as the exchange found it: one that fails is put back.
        bool bootloaderLineAtStart = false;
        int latencyAtStart = 0;
    };

    void setState(State state);
    State idleState() const;
    void enqueue(Job job);
    // Entry from outside (a call or a timer): runs what can run, then hands
    // out the outcomes.
    void advance();
    // Runs steps until one must wait or the queue is empty.
    void runSteps();
    // One step of the running job; false when it waits.
    bool runStep();
    // Whether the running job's next step may start while a write drains:
    // an await (the answer may come as soon as the bytes are in), or a
    // write to the bootloader, which reads a byte stream.
    bool mayOverlapDrain() const;
    // A write went to the port: its bytes are on their way.
    void startDrain(qsizetype bytes);
    void checkDrain(qint64 now);
    void closePort();
    void finishRunning(ExchangeResult result);
    void switchLine(bool bootloader);
    void poll();
    void schedulePoll();
    void dispatch(std::vector<FramedMessage> messages);
    void checkDeadline(qint64 now);
    // True when the call succeeded; otherwise ends the running job, or the
    // link when the device went away.
    bool portCall(const PortResult& result);
    void markLost(const QString& detail);
    // Stops everything; returns the finished callbacks to call afterwards.
    std::vector<Exchange::Finished> stopAll();
    // Calls the outcomes collected while steps ran. They run with nothing of
    // this object on the stack, so they may start the next operation or open
    // a dialog.
    void deliver();

    Port& port_;
    Clock& clock_;
    MessageFramer framer_;
    State state_ = State::Unlinked;
    bool bootloaderLine_ = false;
    // The bridge's latency timer as last set; 0 when unknown.
    int latencyMs_ = 0;
    PortDevice device_;
    std::deque<Job> queue_;
    std::optional<Running> running_;
    quint64 runCount_ = 0;
    // Set while steps run or the line is read: a dialog opened from a
    // handler spins the event loop, and the timers that fire then must not
    // run steps underneath it.
    bool inside_ = false;
    std::deque<std::function<void()>> notifications_;
    std::unique_ptr<ClockTimer> pollTimer_;
    std::unique_ptr<ClockTimer> stepTimer_;
    // A write whose bytes have not all left; when its time limit ends it,
    // and until when the line needs to carry everything written.
    bool draining_ = false;
    qint64 drainDeadlineMs_ = 0;
    qint64 lineBusyUntilMs_ = 0;
    // When the last write was seen to have left.
    qint64 lineIdleSinceMs_ = std::numeric_limits<qint64>::min() / 2;
    // Read at the await period until then.
    qint64 quickPollUntilMs_ = 0;
    // Unlinked, but the device stays open until the last bytes have left.
    bool closing_ = false;
    std::vector<std::function<void()>> whenClosed_;
};

// The message for the player when the pedal went away.
QString disconnectedMessage();

} // namespace kestra
