#include "operations/Backup.h"

#include "catalogue/Catalogue.h"
#include "connection/Connection.h"
#include "core/UserFolders.h"
#include "editor/ParameterModel.h"
#include "operations/Configuration.h"
#include "protocol/HexText.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <memory>

namespace kestra {

namespace {

const QByteArray FirstLine = "Kestra pedal backup 1";
const QByteArray ConfigurationSection = "[Configuration]";
const QByteArray Eeprom50Section = "[EEPROM 50]";
const QByteArray Eeprom51Section = "[EEPROM 51]";
constexpr int DumpBytesPerLine = 32;

const char DateKey[] = "Date";
const char EditorVersionKey[] = "Editor-Version";
const char FirmwareVersionKey[] = "Firmware-Version";
const char EffectNumberKey[] = "Effect-Number";
const char EffectVersionKey[] = "Effect-Version";
const char EffectNameKey[] = "Effect-Name";

QByteArray dumpLines(const QByteArray& dump) {
    QByteArray text;
    for (qsizetype at = 0; at < dump.size(); at += DumpBytesPerLine)
        text += dump.mid(at, DumpBytesPerLine).toHex().toUpper() + '\n';
    return text;
}

QString damaged(const QString& detail) {
    return QStringLiteral("The backup file is damaged or incomplete (%1), so nothing was "
                          "restored.\n\nChoose another backup file.")
        .arg(detail);
}

BackupReading refused(const QString& error) {
    return {std::nullopt, error};
}

} // namespace

QString backupFolder() {
    return documentsFolder() + QStringLiteral("/Quorvane/Kestra/Backup");
}

QString backupFileName(const QDateTime& date) {
    return QStringLiteral("Kestra backup ") + date.toString(QStringLiteral("yyyy-MM-dd HH-mm")) +
           QStringLiteral(".kbackup");
}

QByteArray composeBackup(const Backup& b) {
    QByteArray text = FirstLine + '\n';
    const auto field = [&text](const char* key, const QString& value) {
        text += QByteArray(key) + ": " + value.toUtf8() + '\n';
    };
    field(DateKey, b.date.toUTC().toString(Qt::ISODate));
    field(EditorVersionKey, b.editorVersion);
    field(FirmwareVersionKey, QString::number(b.firmwareVersion));
    field(EffectNumberKey, QString::number(b.effectNumber));
    field(EffectVersionKey, QString::number(b.effectVersion));
    field(EffectNameKey, b.effectName);
    text += '\n';
    // The configuration's lines as a preset file holds them, one a line.
    text += ConfigurationSection + '\n';
    for (const QString& line : b.configuration.split(QLatin1Char('\r'), Qt::SkipEmptyParts))
        text += line.toUtf8() + '\n';
    text += Eeprom50Section + '\n' + dumpLines(b.eeprom50);
    text += Eeprom51Section + '\n' + dumpLines(b.eeprom51);
    return text;
}

BackupReading parseBackup(const QByteArray& bytes) {
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray& line : lines) {
        // A file carried over to another system may end its lines with CR LF.
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (lines.isEmpty() || lines[0] != FirstLine)
        return refused(QStringLiteral("This is not a backup of the pedal: its first line is not "
                                      "\"%1\".\n\nChoose a file saved with Back Up Pedal.")
                           .arg(QString::fromLatin1(FirstLine)));

    Backup b;
    QHash<QByteArray, QString> fields;
    qsizetype at = 1;
    for (; at < lines.size() && !lines[at].isEmpty(); ++at) {
        const qsizetype colon = lines[at].indexOf(": ");
        if (colon < 0)
            return refused(damaged(QStringLiteral("line %1 is not \"name: value\"").arg(at + 1)));
        fields.insert(lines[at].left(colon), QString::fromUtf8(lines[at].mid(colon + 2)));
    }
    const auto number = [&fields](const char* key, int* value) {
        bool ok = false;
        *value = fields.value(key).toInt(&ok);
        return ok;
    };
    for (const auto& [key, value] : {std::pair{FirmwareVersionKey, &b.firmwareVersion},
                                     std::pair{EffectNumberKey, &b.effectNumber},
                                     std::pair{EffectVersionKey, &b.effectVersion}}) {
        if (!number(key, value))
            return refused(damaged(QStringLiteral("its %1 is missing or not a number").arg(key)));
    }
    b.date = QDateTime::fromString(fields.value(DateKey), Qt::ISODate);
    if (!b.date.isValid())
        return refused(damaged(QStringLiteral("its date is missing or not a date")));
    b.editorVersion = fields.value(EditorVersionKey);
    b.effectName = fields.value(EffectNameKey);

    // The sections, each up to the next.
    QHash<QByteArray, QList<QByteArray>> sections;
    QByteArray section;
    for (++at; at < lines.size(); ++at) {
        const QByteArray& line = lines[at];
        if (line.startsWith('[')) {
            section = line;
            sections.insert(section, {});
        } else if (!line.isEmpty() && !section.isEmpty()) {
            sections[section].append(line);
        }
    }
    for (const QByteArray& name : {ConfigurationSection, Eeprom50Section, Eeprom51Section}) {
        if (!sections.contains(name))
            return refused(damaged(
                QStringLiteral("the section %1 is missing").arg(QString::fromLatin1(name))));
    }
    for (const QByteArray& line : sections.value(ConfigurationSection))
        b.configuration += QString::fromUtf8(line) + QLatin1Char('\r');
    for (const auto& [name, dump] :
         {std::pair{Eeprom50Section, &b.eeprom50}, std::pair{Eeprom51Section, &b.eeprom51}}) {
        const QByteArray hex = sections.value(name).join();
        const QString what = QString::fromLatin1(name.mid(1, name.size() - 2));
        if (!isHexText(QString::fromLatin1(hex)) || hex.size() % 2 != 0)
            return refused(damaged(QStringLiteral("%1 is not hexadecimal").arg(what)));
        *dump = QByteArray::fromHex(hex);
        if (dump->size() != EepromBytes)
            return refused(damaged(QStringLiteral("%1 holds %2 bytes, not %3")
                                       .arg(what)
                                       .arg(dump->size())
                                       .arg(EepromBytes)));
    }
    return {b, QString()};
}

bool writeBackupFile(const QString& path, const Backup& backup, QString* error) {
    QSaveFile file(path);
    const QByteArray bytes = composeBackup(backup);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

BackupReading readBackupFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refused(
            QStringLiteral("The backup file %1 cannot be read: %2.").arg(path, file.errorString()));
    return parseBackup(file.readAll());
}

namespace {

// One backup being read: each exchange's end starts the next.
class BackupReader : public std::enable_shared_from_this<BackupReader> {
public:
    BackupReader(Connection& connection, const Catalogue& catalogue,
                 std::function<void(const Outcome<Backup>&)> done)
        : connection_(connection), catalogue_(catalogue), done_(std::move(done)) {}

    bool start(QString* why) {
        auto self = shared_from_this();
        return connection_.run(readStoredEffect([self](const Outcome<StoredEffectReply>& outcome) {
                                   self->takeStoredEffect(outcome);
                               }),
                               why);
    }

private:
    void takeStoredEffect(const Outcome<StoredEffectReply>& outcome) {
        if (!outcome.ok())
            return finish(outcome.result, outcome.error);
        const StoredEffectReply& reply = *outcome.value;
        backup_.firmwareVersion = reply.firmwareVersion;
        if (!reply.empty) {
            backup_.effectNumber = reply.effectNumber;
            backup_.effectVersion = reply.effectVersion;
            backup_.effectName = catalogue_.effectName(reply.effectNumber).value_or(QString());
        }
        QString error;
        if (!backup_.effectName.isEmpty() &&
            model_.load(backup_.effectName, &error, catalogue_.store())) {
            auto self = shared_from_this();
            return next(requestParameterState(
                model_.parameterCount(), model_.readbackCount(),
                [self](const Outcome<ParameterState>& state) { self->takeState(state); }));
        }
        readEeprom50();
    }

    void takeState(const Outcome<ParameterState>& outcome) {
        if (!outcome.ok())
            return finish(outcome.result, outcome.error);
        model_.apply(*outcome.value);
        backup_.configuration = composeConfiguration(
            configurationOf(model_, backup_.effectNumber, backup_.effectVersion));
        readEeprom50();
    }

    void readEeprom50() {
        auto self = shared_from_this();
        next(readEeprom(QStringLiteral("50"), [self](const Outcome<QByteArray>& dump) {
            self->takeDump(dump, self->backup_.eeprom50, [self] { self->readEeprom51(); });
        }));
    }

    void readEeprom51() {
        auto self = shared_from_this();
        next(readEeprom(QStringLiteral("51"), [self](const Outcome<QByteArray>& dump) {
            self->takeDump(dump, self->backup_.eeprom51, [self] {
                self->finish({ExchangeResult::Outcome::Completed, {}}, {});
            });
        }));
    }

    void takeDump(const Outcome<QByteArray>& outcome, QByteArray& into,
                  const std::function<void()>& then) {
        if (!outcome.ok())
            return finish(outcome.result, outcome.error);
        // A dump of another size could not be read back from the file.
        if (outcome.value->size() != EepromBytes)
            return finish(outcome.result,
                          QStringLiteral("the pedal's EEPROM dump held %1 bytes, not %2.\n\n"
                                         "Try again.")
                              .arg(outcome.value->size())
                              .arg(EepromBytes));
        into = *outcome.value;
        then();
    }

    void next(Exchange exchange) {
        QString why;
        if (!connection_.run(std::move(exchange), &why))
            finish({ExchangeResult::Outcome::Failed, why}, why);
    }

    void finish(const ExchangeResult& result, const QString& error) {
        Outcome<Backup> outcome{result, std::nullopt, error};
        if (result.completed() && error.isEmpty())
            outcome.value = backup_;
        done_(outcome);
    }

    Connection& connection_;
    const Catalogue& catalogue_;
    std::function<void(const Outcome<Backup>&)> done_;
    Backup backup_;
    ParameterModel model_;
};

} // namespace

bool collectBackup(Connection& connection, const Catalogue& catalogue,
                   std::function<void(const Outcome<Backup>&)> done, QString* why) {
    return std::make_shared<BackupReader>(connection, catalogue, std::move(done))->start(why);
}

} // namespace kestra
