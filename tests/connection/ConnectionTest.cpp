// The connection against a scripted port: states, one exchange at a time,
// time limits on the test clock, and the sequences that broke the editor
// before (an unplug mid-exchange, Unlink during a wait, frames into a
// listening bootloader, a failed close).
#include "connection/Connection.h"

#include "operations/PedalOperations.h"
#include "tests/support/FakePort.h"
#include "tests/support/TestClock.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace kestra::test {
namespace {

using State = Connection::State;
using Outcome = ExchangeResult::Outcome;

const QByteArray StoredEffectReplyText = "0\r\n12\r\n2\r\n5\r\n";

class ConnectionTest : public ::testing::Test {
protected:
    ConnectionTest() {
        // The pedal answers Get stored effect, and nothing else.
        port.pedal = [this](const QByteArray& written) {
            if (written == QByteArray::fromHex("0600") && answers)
                port.inbox += StoredEffectReplyText;
        };
    }

    // An exchange that asks for the stored effect and records its outcome.
    Exchange askStoredEffect() {
        return readStoredEffect([this](const kestra::Outcome<StoredEffectReply>& outcome) {
            outcomes.push_back(outcome.result.outcome);
            if (outcome.value)
                storedNumbers.push_back(outcome.value->effectNumber);
            errors.append(outcome.error);
        });
    }
    void linkPlain() { ASSERT_TRUE(connection.link(port.devices[0]).ok()); }
    bool settle() {
        return clock.runUntil([this] { return connection.operation().isEmpty(); }, 60000);
    }

    TestClock clock;
    FakePort port;
    Connection connection{port};
    bool answers = true;
    std::vector<Outcome> outcomes;
    std::vector<int> storedNumbers;
    QStringList errors;
};

TEST_F(ConnectionTest, LinkSetsTheLineAndTheLatencyTimerThenRunsItsFirstExchange) {
    QSignalSpy states(&connection, &Connection::stateChanged);
    ASSERT_TRUE(connection.link(port.devices[0], askStoredEffect()).ok());
    EXPECT_EQ(port.line, LineSettings::application());
    EXPECT_EQ(port.latencyMs, Connection::LatencyTimerMs);
    EXPECT_EQ(connection.state(), State::Linking);
    ASSERT_TRUE(settle());
    EXPECT_EQ(connection.state(), State::Linked);
    EXPECT_EQ(storedNumbers, std::vector<int>{12});
    EXPECT_EQ(port.writtenHex(), QStringList({"0600"}));
    ASSERT_EQ(states.size(), 2);
    EXPECT_EQ(states[0][0].value<State>(), State::Linking);
    EXPECT_EQ(states[1][0].value<State>(), State::Linked);
}

TEST_F(ConnectionTest, ARefusedOpenChangesNothing) {
    for (const auto error :
         {PortResult::Error::NotFound, PortResult::Error::InUse, PortResult::Error::NoDriver}) {
        port.openResult = PortResult::failure(error, QStringLiteral("refused"));
        const PortResult result = connection.link(port.devices[0], askStoredEffect());
        EXPECT_EQ(result.error, error);
        EXPECT_EQ(connection.state(), State::Unlinked);
        EXPECT_TRUE(port.writes.isEmpty());
    }
}

TEST_F(ConnectionTest, TheAnswerEndsTheExchangeWithoutTheOldQuietPeriod) {
    ASSERT_TRUE(connection.link(port.devices[0], askStoredEffect()).ok());
    ASSERT_TRUE(settle());
    // The reply was complete at its fourth line: no 100 ms of silence, no
    // 100 ms pause after the frame.
    EXPECT_LT(clock.elapsedMs(), 50);
}

TEST_F(ConnectionTest, ASilentPedalTimesOutAtTheLimitWithoutBlocking) {
    answers = false;
    ASSERT_TRUE(connection.link(port.devices[0], askStoredEffect()).ok());
    ASSERT_TRUE(settle());
    EXPECT_EQ(outcomes, std::vector<Outcome>{Outcome::TimedOut});
    EXPECT_TRUE(errors.value(0).startsWith("The pedal did not answer the request for its stored "
                                           "effect"));
    EXPECT_GE(clock.elapsedMs(), ReplyTimeLimitMs);
    EXPECT_LT(clock.elapsedMs(), ReplyTimeLimitMs + 200);
    EXPECT_EQ(connection.state(), State::Linked) << "the link stays usable";
}

// Its first line would read as bank 0 and its second as effect 0x17.
TEST_F(ConnectionTest, AReplyLaterThanItsTimeLimitIsNotTakenForStatusTexts) {
    answers = false;
    QSignalSpy messages(&connection, &Connection::messageReceived);
    ASSERT_TRUE(connection.link(port.devices[0], askStoredEffect()).ok());
    ASSERT_TRUE(settle());
    ASSERT_EQ(outcomes, std::vector<Outcome>{Outcome::TimedOut});
    port.inbox += "0\r\n17\r\n2\r\n5\r\n";
    clock.advance(200);
    EXPECT_EQ(messages.size(), 0);
    port.inbox += "02";
    clock.advance(200);
    EXPECT_EQ(messages.size(), 1) << "what follows is read as usual";
}

// Text right after the stored-effect reply belongs to it and is ignored; a
// knob turned then is still a knob turn.
TEST_F(ConnectionTest, MessagesAroundAReplyReachTheWindowsAndTheReplyItsExchange) {
    QSignalSpy messages(&connection, &Connection::messageReceived);
    port.pedal = [this](const QByteArray& written) {
        if (written == QByteArray::fromHex("0600"))
            port.inbox += QByteArray::fromHex("AA00010200") + StoredEffectReplyText + "02" +
                          QByteArray::fromHex("AA00020300");
    };
    ASSERT_TRUE(connection.link(port.devices[0], askStoredEffect()).ok());
    ASSERT_TRUE(settle());
    clock.advance(200);
    EXPECT_EQ(storedNumbers, std::vector<int>{12});
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0][0].value<FramedMessage>().frame.value, 0x200);
    EXPECT_EQ(messages[1][0].value<FramedMessage>().frame.value, 0x300);
    port.inbox += "02";
    clock.advance(100);
    ASSERT_EQ(messages.size(), 3) << "once the line has fallen quiet, text is read as usual";
    EXPECT_EQ(messages[2][0].value<FramedMessage>().kind, FramedMessage::Kind::BankStatus);
}

TEST_F(ConnectionTest, AnUnplugMidExchangeIsOneLostStateAndLinkWorksAgain) {
    answers = false;
    QSignalSpy lost(&connection, &Connection::lost);
    ASSERT_TRUE(connection.link(port.devices[0], askStoredEffect()).ok());
    clock.advance(50);
    port.unplugged = true;
    clock.advance(50);
    EXPECT_EQ(connection.state(), State::Lost);
    EXPECT_EQ(outcomes, std::vector<Outcome>{Outcome::Lost});
    EXPECT_TRUE(errors.value(0).isEmpty()) << "the lost link speaks for itself";
    ASSERT_EQ(lost.size(), 1);
    EXPECT_EQ(lost[0][0].toString(), "The pedal was disconnected. Reconnect it and choose Link.");
    EXPECT_FALSE(port.opened) << "the handle is closed at once";
    EXPECT_FALSE(connection.send(frames::liveMode(true)));
    clock.advance(5000);
    EXPECT_EQ(lost.size(), 1) << "one message, not one per call";

    answers = true;
    ASSERT_TRUE(connection.link(port.devices[0], askStoredEffect()).ok());
    ASSERT_TRUE(settle());
    EXPECT_EQ(connection.state(), State::Linked);
    EXPECT_EQ(storedNumbers, std::vector<int>{12});
}

TEST_F(ConnectionTest, UnlinkDuringAWaitCancelsQuietlyAndSwitchesLiveOff) {
    answers = false;
    ASSERT_TRUE(connection.link(port.devices[0], askStoredEffect()).ok());
    clock.advance(500);
    port.writes.clear();
    ASSERT_TRUE(connection.unlink());
    EXPECT_EQ(connection.state(), State::Unlinked);
    EXPECT_EQ(outcomes, std::vector<Outcome>{Outcome::Cancelled});
    EXPECT_TRUE(errors.value(0).isEmpty());
    EXPECT_EQ(port.writtenHex(), QStringList({"0A0000"}));
    EXPECT_FALSE(port.opened);
    EXPECT_EQ(clock.activeTimers(), 0) << "nothing polls an unlinked port";
    clock.advance(5000);
    EXPECT_EQ(outcomes.size(), 1u);
}

TEST_F(ConnectionTest, AFailedCloseStillLeavesTheEditorUnlinkedAndReadyToLinkAgain) {
    linkPlain();
    port.closeResult =
        PortResult::failure(PortResult::Error::Disconnected, QStringLiteral("FT_Close failed"));
    EXPECT_TRUE(connection.unlink());
    EXPECT_EQ(connection.state(), State::Unlinked);
    port.closeResult = {};
    linkPlain();
    EXPECT_EQ(connection.state(), State::Linked);
}

TEST_F(ConnectionTest, FramesGoOutInOrderWithTheirPausesAndOperationsWaitBehindThem) {
    linkPlain();
    const HexFrame pot = frames::setParameter(QStringLiteral("0101"), 0x400000, true);
    ASSERT_EQ(pot.pauseMs, 1);
    EXPECT_TRUE(connection.send(pot));
    EXPECT_TRUE(connection.send(frames::liveMode(true)));
    EXPECT_EQ(port.writtenHex(), QStringList({"01010100400000"}))
        << "the next frame waits for the potentiometer's pause";
    ASSERT_TRUE(connection.run(askStoredEffect()));
    EXPECT_EQ(connection.state(), State::Busy);
    EXPECT_FALSE(connection.send(frames::liveMode(false))) << "nothing overlaps an operation";
    ASSERT_TRUE(settle());
    EXPECT_EQ(port.writtenHex(), QStringList({"01010100400000", "0A0100", "0600"}));
    EXPECT_EQ(connection.state(), State::Linked);
}

TEST_F(ConnectionTest, OneOperationAtATime) {
    linkPlain();
    answers = false;
    ASSERT_TRUE(connection.run(askStoredEffect()));
    QString why;
    EXPECT_FALSE(connection.run(askStoredEffect(), &why));
    EXPECT_TRUE(why.contains("busy with Get FX Stored on Pedal")) << why.toStdString();
}

// A bootloader that acknowledges everything, at even parity only.
class BootloaderTest : public ConnectionTest {
protected:
    BootloaderTest() {
        port.pedal = [this](const QByteArray&) {
            if (port.line.parity == Parity::Even && acknowledge)
                port.inbox += '\x79';
        };
    }
    void enterBootloader() {
        linkPlain();
        Exchange exchange(QStringLiteral("handshake"));
        exchange.line(LineSettings::bootloader())
            .write(QByteArray(1, '\x7F'))
            .awaitReply(ReplyShape::bootloaderAck(), 5000, QStringLiteral("the handshake"), {})
            .onFinished([this](const ExchangeResult& r) { outcomes.push_back(r.outcome); });
        ASSERT_TRUE(connection.run(std::move(exchange)));
        ASSERT_TRUE(settle());
    }
    bool acknowledge = true;
};

TEST_F(BootloaderTest, NoApplicationFrameReachesAListeningBootloader) {
    enterBootloader();
    ASSERT_EQ(connection.state(), State::Bootloader);
    port.writes.clear();
    for (const HexFrame& frame :
         {frames::liveMode(false), frames::setParameter(QStringLiteral("0108"), 0, true),
          frames::requestParameterState(3), frames::eraseEeprom(QStringLiteral("50"))})
        EXPECT_FALSE(connection.send(frame)) << frame.text.toStdString();
    // Operations with the application are refused too: they write frames.
    QString why;
    EXPECT_FALSE(connection.run(askStoredEffect(), &why));
    EXPECT_TRUE(why.contains("only a firmware upgrade")) << why.toStdString();
    EXPECT_TRUE(connection.unlink());
    EXPECT_TRUE(port.writes.isEmpty()) << "not even Live off at Unlink";
}

TEST_F(BootloaderTest, AnUpgradeCannotBeCutByUnlinkOrClosing) {
    enterBootloader();
    acknowledge = false;
    Exchange write(QStringLiteral("Firmware Upgrade"));
    write.forBootloader()
        .write(QByteArray("\x43\xBC", 2))
        .awaitReply(ReplyShape::bootloaderAck(), 5000, QStringLiteral("the Erase command"), {});
    ASSERT_TRUE(connection.run(std::move(write)));
    EXPECT_EQ(connection.state(), State::Upgrading);
    QString why;
    EXPECT_FALSE(connection.mayClose(&why));
    EXPECT_FALSE(connection.unlink(&why));
    EXPECT_TRUE(why.contains("wait until the upgrade has ended")) << why.toStdString();
    EXPECT_TRUE(port.opened);
    ASSERT_TRUE(settle());
    EXPECT_EQ(connection.state(), State::Bootloader);
}

TEST_F(BootloaderTest, AFailedHandshakePutsTheApplicationsLineBack) {
    acknowledge = false;
    enterBootloader();
    EXPECT_EQ(outcomes, std::vector<Outcome>{Outcome::TimedOut});
    EXPECT_EQ(port.line, LineSettings::application());
    EXPECT_EQ(connection.state(), State::Linked);
    EXPECT_TRUE(connection.send(frames::bypass(false)));
}

// The upgrade lowers the bridge's latency timer: one that stops must not
// leave it low; one that completes sets it back itself.
TEST_F(BootloaderTest, AFailedExchangePutsTheLatencyTimerBack) {
    enterBootloader();
    for (const bool answered : {false, true}) {
        acknowledge = answered;
        Exchange fast(QStringLiteral("Firmware Upgrade"));
        fast.forBootloader()
            .latencyTimer(2)
            .write(QByteArray("\x43\xBC", 2))
            .awaitReply(ReplyShape::bootloaderAck(), 5000, QStringLiteral("the Erase command"), {});
        ASSERT_TRUE(connection.run(std::move(fast)));
        EXPECT_EQ(port.latencyMs, 2);
        ASSERT_TRUE(settle());
        EXPECT_EQ(port.latencyMs, answered ? 2 : Connection::LatencyTimerMs);
    }
}

TEST_F(ConnectionTest, ACallbackMayEndTheLinkOrStartTheNextOperation) {
    linkPlain();
    Exchange first = readStoredEffect([this](const kestra::Outcome<StoredEffectReply>&) {
        // Straight into the next operation, from the callback.
        EXPECT_TRUE(connection.run(askStoredEffect()));
    });
    ASSERT_TRUE(connection.run(std::move(first)));
    ASSERT_TRUE(settle());
    EXPECT_EQ(storedNumbers, std::vector<int>{12});

    Exchange ending(QStringLiteral("ending"));
    ending.then([this] {
        connection.unlink();
        return StepResult::next();
    });
    ending.write(QByteArray("never"));
    ASSERT_TRUE(connection.run(std::move(ending)));
    EXPECT_EQ(connection.state(), State::Unlinked);
    EXPECT_FALSE(port.writes.contains("never"));
}

TEST_F(ConnectionTest, AnIdleLinkReadsTheLineAtTheIdlePeriod) {
    linkPlain();
    const int before = port.reads;
    clock.advance(1000);
    EXPECT_EQ(port.reads - before, 1000 / Connection::IdlePollMs);
}

} // namespace
} // namespace kestra::test
