// Reaches the virtual pedal behind the stand-in D2XX library: the same
// library file the editor binds at run time, so both see one pedal.
#pragma once

#include "pedal/kestra_sim.h"

#include <QString>
#include <QStringList>
#include <dlfcn.h>
#include <stdexcept>
#include <string>

namespace kestra::test {

// Path of the stand-in library built with the tests.
inline QString virtualD2xxPath() {
    return QStringLiteral(KESTRA_VIRTUAL_D2XX);
}

class VirtualPedalControl {
public:
    VirtualPedalControl() {
        handle_ = dlopen(KESTRA_VIRTUAL_D2XX, RTLD_NOW);
        if (!handle_)
            throw std::runtime_error(dlerror());
        command_ = reinterpret_cast<decltype(command_)>(dlsym(handle_, "KestraSim_Command"));
        if (!command_)
            throw std::runtime_error("KestraSim_Command is missing");
    }
    ~VirtualPedalControl() { dlclose(handle_); }
    VirtualPedalControl(const VirtualPedalControl&) = delete;
    VirtualPedalControl& operator=(const VirtualPedalControl&) = delete;

    // Runs a control command; throws when the pedal refuses it.
    QString command(const QString& line) {
        std::string answer(1 << 20, '\0');
        const int rc = command_(line.toUtf8().constData(), answer.data(),
                                static_cast<unsigned>(answer.size()));
        answer.resize(std::char_traits<char>::length(answer.data()));
        if (rc != 0)
            throw std::runtime_error("pedal command '" + line.toStdString() + "': " + answer);
        return QString::fromStdString(answer);
    }

    // The pedal's time in milliseconds (`clock MS`), without the big answer
    // buffer of command(): called whenever a test clock moves.
    void setClock(qint64 ms) {
        char answer[128];
        const std::string line = "clock " + std::to_string(ms);
        if (command_(line.c_str(), answer, sizeof answer) != 0)
            throw std::runtime_error(std::string("pedal clock: ") + answer);
    }

    // The host's writes since the last clear, one upper-case hex text each.
    QStringList writes() {
        return command(QStringLiteral("writes")).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void clearWrites() { command(QStringLiteral("clear-writes")); }

private:
    void* handle_ = nullptr;
    int (*command_)(const char*, char*, unsigned) = nullptr;
};

} // namespace kestra::test
