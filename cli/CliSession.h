// kestra-cli's work: one command against the pedal, as a call of the same
// pedal session as the editor's windows; here only the arguments are read
// and the outcome printed. Nothing here waits: the command starts, and
// finished() brings the exit code.
#pragma once

#include "cli/TerminalDialogs.h"
#include "session/PedalSession.h"

#include <QObject>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>

namespace kestra {

class CliSession : public QObject {
    Q_OBJECT

public:
    enum ExitCode {
        Done = 0,
        Usage = 1,       // the command line is wrong
        NotLinked = 2,   // no pedal could be linked
        PedalFailed = 3, // the pedal did not answer, refused, or went away
        BadInput = 4,    // an unknown effect or parameter, an unusable image or file
        Cancelled = 5,   // the player said no
    };

    // readLine answers the one question a command asks (empty when the
    // input ended).
    CliSession(Connection& connection, QTextStream& out, QTextStream& err,
               std::function<std::optional<QString>()> readLine);
    ~CliSession() override;

    // Starts the command of arguments (without the program name).
    void start(const QStringList& arguments);
    // The upgrade runs: an interrupt now would leave the pedal without
    // firmware.
    bool upgrading() const;

    static QString helpText();

signals:
    void finished(int exitCode);

private:
    void finish(int code, const QString& message = {});
    void failed(const QString& error, int code = PedalFailed);
    // Ends with the session's outcome: its text, and the exit code of its status.
    void finish(const SessionResult& result);
    // "No device found" and what to check on the backend in use.
    QString noDevice() const;
    // The adapter listed last, as the editor takes it; nothing (and the
    // command ended) when there is none.
    std::optional<PortDevice> pedalDevice();
    // Opens the pedal for an operation of its own.
    bool openPedal();
    // Links and reads the stored effect, then then() with it open in the
    // session.
    void withStoredEffect(std::function<void()> then);

    void listDevices();
    // The catalogue's effects by category, or those of one category.
    void listEffects(const QString& category);
    void printStoredEffect();
    void printParameterState();
    void printState();
    void setParameter(const QString& parameter, const QString& value);
    void upload(const QString& effect, const QString& bank);
    void dumpEeprom(const QString& device, const QString& path);
    void writeFirmware(const QString& image);

    Connection& connection_;
    QTextStream& out_;
    QTextStream& err_;
    TerminalDialogs dialogs_;
    PedalSession session_;
    bool finished_ = false;
};

} // namespace kestra
