#include "operations/PedalOperations.h"

#include "core/DebugLog.h"
#include "protocol/Inbound.h"

#include <memory>

namespace kestra {

namespace {

// The outcome of an exchange whose answer was already judged by its steps.
template <typename T>
Outcome<T> outcomeOf(const ExchangeResult& result, std::optional<T> value, const QString& error) {
    Outcome<T> outcome{result, std::nullopt, failureMessage(result)};
    if (!result.completed())
        return outcome;
    if (value) {
        outcome.value = std::move(value);
        outcome.error.clear();
    } else {
        outcome.error = error;
    }
    return outcome;
}

void logReceived(const FramedMessage& reply) {
    debugLog(QStringLiteral("num of bytes received: %1").arg(reply.bytes.size()));
}

// Adds the Read EEPROM frame and the wait for its dump; the dump goes to *dump.
void addEepromRead(Exchange& exchange, const QString& i2cAddress,
                   const std::shared_ptr<QByteArray>& dump) {
    const HexFrame read = frames::readEeprom(i2cAddress);
    debugLog(read.text);
    exchange.frame(read).awaitMessage(FramedMessage::Kind::EepromDump, EepromDumpTimeLimitMs,
                                      QStringLiteral("Read EEPROM"),
                                      [dump](const FramedMessage& message) {
                                          *dump = message.bytes.mid(1);
                                          return StepResult::next();
                                      });
}

void addEepromErase(Exchange& exchange, const QString& i2cAddress) {
    const HexFrame erase = frames::eraseEeprom(i2cAddress);
    debugLog(QStringLiteral("erase message: ") + erase.text);
    exchange.frame(erase);
}

} // namespace

QString noAnswerMessage(const QString& what) {
    return QStringLiteral("The pedal did not answer %1.\n\n"
                          "Check that it is switched on and connected, then try again "
                          "(Unlink and Link again if it keeps silent).")
        .arg(what);
}

namespace {
QString withAdvice(const QString& text, const QString& advice) {
    return advice.isEmpty() ? text : text + QStringLiteral("\n\n") + advice;
}

QString linkFailureText(const PortResult& result) {
    switch (result.error) {
    case PortResult::Error::NoDriver:
        return result.detail;
    case PortResult::Error::NotFound:
        return QStringLiteral("The pedal was not found.\n\nCheck that it is connected and "
                              "switched on, then choose Scan and Link again.");
    case PortResult::Error::InUse:
        return QStringLiteral("The pedal is in use by another program.\n\nClose the other "
                              "program, then choose Link again.");
    case PortResult::Error::NoPermission:
        return QStringLiteral("This user may not open the pedal.\n\nAsk the computer's "
                              "administrator for access to the pedal's USB device, then choose "
                              "Link again.");
    default:
        debugLog(result.detail);
        return QStringLiteral("The pedal could not be linked.\n\nUnplug it, plug it in again "
                              "and choose Link.");
    }
}
} // namespace

QString linkFailureMessage(const PortResult& result, const QString& advice) {
    return withAdvice(linkFailureText(result), advice);
}

QString noDeviceMessage(const QString& advice) {
    return withAdvice(QStringLiteral("No device found"), advice);
}

QString failureMessage(const ExchangeResult& result) {
    switch (result.outcome) {
    case ExchangeResult::Outcome::TimedOut:
        return noAnswerMessage(result.message);
    case ExchangeResult::Outcome::Failed:
        // The driver's text is in the debug log already.
        if (result.portFailed)
            return QStringLiteral("The connection to the pedal failed.\n\nUnplug the pedal, "
                                  "plug it in again and choose Link.");
        return result.message;
    case ExchangeResult::Outcome::Completed:
    case ExchangeResult::Outcome::Cancelled:
    case ExchangeResult::Outcome::Lost:
        break;
    }
    return {};
}

Exchange readStoredEffect(std::function<void(const Outcome<StoredEffectReply>&)> done) {
    auto parsed = std::make_shared<std::optional<StoredEffectReply>>();
    auto error = std::make_shared<QString>();
    Exchange exchange(QStringLiteral("Get FX Stored on Pedal"));
    exchange.frame(frames::getStoredEffect())
        .awaitReply(ReplyShape::textLinesRestIgnored(4), ReplyTimeLimitMs,
                    QStringLiteral("the request for its stored effect"),
                    [parsed, error](const FramedMessage& reply) {
                        logReceived(reply);
                        QString why;
                        *parsed = parseStoredEffectReply(QString::fromUtf8(reply.bytes), &why);
                        if (!*parsed)
                            *error = QStringLiteral("The pedal's answer about its stored effect "
                                                    "could not be read: ") +
                                     why;
                        return StepResult::next();
                    })
        .onFinished([parsed, error, done](const ExchangeResult& result) {
            done(outcomeOf(result, *parsed, *error));
        });
    return exchange;
}

Exchange requestParameterState(int parameters, int readbacks,
                               std::function<void(const Outcome<ParameterState>&)> done) {
    auto state = std::make_shared<std::optional<ParameterState>>();
    auto error = std::make_shared<QString>();
    Exchange exchange(QStringLiteral("Request"));
    exchange.frame(frames::requestParameterState(parameters))
        .awaitReply(ReplyShape::textLines(parameterStateSize(parameters)), ReplyTimeLimitMs,
                    QStringLiteral("Request"),
                    [state, error, parameters, readbacks](const FramedMessage& reply) {
                        QString why;
                        *state = parseParameterState(reply.bytes, parameters, readbacks, &why);
                        if (!*state) {
                            debugLog(why);
                            *error = why;
                        }
                        return StepResult::next();
                    })
        .onFinished([state, error, done](const ExchangeResult& result) {
            done(outcomeOf(result, *state, *error));
        });
    return exchange;
}

Exchange uploadImage(const QString& imageText, std::function<void(const ExchangeResult&)> done) {
    Exchange exchange(QStringLiteral("Upload"));
    exchange.frame(frames::bypass(true))
        .pause(BypassSettleMs)
        .frame(frames::uploadEffect(imageText))
        .onFinished(std::move(done));
    return exchange;
}

Exchange readEeprom(const QString& i2cAddress,
                    std::function<void(const Outcome<QByteArray>&)> done) {
    auto dump = std::make_shared<QByteArray>();
    Exchange exchange(QStringLiteral("Read EEPROM"));
    addEepromRead(exchange, i2cAddress, dump);
    exchange.onFinished([dump, done](const ExchangeResult& result) {
        done(outcomeOf(result, std::optional<QByteArray>(*dump), QString()));
    });
    return exchange;
}

namespace {

// How far Erase Settings got with one half of the settings memory.
enum class EraseStep { NotSent, Sent, ReadBack };

QString eraseState(EraseStep step, const QByteArray& dump) {
    switch (step) {
    case EraseStep::NotSent:
        return QStringLiteral("was not erased");
    case EraseStep::Sent:
        return QStringLiteral("may not be erased (the pedal did not send it back)");
    case EraseStep::ReadBack:
        break;
    }
    return dump.count(char(0xFF)) == dump.size() ? QStringLiteral("was erased")
                                                 : QStringLiteral("was not erased (it still "
                                                                  "holds settings)");
}

} // namespace

Exchange
eraseSettings(std::function<void(const Outcome<std::pair<QByteArray, QByteArray>>&)> done) {
    auto first = std::make_shared<QByteArray>();
    auto second = std::make_shared<QByteArray>();
    auto steps =
        std::make_shared<std::pair<EraseStep, EraseStep>>(EraseStep::NotSent, EraseStep::NotSent);
    const auto mark = [steps](bool firstHalf, EraseStep step) {
        return [steps, firstHalf, step] {
            (firstHalf ? steps->first : steps->second) = step;
            return StepResult::next();
        };
    };
    Exchange exchange(QStringLiteral("Erase Settings"));
    addEepromErase(exchange, QStringLiteral("50"));
    exchange.then(mark(true, EraseStep::Sent));
    addEepromRead(exchange, QStringLiteral("50"), first);
    exchange.then(mark(true, EraseStep::ReadBack));
    addEepromErase(exchange, QStringLiteral("51"));
    exchange.then(mark(false, EraseStep::Sent));
    addEepromRead(exchange, QStringLiteral("51"), second);
    exchange.onFinished([first, second, steps, done](const ExchangeResult& result) {
        Outcome<std::pair<QByteArray, QByteArray>> outcome =
            outcomeOf(result, std::optional(std::pair(*first, *second)), QString());
        // Stopped half done: the player learns what is left of the settings.
        if (result.outcome == ExchangeResult::Outcome::TimedOut ||
            result.outcome == ExchangeResult::Outcome::Failed)
            outcome.error =
                QStringLiteral("Erase Settings stopped before it was finished: the first half of "
                               "the pedal's settings memory %1, the second half %2.\n\n%3")
                    .arg(eraseState(steps->first, *first), eraseState(steps->second, *second),
                         result.portFailed
                             ? QStringLiteral("Unplug the pedal, plug it in again, choose Link "
                                              "and then Erase Settings again.")
                             : QStringLiteral("Check that the pedal is switched on and "
                                              "connected, then choose Erase Settings again."));
        done(outcome);
    });
    return exchange;
}

Exchange frameExchange(const QString& name, const HexFrame& frame,
                       std::function<void(const ExchangeResult&)> done) {
    Exchange exchange(name);
    exchange.frame(frame).onFinished(std::move(done));
    return exchange;
}

} // namespace kestra
