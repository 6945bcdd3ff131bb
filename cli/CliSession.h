// kestra-cli's work: one command against the pedal, through the same
// connection and operations as the editor's windows. Nothing here waits:
// the session starts the command and emits finished() with the exit code.
#pragma once

#include "catalogue/Catalogue.h"
#include "connection/Connection.h"
#include "editor/ParameterModel.h"
#include "operations/PedalOperations.h"

#include <QObject>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>

namespace kestra {

class ClockTimer;

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

    // How long the pedal may take to say "Upload complete".
    static constexpr int UploadConfirmLimitMs = 10000;

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
    // "No device found" and what to check on the backend in use.
    QString noDevice() const;
    // Links the last adapter listed; first runs as the link's first exchange.
    bool linkPedal(std::optional<Exchange> first);
    // Links and reads the stored effect, then then() with its name loaded
    // into the model.
    void withStoredEffect(std::function<void()> then);

    void listDevices();
    void printStoredEffect();
    void printParameterState();
    void setParameter(const QString& parameter, const QString& value);
    void upload(const QString& effect, const QString& bank);
    void dumpEeprom(const QString& device, const QString& path);
    void writeFirmware(const QString& image);

    Connection& connection_;
    QTextStream& out_;
    QTextStream& err_;
    std::function<std::optional<QString>()> readLine_;
    Catalogue catalogue_;
    ParameterModel model_;
    StoredEffectReply stored_;
    QString storedName_;
    std::unique_ptr<ClockTimer> deadline_;
    bool finished_ = false;
};

} // namespace kestra
