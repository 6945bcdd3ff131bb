// Firmware upgrades against the virtual pedal, each with one fault at a
// random point (a NACK, a silent pedal, a stray byte, a truncated reply, an
// unplug and replug), each followed by the retries a player makes after the
// message: Upgrade Firmware again, or Link again first after a replug. Counts
// the upgrades that completed and read back the image despite the fault,
// those that failed cleanly and completed on a retry, and those that left a
// pedal no retry could write, which only a power cycle with B2 held would
// bring back. The goal for the last is 0; the exit code says whether it was.
//
// The clock is the tests' instant one, so a thousand upgrades of an 8 KiB
// image take seconds. Seeded: a run can be repeated exactly.
#include "connection/Connection.h"
#include "firmware/Bootloader.h"
#include "firmware/FirmwareImage.h"
#include "firmware/FirmwareUpgrade.h"
#include "port/D2xxLibrary.h"
#include "port/D2xxPort.h"
#include "tests/support/TestClock.h"
#include "tests/support/VirtualPedalControl.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <optional>
#include <random>
#include <stdexcept>

namespace kestra::soak {
namespace {

enum class Fault { Nack, Silence, StrayByte, Truncated, Unplug };
constexpr int FaultKinds = 5;

const char* faultName(Fault fault) {
    switch (fault) {
    case Fault::Nack:
        return "NACK";
    case Fault::Silence:
        return "silence";
    case Fault::StrayByte:
        return "stray byte";
    case Fault::Truncated:
        return "truncated reply";
    case Fault::Unplug:
        return "unplug and replug";
    }
    return "?";
}

// A player retries a few times before reaching for the power switch.
constexpr int PlayerRetries = 3;

class Soak {
public:
    explicit Soak(unsigned seed) : random_(seed) {
        if (!library_.loadFrom(test::virtualD2xxPath()))
            throw std::runtime_error(library_.errorString().toStdString());
    }

    struct Counts {
        int completed = 0;     // completed and read back, the fault notwithstanding
        int recovered = 0;     // failed with a message, completed on a retry
        int laterRetry = 0;    // of those, completed only on a second or third retry
        int unrecoverable = 0; // no retry wrote the image
        int wrongSuccess = 0;  // said complete, but the flash or the version is not the image's
        int faults[FaultKinds] = {};
    };

    void upgrade(int index) {
        // A pedal in its bootloader, linked and past the handshake, as
        // Upgrade Mode leaves it; a random image and version.
        pedal_.command(QStringLiteral("reset"));
        pedal_.command(QStringLiteral("bootloader"));
        const QByteArray image = randomImage();
        const int version = std::uniform_int_distribution<int>(1, 3)(random_);
        if (!link())
            throw std::runtime_error("the soak could not link the pedal");

        const auto fault = static_cast<Fault>(std::uniform_int_distribution<int>(0, 4)(random_));
        ++counts.faults[static_cast<int>(fault)];
        armFault(fault, image);
        const std::optional<UpgradeResult> first = tryOnce(image, version);
        disarm();
        if (first && first->outcome == UpgradeResult::Outcome::Completed) {
            if (installed(image, version)) {
                ++counts.completed;
            } else {
                ++counts.wrongSuccess;
                report(index, fault, QStringLiteral("announced complete without the image"));
            }
            return;
        }
        if (!first || first->message.isEmpty()) {
            // Lost carries the connection's own message; anything else must say why.
            if (!first || first->outcome != UpgradeResult::Outcome::Lost)
                report(index, fault, QStringLiteral("stopped without a message"));
        }
        for (int retry = 0; retry < PlayerRetries; ++retry) {
            if (!connection_.isOpen()) {
                pedal_.command(QStringLiteral("fault replug"));
                if (!link())
                    continue;
            }
            const std::optional<UpgradeResult> again = tryOnce(image, version);
            if (again && again->outcome == UpgradeResult::Outcome::Completed &&
                installed(image, version)) {
                ++counts.recovered;
                if (retry > 0) {
                    ++counts.laterRetry;
                    report(index, fault, QStringLiteral("completed on retry %1").arg(retry + 1));
                }
                return;
            }
        }
        ++counts.unrecoverable;
        report(index, fault, QStringLiteral("no retry wrote the image"));
    }

    Counts counts;
    bool verbose = false;

private:
    QByteArray randomImage() {
        QByteArray image(8 * 1024 - std::uniform_int_distribution<int>(0, 255)(random_), '\0');
        for (char& byte : image)
            byte = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random_));
        return image;
    }

    // Link with Upgrade Mode checked: a short handshake, then whatever it
    // takes to find the ROM at the step it was left, as the editor does.
    bool link() {
        if (connection_.isOpen())
            connection_.unlink();
        std::vector<PortDevice> devices;
        port_.listDevices(devices);
        if (devices.empty())
            return false;
        std::optional<ExchangeResult> result;
        const PortResult linked = connection_.link(
            devices.back(), bootloaderHandshake([&result](const ExchangeResult& r) { result = r; },
                                                SyncProbeTimeLimitMs));
        if (!linked.ok())
            return false;
        clock_.runUntil([&] { return result.has_value(); });
        if (result && !result->completed() && connection_.isOpen()) {
            result.reset();
            if (!resynchronise(connection_, [&result](const ExchangeResult& r) { result = r; }))
                return false;
            clock_.runUntil([&] { return result.has_value(); });
        }
        return result && result->completed() &&
               connection_.state() == Connection::State::Bootloader;
    }

    std::optional<UpgradeResult> tryOnce(const QByteArray& image, int version) {
        std::optional<UpgradeResult> result;
        UpgradeHooks hooks;
        hooks.confirm = [this](const BootloaderFacts&) {
            strike(Point::Question, 0);
            return true;
        };
        hooks.progress = [this](UpgradePhase phase, int bytes, int) {
            strike(phase == UpgradePhase::Verifying ? Point::Verifying : Point::Writing, bytes);
        };
        hooks.finished = [&result](const UpgradeResult& r) { result = r; };
        if (!startFirmwareUpgrade(connection_, image, version, hooks))
            return std::nullopt;
        if (!clock_.runUntil([&] { return result.has_value(); }))
            throw std::runtime_error("an upgrade never ended");
        // A silent pedal speaks again, and a stray byte has passed, by the
        // time the player has read the message.
        pedal_.command(QStringLiteral("fault silent off"));
        clock_.advance(1000);
        return result;
    }

    // Where the fault strikes: before the try, while the player reads the
    // question, or once a number of bytes have been written or read back.
    enum class Point { Start, Question, Writing, Verifying };

    void armFault(Fault fault, const QByteArray& image) {
        fault_ = fault;
        const int where = std::uniform_int_distribution<int>(0, 9)(random_);
        point_ = where == 0   ? Point::Start
                 : where == 1 ? Point::Question
                 : where < 6  ? Point::Writing
                              : Point::Verifying;
        atBytes_ = std::uniform_int_distribution<int>(0, static_cast<int>(image.size()))(random_);
        armed_ = true;
        if (point_ == Point::Start)
            strike(Point::Start, 0);
    }
    void disarm() { armed_ = false; }

    void strike(Point point, int bytes) {
        if (!armed_ || point != point_ || bytes < atBytes_)
            return;
        armed_ = false;
        switch (fault_) {
        case Fault::Nack:
            pedal_.command(QStringLiteral("fault nack %1")
                               .arg(std::uniform_int_distribution<int>(1, 3)(random_)));
            break;
        case Fault::Silence:
            pedal_.command(QStringLiteral("fault silent on"));
            break;
        case Fault::StrayByte:
            pedal_.command(QStringLiteral("fault garbage %1")
                               .arg(std::uniform_int_distribution<int>(0, 255)(random_), 2, 16,
                                    QLatin1Char('0')));
            break;
        case Fault::Truncated:
            pedal_.command(QStringLiteral("fault truncate %1")
                               .arg(std::uniform_int_distribution<int>(0, 8)(random_)));
            break;
        case Fault::Unplug:
            pedal_.command(QStringLiteral("fault unplug"));
            break;
        }
    }

    bool installed(const QByteArray& image, int version) {
        for (qsizetype done = 0; done < image.size(); done += 4096) {
            const qsizetype part = std::min<qsizetype>(4096, image.size() - done);
            const QByteArray flash =
                QByteArray::fromHex(pedal_
                                        .command(QStringLiteral("flash 0x%1 %2")
                                                     .arg(bootloader::FlashStart + done, 0, 16)
                                                     .arg(part))
                                        .trimmed()
                                        .toLatin1());
            if (flash != image.mid(done, part))
                return false;
        }
        const QStringList status =
            pedal_.command(QStringLiteral("status")).split(QLatin1Char('\n'));
        return status.contains(QStringLiteral("mode=app")) &&
               status.contains(QStringLiteral("firmware=%1").arg(version));
    }

    void report(int index, Fault fault, const QString& what) {
        if (verbose)
            std::printf("upgrade %d (%s): %s\n", index + 1, faultName(fault), qPrintable(what));
    }

    std::mt19937 random_;
    test::TestClock clock_;
    test::VirtualPedalControl pedal_;
    D2xxLibrary library_;
    D2xxPort port_{library_};
    Connection connection_{port_};
    Fault fault_ = Fault::Nack;
    Point point_ = Point::Start;
    int atBytes_ = 0;
    bool armed_ = false;
};

} // namespace
} // namespace kestra::soak

int main(int argc, char** argv) {
    using namespace kestra::soak;
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription(
        "Firmware upgrades on the virtual pedal, each with one random fault, then retried.");
    options.addHelpOption();
    const QCommandLineOption upgrades("upgrades", "Upgrades to run.", "N", "1000");
    const QCommandLineOption seed("seed", "Seed of the random faults.", "S", "1");
    const QCommandLineOption verbose("verbose", "Name each upgrade that did not complete.");
    options.addOptions({upgrades, seed, verbose});
    options.process(app);

    try {
        Soak soak(options.value(seed).toUInt());
        soak.verbose = options.isSet(verbose);
        const int count = std::max(1, options.value(upgrades).toInt());
        for (int i = 0; i < count; ++i)
            soak.upgrade(i);
        const Soak::Counts& c = soak.counts;
        std::printf("%d firmware upgrades, one random fault each, seed %s:\n", count,
                    qPrintable(options.value(seed)));
        std::printf("  faults: %d NACK, %d silence, %d stray byte, %d truncated reply, %d unplug "
                    "and replug\n",
                    c.faults[0], c.faults[1], c.faults[2], c.faults[3], c.faults[4]);
        std::printf("  completed and verified despite the fault   %d\n", c.completed);
        std::printf("  failed cleanly, recovered on a retry        %d (%d only on a second or "
                    "third)\n",
                    c.recovered, c.laterRetry);
        std::printf("  unrecoverable without B2 at power-up        %d\n", c.unrecoverable);
        std::printf("  announced complete without the image        %d\n", c.wrongSuccess);
        return c.unrecoverable == 0 && c.wrongSuccess == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "firmware_soak: %s\n", e.what());
        return 2;
    }
}
