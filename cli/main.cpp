// kestra-cli: one command against the pedal, for scripts. Links only the
// layers below the windows: no Qt Widgets.
#include "catalogue/Catalogue.h"
#include "cli/CliSession.h"
#include "core/UserFolders.h"
#include "port/Backends.h"

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <unistd.h>

namespace {
std::atomic<bool> upgrading{false};

// An interrupt while the firmware is written would leave the pedal without
// one: it is refused then, and ends the program at any other time.
extern "C" void onInterrupt(int signal) {
    if (!upgrading) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    static const char refusal[] =
        "\nThe firmware is being written: wait until the upgrade has ended.\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, refusal, sizeof refusal - 1);
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestra-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRA_EDITOR_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    // A fresh virtual pedal instead of the one kept from the last run.
    const bool virtualReset = arguments.removeAll(QStringLiteral("--virtual-reset")) > 0;
    if (virtualReset)
        arguments.append(QStringLiteral("--virtual"));
    QString error;
    std::optional<kestra::BackendOptions> options = kestra::takeBackendOptions(arguments, &error);
    if (!options) {
        err << error << "\n\n" << kestra::CliSession::helpText();
        return kestra::CliSession::Usage;
    }
    kestra::Backends backends(*options, false);
    // The virtual pedal holds from one run to the next what a real one would.
    const QString keptPedal = kestra::dataFolder() + QStringLiteral("/virtual-pedal.state");
    if (options->virtualPedal) {
        const QString unread = backends.virtualPedal().keepStateIn(keptPedal, virtualReset);
        if (!unread.isEmpty())
            err << "The virtual pedal starts afresh: " << unread << Qt::endl;
    }
    kestra::Connection connection(backends.port());
    connection.setKnownEffects(kestra::Catalogue().knownEffects());
    kestra::CliSession session(connection, out, err, [&in]() -> std::optional<QString> {
        QString line;
        if (!in.readLineInto(&line))
            return std::nullopt;
        return line;
    });
    QObject::connect(&connection, &kestra::Connection::stateChanged,
                     [](kestra::Connection::State state) {
                         upgrading = state == kestra::Connection::State::Upgrading;
                     });
    // The program ends once the last bytes (Live off, an upload's tail) have
    // left and the device is closed.
    QObject::connect(&session, &kestra::CliSession::finished, [&](int code) {
        connection.whenClosed([&, code] {
            if (const QString& why = backends.virtualPedal().keepError(); !why.isEmpty())
                err << "The virtual pedal's state was not kept in " << keptPedal << ": " << why
                    << Qt::endl;
            QCoreApplication::exit(code);
        });
    });
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    QTimer::singleShot(0, &session, [&] { session.start(arguments); });
    return QCoreApplication::exec();
}
