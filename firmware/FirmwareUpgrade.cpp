#include "firmware/FirmwareUpgrade.h"

#include "core/DebugLog.h"
#include "protocol/Frames.h"

#include <memory>

namespace kestra {

namespace {

using Outcome = UpgradeResult::Outcome;

// The application answers Get stored effect at once; the ROM never does.
constexpr int ApplicationProbeTimeLimitMs = 500;

// One try's state, shared by the callbacks of its exchanges: the caller
// need not outlive them.
struct Try {
    Connection& connection;
    FirmwareChunks chunks;
    int version = 0;
    UpgradeHooks hooks;
    std::shared_ptr<BootloaderFacts> facts = std::make_shared<BootloaderFacts>();
    bool erased = false;
    bool verified = false;
};
using TryPtr = std::shared_ptr<Try>;

void finish(const TryPtr& t, Outcome outcome, const QString& message = {}) {
    if (t->hooks.finished)
        t->hooks.finished({outcome, message, t->erased, t->verified});
}

void finish(const TryPtr& t, const ExchangeResult& result) {
    switch (result.outcome) {
    case ExchangeResult::Outcome::Completed:
        return finish(t, Outcome::Completed);
    case ExchangeResult::Outcome::Failed:
    case ExchangeResult::Outcome::TimedOut:
        return finish(t, Outcome::Failed, result.message);
    case ExchangeResult::Outcome::Lost:
        return finish(t, Outcome::Lost, result.message);
    case ExchangeResult::Outcome::Cancelled:
        return finish(t, Outcome::Cancelled, result.message);
    }
}

// The next exchange of the try; one the connection refuses ends it.
void runNext(const TryPtr& t, Exchange exchange) {
    QString why;
    if (!t->connection.run(std::move(exchange), &why))
        finish(t,
               t->connection.state() == Connection::State::Lost ? Outcome::Lost : Outcome::Failed,
               why);
}

void write(const TryPtr& t) {
    UpgradeProgress progress = [t](UpgradePhase phase, int bytes, int total) {
        if (phase == UpgradePhase::Erasing)
            t->erased = true;
        if (t->hooks.progress)
            t->hooks.progress(phase, bytes, total);
    };
    runNext(t, firmwareUpgrade(
                   t->chunks, t->version, std::move(progress),
                   [t](const ExchangeResult& result) { finish(t, result); },
                   [t] { t->verified = true; }));
}

void ask(const TryPtr& t) {
    if (t->hooks.confirm && !t->hooks.confirm(*t->facts)) {
        debugLog(QStringLiteral("firmware upgrade not confirmed: nothing was erased"));
        return finish(t, Outcome::Declined);
    }
    write(t);
}

void readVersion(const TryPtr& t) {
    runNext(t, readInstalledVersion(t->facts, [t](const ExchangeResult& result) {
                // A ROM that will not read leaves the version unknown.
                if (result.completed() ||
                    (result.outcome == ExchangeResult::Outcome::Failed && t->facts->readRefused))
                    return ask(t);
                finish(t, result);
            }));
}

void check(const TryPtr& t) {
    runNext(t, checkChip(t->facts, [t](const ExchangeResult& result) {
                if (!result.completed())
                    return finish(t, result);
                readVersion(t);
            }));
}

} // namespace

bool startFirmwareUpgrade(Connection& connection, const QByteArray& image, int version,
                          UpgradeHooks hooks, QString* why) {
    if (connection.state() != Connection::State::Bootloader) {
        if (why)
            *why = notInUpgradeModeMessage();
        debugLog(QStringLiteral("not started: the pedal is not in Firmware Upgrade Mode"));
        return false;
    }
    const bool askApplication = hooks.applicationMayRun;
    auto t = std::make_shared<Try>(
        Try{connection, splitFirmwareIntoChunks(image), version, std::move(hooks)});
    // Every try starts in step with the ROM, whatever the last one left.
    const auto synchronise = [t](QString* refused) {
        return resynchronise(
            t->connection,
            [t](const ExchangeResult& result) {
                if (!result.completed())
                    return finish(t, result);
                check(t);
            },
            refused);
    };
    if (!askApplication)
        return synchronise(why);
    // The bootloader's bytes at even parity would reach a running
    // application as garbage: it is asked first, at its own settings.
    Exchange probe(QStringLiteral("Firmware Upgrade"));
    probe.forBootloader()
        .line(LineSettings::application())
        .latencyTimer(Connection::LatencyTimerMs)
        .frame(frames::getStoredEffect())
        .awaitReply(ReplyShape::textLinesRestIgnored(4), ApplicationProbeTimeLimitMs,
                    QStringLiteral("the request for its stored effect"), nullptr)
        .onFinished([t, synchronise](const ExchangeResult& result) {
            if (result.completed()) {
                debugLog(QStringLiteral("the new firmware runs: the upgrade is complete"));
                t->erased = true;
                t->verified = true;
                return finish(t, Outcome::Completed);
            }
            if (result.outcome != ExchangeResult::Outcome::TimedOut)
                return finish(t, result);
            debugLog(QStringLiteral("the application did not answer: the bootloader listens"));
            QString refused;
            if (!synchronise(&refused))
                finish(t, Outcome::Failed, refused);
        });
    return t->connection.run(std::move(probe), why);
}

QString upgradeFailureMessage(const UpgradeResult& result) {
    if (result.verified)
        return upgradeStartUnconfirmedMessage(result.message);
    return result.erased ? upgradeStoppedMessage(result.message)
                         : upgradeNotStartedMessage(result.message);
}

QString upgradeQuestion(const BootloaderFacts& facts, int version) {
    const std::optional<int> installed = facts.installedVersion;
    QString text = QStringLiteral("Write firmware version %1 to the pedal? ").arg(version);
    if (installed)
        text += QStringLiteral("It has version %1 installed.").arg(*installed);
    else
        text += QStringLiteral("Its installed version is unknown: the pedal holds no valid "
                               "version record.");
    if (installed && version < *installed)
        text += QStringLiteral("\n\nThis is a downgrade: version %1 is older than the installed "
                               "version %2.")
                    .arg(version)
                    .arg(*installed);
    text += QStringLiteral("\n\nThe pedal's firmware is erased first. Do not unplug the pedal, "
                           "switch it off or close the editor until the upgrade has ended.");
    return text;
}

QString upgradeProgressText(UpgradePhase phase, int bytes, int total, qint64 elapsedMs) {
    if (phase == UpgradePhase::Erasing)
        return QStringLiteral("Erasing the pedal's firmware");
    // Two steps over the same bytes, each counted on its own; the time left
    // counts both.
    const bool writing = phase == UpgradePhase::Writing;
    const qint64 done = writing ? bytes : qint64(total) + bytes;
    const qint64 all = 2 * qint64(total);
    QString text = QStringLiteral("Step %1 of 2, %2: %3 of %4 bytes")
                       .arg(writing ? 1 : 2)
                       .arg(writing ? QStringLiteral("writing") : QStringLiteral("verifying"))
                       .arg(bytes)
                       .arg(total);
    if (done > 0 && elapsedMs > 0) {
        const qint64 leftMs = (all - done) * elapsedMs / done;
        text += QStringLiteral(", about %1 s left").arg((leftMs + 999) / 1000);
    }
    return text;
}

} // namespace kestra
