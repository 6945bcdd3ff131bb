#include "port/Backends.h"

#include "core/Settings.h"

namespace kestra {

std::optional<BackendOptions> takeBackendOptions(QStringList& arguments, QString* error) {
    BackendOptions options;
    const auto fail = [error](const QString& why) -> std::optional<BackendOptions> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QString portPrefix = QStringLiteral("--port=");
    for (qsizetype i = 0; i < arguments.size();) {
        const QString argument = arguments[i];
        if (argument == QLatin1String("--virtual")) {
            options.virtualPedal = true;
            arguments.removeAt(i);
        } else if (argument == QLatin1String("--port")) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty())
                return fail(QStringLiteral("--port needs the path of a serial device."));
            options.serialPath = arguments[i + 1];
            arguments.remove(i, 2);
        } else if (argument.startsWith(portPrefix)) {
            options.serialPath = argument.mid(portPrefix.size());
            if (options.serialPath.isEmpty())
                return fail(QStringLiteral("--port needs the path of a serial device."));
            arguments.removeAt(i);
        } else {
            ++i;
        }
    }
    if (options.virtualPedal && !options.serialPath.isEmpty())
        return fail(QStringLiteral("--virtual and --port exclude each other."));
    return options;
}

QString backendOptionsHelp() {
    return QStringLiteral(
        "  --virtual                      use the built-in virtual pedal\n"
        "  --port PATH                    use the serial device PATH (for example the\n"
        "                                 pseudo-terminal of kestra-pedal-sim)\n");
}

Backends::Backends(BackendOptions options, bool remember)
    : options_(std::move(options)), remember_(remember), serial_(options_.serialPath) {
    if (remember_) {
        if (const auto text = settings::readText(settings::connectionFile()))
            virtualRemembered_ = settings::parseConnection(*text).value_or(false);
    }
    library_.load();
    chooseAgain();
}

bool Backends::chooseAgain() {
    if (port_.isOpen())
        return false;
    BackendFacts facts;
    facts.virtualAsked = options_.virtualPedal;
    facts.serialPathGiven = !options_.serialPath.isEmpty();
    facts.virtualRemembered = virtualRemembered_;
    facts.d2xxNamed = !qEnvironmentVariableIsEmpty("KESTRA_D2XX_LIBRARY");
    if (!facts.virtualAsked && !facts.serialPathGiven && !facts.virtualRemembered &&
        !facts.d2xxNamed) {
        // Unlisted (a missing library) counts as listing nothing.
        d2xx_.listDevices(facts.d2xxDevices);
        serial_.listDevices(facts.serialDevices);
    }
    const BackendDecision decision = decideBackend(facts);
    reason_ = decision.reason;
    const Backend before = port_.backend();
    port_.select(decision.backend);
    return port_.backend() != before;
}

bool Backends::pick(bool virtualPedal, QString* saveError) {
    if (port_.isOpen())
        return false;
    options_.virtualPedal = virtualPedal;
    virtualRemembered_ = virtualPedal;
    if (remember_) {
        const QString error = settings::writeConnection(virtualPedal);
        if (!error.isEmpty() && saveError)
            *saveError = settings::saveErrorMessage(settings::connectionFile(), error);
    }
    chooseAgain();
    return true;
}

} // namespace kestra
