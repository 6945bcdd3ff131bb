// The firmware upgrade on the virtual pedal with its wire timing on and the
// system clock: how long the editor takes from the erase to Go for the
// largest image, beside the time its bytes need on the line at 8E1 (11 bits
// a byte, both ways) plus the erase and programming time the pedal models.
// The goal is at most 1.3 times that. stm32flash (./kestra bench installs it)
// then erases, writes, verifies and starts the same image on kestra-pedal-sim
// in the same run, at the same latency timer; the editor's erase to Go is to
// take at most 0.95 times as long.
#include "connection/Connection.h"
#include "firmware/Bootloader.h"
#include "firmware/FirmwareImage.h"
#include "firmware/FirmwareUpgrade.h"
#include "pedal/rom_bootloader.h"
#include "port/D2xxLibrary.h"
#include "port/D2xxPort.h"
#include "protocol/HexText.h"
#include "tests/support/VirtualPedalControl.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <vector>

namespace kestra::bench {
namespace {

constexpr double BitsPerByte = 11; // 8E1
constexpr double LineBaud = 115200;

double lineMs(qint64 bytes) {
    return static_cast<double>(bytes) * BitsPerByte * 1000.0 / LineBaud;
}

// What the pedal models for the flash: the mass erase, and each half-word.
double flashMs(qint64 programmedBytes, int erases) {
    using sim::RomBootloader;
    return static_cast<double>(erases * RomBootloader::kMassEraseUs) / 1000.0 +
           static_cast<double>((programmedBytes + 1) / 2 * RomBootloader::kHalfWordProgramNs) / 1e6;
}

bool spinUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return done();
}

qint64 hexBytes(const QStringList& writes) {
    qint64 bytes = 0;
    for (const QString& write : writes)
        bytes += write.size() / 2;
    return bytes;
}

// The bytes the ROM sends from the erase on: ACKs, and the data read back.
qint64 romBytesFromTheErase(const FirmwareChunks& chunks) {
    qint64 bytes = 2; // Erase and the global erase
    for (const FirmwareChunk& chunk : chunks.chunks)
        bytes += 3 + 3 + chunk.bytes.size(); // written; read back: 3 ACKs and the data
    bytes += 3 + 3 + 8;                      // the version record, and read back
    return bytes + 2;                        // Go
}

struct Run {
    double tryMs = 0;     // the click to the end: the sync, Get, Get ID and version too
    double upgradeMs = 0; // the erase to Go's ACK
    double writeMs = 0;   // the erase to the first chunk read back
};

class EditorUpgrade {
public:
    EditorUpgrade() {
        if (!library_.loadFrom(test::virtualD2xxPath()))
            throw std::runtime_error(library_.errorString().toStdString());
    }

    Run run(const QByteArray& image, int version, qint64* hostBytes) {
        pedal_.command(QStringLiteral("reset"));
        pedal_.command(QStringLiteral("bootloader"));
        pedal_.command(QStringLiteral("timing on"));
        std::vector<PortDevice> devices;
        port_.listDevices(devices);
        if (devices.empty())
            throw std::runtime_error("the virtual pedal lists no device");
        if (!connection_.link(devices.back()).ok())
            throw std::runtime_error("Link failed");
        std::optional<ExchangeResult> handshake;
        connection_.run(bootloaderHandshake([&](const ExchangeResult& r) { handshake = r; }));
        if (!spinUntil([&] { return handshake.has_value(); }, 10000) || !handshake->completed())
            throw std::runtime_error("the bootloader did not answer the handshake");
        pedal_.clearWrites();

        QElapsedTimer clock;
        qint64 erasedNs = 0;
        qint64 verifyNs = 0;
        std::optional<UpgradeResult> result;
        UpgradeHooks hooks;
        hooks.confirm = [](const BootloaderFacts&) { return true; };
        hooks.progress = [&](UpgradePhase phase, int, int) {
            if (phase == UpgradePhase::Erasing)
                erasedNs = clock.nsecsElapsed();
            if (phase == UpgradePhase::Verifying && verifyNs == 0)
                verifyNs = clock.nsecsElapsed();
        };
        hooks.finished = [&](const UpgradeResult& r) { result = r; };
        clock.start();
        QString why;
        if (!startFirmwareUpgrade(connection_, image, version, hooks, &why))
            throw std::runtime_error(why.toStdString());
        if (!spinUntil([&] { return result.has_value(); }, 120000))
            throw std::runtime_error("the upgrade never ended");
        const qint64 endNs = clock.nsecsElapsed();
        if (result->outcome != UpgradeResult::Outcome::Completed)
            throw std::runtime_error("the upgrade failed: " + result->message.toStdString());
        const QStringList writes = pedal_.writes();
        *hostBytes = hexBytes(writes.mid(writes.indexOf(QStringLiteral("43BC"))));
        connection_.unlink();
        return {static_cast<double>(endNs) / 1e6, static_cast<double>(endNs - erasedNs) / 1e6,
                static_cast<double>(verifyNs - erasedNs) / 1e6};
    }

private:
    test::VirtualPedalControl pedal_;
    D2xxLibrary library_;
    D2xxPort port_{library_};
    Connection connection_{port_};
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// stm32flash writing and verifying the image to kestra-pedal-sim with its
// wire timing on; nothing when stm32flash is not installed.
std::optional<double> stm32flashMs(const QString& stm32flash, const QByteArray& image,
                                   int latencyMs, QString* note) {
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("image.bin"));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(image) != image.size())
        throw std::runtime_error("cannot write the image file");
    out.close();

    QProcess sim;
    sim.start(QStringLiteral(KESTRA_PEDAL_SIM), {});
    if (!sim.waitForStarted(5000))
        throw std::runtime_error("kestra-pedal-sim did not start");
    const auto readLine = [&sim] {
        while (!sim.canReadLine())
            if (!sim.waitForReadyRead(5000))
                throw std::runtime_error("kestra-pedal-sim said nothing");
        return QString::fromUtf8(sim.readLine()).trimmed();
    };
    const auto command = [&](const char* line) {
        sim.write(line);
        sim.write("\n");
        for (QString answer = readLine(); answer != QLatin1String("ok"); answer = readLine())
            if (answer.startsWith(QLatin1String("error")))
                throw std::runtime_error(answer.toStdString());
    };
    const QString tty = readLine();
    command("bootloader");
    command("timing on");
    command(QStringLiteral("latency %1").arg(latencyMs).toUtf8().constData());

    QProcess flash;
    QElapsedTimer clock;
    clock.start();
    // A pseudo-terminal carries no parity: 8N1 on the host's side, while
    // the simulator takes the line as 8E1 once the ROM listens.
    flash.start(stm32flash,
                {QStringLiteral("-m"), QStringLiteral("8n1"), QStringLiteral("-b"),
                 QStringLiteral("115200"), QStringLiteral("-w"), file, QStringLiteral("-v"),
                 QStringLiteral("-g"), QStringLiteral("0x08000000"), tty});
    const bool ended = flash.waitForFinished(300000);
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    sim.closeWriteChannel();
    sim.waitForFinished(5000);
    if (!ended || flash.exitStatus() != QProcess::NormalExit || flash.exitCode() != 0) {
        *note = QString::fromUtf8(flash.readAllStandardError()).trimmed();
        return std::nullopt;
    }
    return ms;
}

} // namespace
} // namespace kestra::bench

int main(int argc, char** argv) {
    using namespace kestra;
    using namespace kestra::bench;
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription(
        "Times the firmware upgrade on the virtual pedal with its wire timing on.");
    options.addHelpOption();
    const QCommandLineOption runs("runs", "Upgrades to time.", "N", "3");
    options.addOption(runs);
    options.process(app);

    try {
        const QString imageName = QStringLiteral("Firmware_1");
        QString error;
        const std::optional<QByteArray> image = loadFirmwareImage(imageName, &error);
        if (!image)
            throw std::runtime_error(error.toStdString());
        const FirmwareChunks chunks = splitFirmwareIntoChunks(*image);

        EditorUpgrade editor;
        std::vector<double> tries, upgrades, writing;
        qint64 hostBytes = 0;
        for (int i = 0; i < std::max(1, options.value(runs).toInt()); ++i) {
            const Run run = editor.run(*image, firmwareVersionOf(imageName), &hostBytes);
            tries.push_back(run.tryMs);
            upgrades.push_back(run.upgradeMs);
            writing.push_back(run.writeMs);
        }
        const qint64 romBytes = romBytesFromTheErase(chunks);
        const double line = lineMs(hostBytes + romBytes);
        const double programming = flashMs(image->size() + 8, 1);
        const double goal = line + programming;
        std::printf("Firmware upgrade of %s (%lld bytes), virtual pedal with wire timing on,\n"
                    "115200 baud 8E1, latency timer %d ms during the upgrade; %zu runs.\n\n",
                    qPrintable(imageName), static_cast<long long>(image->size()),
                    UpgradeLatencyTimerMs, upgrades.size());
        std::printf("  on the line      %lld bytes out, %lld back: %.0f ms\n",
                    static_cast<long long>(hostBytes), static_cast<long long>(romBytes), line);
        std::printf("  flash            mass erase and %lld half-words: %.0f ms\n",
                    static_cast<long long>((image->size() + 9) / 2), programming);
        std::printf("  line + flash     %.0f ms\n", goal);
        std::printf("  erase to Go      median %.0f ms (min %.0f, max %.0f): %.2f x line + flash "
                    "(goal 1.30)\n",
                    median(upgrades), *std::min_element(upgrades.begin(), upgrades.end()),
                    *std::max_element(upgrades.begin(), upgrades.end()), median(upgrades) / goal);
        std::printf("  of which         %.0f ms erasing and writing, %.0f ms reading back\n",
                    median(writing), median(upgrades) - median(writing));
        std::printf("  whole try        median %.0f ms (with the sync, Get, Get ID and the "
                    "installed version)\n",
                    median(tries));

        const QString stm32flash = QStandardPaths::findExecutable(QStringLiteral("stm32flash"));
        if (stm32flash.isEmpty()) {
            std::printf("\nstm32flash is not installed: no comparison.\n");
            return 0;
        }
        QString note;
        const std::optional<double> theirs =
            stm32flashMs(stm32flash, *image, UpgradeLatencyTimerMs, &note);
        if (!theirs) {
            std::printf("\nstm32flash could not write to kestra-pedal-sim: %s\n",
                        qPrintable(note.replace('\n', QStringLiteral("; "))));
            return 0;
        }
        // stm32flash erases only the pages it writes, one erase each.
        const int pages = static_cast<int>((image->size() + 1023) / 1024);
        std::printf("\nstm32flash -m 8n1 -w -v -g to kestra-pedal-sim (wire timing on, latency "
                    "timer %d ms, %d pages erased):\n"
                    "  %.0f ms in all, %.2f x the editor's line + flash (whose erase is one "
                    "mass erase; its %d page erases add %.0f ms)\n",
                    UpgradeLatencyTimerMs, pages, *theirs, *theirs / goal, pages,
                    flashMs(0, pages) - flashMs(0, 1));
        std::printf("  the editor's erase to Go: %.2f x stm32flash's (goal 0.95): %s\n",
                    median(upgrades) / *theirs,
                    median(upgrades) <= 0.95 * *theirs ? "met" : "MISSED");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_firmware: %s\n", e.what());
        return 1;
    }
    return 0;
}
