#include "operations/Configuration.h"

#include "core/DebugLog.h"
#include "core/UserFolders.h"
#include "editor/ParameterModel.h"
#include "protocol/HexText.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <limits>

namespace kestra {

namespace {

constexpr char Bom[] = "\xEF\xBB\xBF";
constexpr int ValueShift = 13;

// 1-based positions of the fields in the joined text.
constexpr int NumberPosition = 1;
constexpr int VersionPosition = 7;
constexpr int CountPosition = 11;
constexpr int BodyPosition = 15;

QString hexField(unsigned value, int width) {
    return QString::number(value, 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

QString damaged(const QString& detail) {
    return QStringLiteral("The preset file is damaged or incomplete (%1), so nothing was "
                          "loaded.\n\nSave the configuration from the pedal again, or choose "
                          "another preset file.")
        .arg(detail);
}

// Reads the fields of a body one by one; the first missing or non-hex field
// ends the reading with its description.
class FieldReader {
public:
    explicit FieldReader(const QString& text) : text_(text) {}

    // The field of length characters at 1-based position, or nothing (and
    // error()) when the text ends before it or it is not hexadecimal.
    std::optional<QString> hex(int position, int length, const QString& what) {
        const QString field = raw(position, length, what);
        if (!error_.isEmpty())
            return std::nullopt;
        if (!isHexText(field)) {
            error_ = QStringLiteral("%1 is \"%2\", not a hexadecimal number")
                         .arg(what, printable(field));
            return std::nullopt;
        }
        return field;
    }

    QString raw(int position, int length, const QString& what) {
        if (text_.size() < position - 1 + length) {
            error_ = QStringLiteral("it ends before %1").arg(what);
            return {};
        }
        return text_.mid(position - 1, length);
    }

    const QString& error() const { return error_; }

private:
    static QString printable(const QString& field) {
        QString shown = field;
        shown.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
        shown.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        return shown;
    }

    const QString& text_;
    QString error_;
};

} // namespace

QString presetFolder() {
    return documentsFolder() + QStringLiteral("/Quorvane/Kestra/Preset");
}

QString composeConfiguration(const Configuration& c) {
    QString text;
    const auto line = [&text](const QString& field) {
        text += field;
        text += QLatin1Char('\r');
    };
    const int n = std::clamp(c.numOfParameters, 0, ConfigurationMaxParameters);
    const int r = std::clamp(c.numOfReadbacks, 0, ConfigurationMaxReadbacks);
    line(hexField(static_cast<unsigned>(c.effectNumber) & 0xFFFFu, 4));
    line(hexField(static_cast<unsigned>(c.effectVersion) & 0xFFu, 2));
    line(hexField(static_cast<unsigned>(n), 2));
    for (int i = 0; i < n; ++i)
        line(hexField(
            static_cast<std::uint32_t>(c.values[static_cast<std::size_t>(i)]) << ValueShift, 8));
    for (int i = 0; i < n; ++i)
        line(
            hexField(static_cast<unsigned>(c.assignments[static_cast<std::size_t>(i)]) & 0xFFu, 2));
    for (int i = 0; i < n; ++i)
        line(c.reverse[static_cast<std::size_t>(i)].value_or(0) != 0 ? QStringLiteral("1")
                                                                     : QStringLiteral("0"));
    for (int k = 0; k < r; ++k)
        line(hexField(static_cast<unsigned>(c.leds[static_cast<std::size_t>(k)]) & 0xFFu, 2));
    return text;
}

QByteArray presetFileBytes(const QString& text) {
    return QByteArray(Bom) + text.toUtf8();
}

QString presetFileText(const QByteArray& bytes) {
    QByteArray body = bytes;
    if (body.startsWith(Bom))
        body.remove(0, 3);
    const QString text = QString::fromUtf8(body);
    QString joined;
    joined.reserve(text.size() + text.size() / 4);
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        joined += QStringView(text).mid(start, i - start);
        joined += QStringLiteral("\r\n");
        if (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    // A last line without a line end is a line all the same.
    if (start < size) {
        joined += QStringView(text).mid(start);
        joined += QStringLiteral("\r\n");
    }
    return joined;
}

bool writePresetFile(const QString& path, const QString& text, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = presetFileBytes(text);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

std::optional<QString> readPresetFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QString text = presetFileText(file.readAll());
    if (text.isEmpty()) {
        *error = QStringLiteral("%1 is empty").arg(path);
        return std::nullopt;
    }
    return text;
}

std::optional<int> HexToInt(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) <= QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) <= QLatin1Char(' '))
        --last;
    QString digits = text.mid(first, last - first);
    if (digits.startsWith(QLatin1Char('$')))
        digits.remove(0, 1);
    else if (digits.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
        digits.remove(0, 2);
    if (!isHexText(digits))
        return std::nullopt;
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    if (!ok || value > static_cast<uint>(std::numeric_limits<int>::max()))
        return std::nullopt;
    return static_cast<int>(value);
}

ConfigurationReading readConfiguration(const QString& joinedText,
                                       const ConfigurationTarget& target) {
    ConfigurationReading reading;
    FieldReader fields(joinedText);

    // Header: each field is compared before the next one is looked at.
    struct HeaderField {
        int position;
        int length;
        const char* logPrefix;
        const char* what;
        int expected;
        const char* mismatch;
    };
    const HeaderField header[] = {
        {NumberPosition, 4, "FX number: ", "the effect number", target.effectNumber,
         "Loaded configuration does not match the effect currently stored on pedal"},
        {VersionPosition, 2, "FX version: ", "the effect version", target.effectVersion,
         "Loaded configuration does not match the effect version currently stored on pedal"},
        {CountPosition, 2, "Num of Parameters: ", "the parameter count", target.numOfParameters,
         "Number of parameters mismatch"},
    };
    for (const HeaderField& h : header) {
        const QString field = fields.raw(h.position, h.length, QString::fromLatin1(h.what));
        if (!fields.error().isEmpty()) {
            reading.error = damaged(fields.error());
            return reading;
        }
        debugLog(QString::fromLatin1(h.logPrefix) + field);
        const std::optional<int> value = HexToInt(field);
        if (!value) {
            reading.error = damaged(QStringLiteral("%1 \"%2\" is not a hexadecimal number")
                                        .arg(QString::fromLatin1(h.what), field.trimmed()));
            return reading;
        }
        if (*value != h.expected) {
            reading.error = QString::fromLatin1(h.mismatch);
            return reading;
        }
    }

    Configuration c;
    c.effectNumber = target.effectNumber;
    c.effectVersion = target.effectVersion;
    const int n = std::clamp(target.numOfParameters, 0, ConfigurationMaxParameters);
    const int r = std::clamp(target.numOfReadbacks, 0, ConfigurationMaxReadbacks);
    c.numOfParameters = n;
    c.numOfReadbacks = r;
    const auto fail = [&]() {
        reading.error = damaged(fields.error());
        return reading;
    };

    debugLog(QStringLiteral("parameters data:"));
    for (int i = 0; i < n; ++i) {
        const auto field = fields.hex(BodyPosition + 10 * i, 8,
                                      QStringLiteral("the value of parameter %1").arg(i + 1));
        if (!field)
            return fail();
        c.values[static_cast<std::size_t>(i)] =
            static_cast<int>(field->toUInt(nullptr, 16) >> ValueShift);
        debugLog(QStringLiteral("%1: %2").arg(i).arg(*field));
    }
    debugLog(QStringLiteral("assignment data:"));
    for (int i = 0; i < n; ++i) {
        const auto field = fields.hex(BodyPosition + 10 * n + 4 * i, 2,
                                      QStringLiteral("the source of parameter %1").arg(i + 1));
        if (!field)
            return fail();
        c.assignments[static_cast<std::size_t>(i)] = static_cast<int>(field->toUInt(nullptr, 16));
        debugLog(QStringLiteral("%1: %2").arg(i).arg(*field));
    }
    debugLog(QStringLiteral("reverse data:"));
    for (int i = 0; i < n; ++i) {
        const auto field =
            fields.hex(BodyPosition + 14 * n + 3 * i, 1,
                       QStringLiteral("the reverse flag of parameter %1").arg(i + 1));
        if (!field)
            return fail();
        // Only "0" and "1" are flags; another digit leaves the flag as it is.
        if (*field == QLatin1String("0") || *field == QLatin1String("1"))
            c.reverse[static_cast<std::size_t>(i)] = field->toInt();
        debugLog(QStringLiteral("%1: %2").arg(i).arg(*field));
    }
    if (r > 0)
        debugLog(QStringLiteral("LED assignment:"));
    for (int k = 0; k < r; ++k) {
        const auto field = fields.hex(BodyPosition + 17 * n + 4 * k, 2,
                                      QStringLiteral("the LED of readback %1").arg(k + 1));
        if (!field)
            return fail();
        c.leds[static_cast<std::size_t>(k)] = static_cast<int>(field->toUInt(nullptr, 16));
        debugLog(QStringLiteral("%1: %2").arg(k).arg(*field));
    }
    reading.configuration = c;
    return reading;
}

Configuration configurationOf(const ParameterModel& model, int effectNumber, int effectVersion) {
    Configuration c;
    c.effectNumber = effectNumber;
    c.effectVersion = effectVersion;
    c.numOfParameters = model.parameterCount();
    c.numOfReadbacks = model.readbackCount();
    for (int i = 0; i < c.numOfParameters && i < ConfigurationMaxParameters; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        c.values[slot] = model.kind(i) == ControlKind::Button
                             ? (model.buttonOn(i) ? frames::FullScale : 0)
                             : model.level(i);
        c.assignments[slot] = sourceCodeForPosition(sourcePositionForCode(model.source(i)));
        c.reverse[slot] = model.reversed(i) ? 1 : 0;
    }
    for (int k = 0; k < c.numOfReadbacks && k < ConfigurationMaxReadbacks; ++k)
        c.leds[static_cast<std::size_t>(k)] = ledCodeForPosition(ledPositionForCode(model.led(k)));
    return c;
}

std::vector<HexFrame> applyConfiguration(ParameterModel& model, const Configuration& c) {
    std::vector<HexFrame> changes;
    const auto add = [&changes](const std::optional<HexFrame>& frame) {
        if (frame)
            changes.push_back(*frame);
    };
    const int count = std::min(c.numOfParameters, model.parameterCount());
    for (int i = 0; i < count; ++i) {
        const int value = c.values[static_cast<std::size_t>(i)];
        switch (model.kind(i)) {
        case ControlKind::Pot:
            if (value != model.level(i))
                add(model.setPotentiometer(i, value));
            break;
        case ControlKind::Switch:
            if ((value != 0) != model.switchOn(i))
                add(model.setSwitch(i, value != 0));
            break;
        case ControlKind::Selector: {
            const int positions = static_cast<int>(model.selectorPositions(i).size());
            const int position = selectorPositionForLevel(value, positions);
            if (position != model.selectorPosition(i))
                add(model.setSelector(i, position));
            break;
        }
        default:
            break; // buttons are momentary on the pedal
        }
    }
    for (int i = 0; i < count; ++i)
        add(model.setSource(i, c.assignments[static_cast<std::size_t>(i)]));
    for (int i = 0; i < count; ++i) {
        const std::optional<int> flag = c.reverse[static_cast<std::size_t>(i)];
        if (flag && (*flag == 1) != model.reversed(i))
            add(model.loadReversed(i, *flag == 1));
    }
    for (int k = 0; k < c.numOfReadbacks && k < model.readbackCount(); ++k)
        model.setLed(k, c.leds[static_cast<std::size_t>(k)]);
    return changes;
}

} // namespace kestra
