#include "catalogue/ControlDescriptor.h"

#include "catalogue/ResourceNames.h"
#include "core/DebugLog.h"

namespace kestra {

namespace {

QString textBefore(const QString& line, QChar separator) {
    const qsizetype at = line.indexOf(separator);
    return at < 0 ? line : line.left(at);
}

QString textAfter(const QString& line, QChar separator) {
    const qsizetype at = line.indexOf(separator);
    return at < 0 ? line : line.mid(at + 1);
}

QString refusal(const QString& effectName, const QString& reason) {
    return QStringLiteral("The control descriptor of %1 %2. The effect cannot be edited.")
        .arg(effectName, reason);
}

// Descriptor lines end at LF; a CR before it is part of the line break.
QStringList descriptorLines(const QString& text) {
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

} // namespace

ControlKind ControlDescriptor::kindOf(int index) const {
    if (index < 0 || index >= numOfParameters || index >= MaxParameters)
        return ControlKind::None;
    if (index < numOfPots)
        return ControlKind::Pot;
    if (index < numOfPots + numOfSwitches)
        return isButtonLine(parameterNames[static_cast<std::size_t>(index)]) ? ControlKind::Button
                                                                             : ControlKind::Switch;
    return ControlKind::Selector;
}

int hexDigitValue(QStringView digit) {
    static const QString digits = QStringLiteral("0123456789ABCDEF");
    if (digit.size() != 1)
        return -1;
    return static_cast<int>(digits.indexOf(digit[0], 0, Qt::CaseSensitive));
}

std::optional<ControlDescriptor> parseControlDescriptor(const QString& effectName,
                                                        const QString& text, QString* error) {
    const auto refuse = [&](const QString& reason) -> std::optional<ControlDescriptor> {
        if (error)
            *error = refusal(effectName, reason);
        return std::nullopt;
    };

    const QStringList lines = descriptorLines(text);
    const QString header = lines.first();
    if (header.size() < 3)
        return refuse(QStringLiteral("has the header \"%1\"; it needs at least three characters")
                          .arg(header));
    // Only a header of exactly four characters counts readbacks; extra
    // characters of a longer header are not read at all.
    const bool hasReadbacks = header.size() == 4;
    const qsizetype countDigits = hasReadbacks ? 4 : 3;
    for (qsizetype i = 0; i < countDigits; ++i) {
        if (hexDigitValue(QStringView(header).mid(i, 1)) < 0)
            return refuse(QStringLiteral("has the header \"%1\"; its counts must be upper-case "
                                         "hexadecimal digits (0-9, A-F)")
                              .arg(header));
    }

    ControlDescriptor d;
    d.numOfPots = hexDigitValue(QStringView(header).mid(0, 1));
    d.numOfSwitches = hexDigitValue(QStringView(header).mid(1, 1));
    d.numOfMultiSwitches = hexDigitValue(QStringView(header).mid(2, 1));
    d.numOfParameters = d.numOfPots + d.numOfSwitches + d.numOfMultiSwitches;
    debugLog(QStringLiteral("num of pots: %1").arg(d.numOfPots));
    debugLog(QStringLiteral("num of switches: %1").arg(d.numOfSwitches));
    debugLog(QStringLiteral("num of multi switch: %1").arg(d.numOfMultiSwitches));
    if (hasReadbacks) {
        d.numOfReadbacks = hexDigitValue(QStringView(header).mid(3, 1));
        debugLog(QStringLiteral("num of readbacks: %1").arg(d.numOfReadbacks));
    }

    if (d.numOfPots == 0)
        return refuse(QStringLiteral("declares no potentiometer; every effect needs at least one"));
    if (d.numOfParameters > MaxParameters)
        return refuse(QStringLiteral("declares %1 parameters; the editor can show at most %2")
                          .arg(d.numOfParameters)
                          .arg(MaxParameters));
    if (d.numOfReadbacks > MaxReadbacks)
        return refuse(QStringLiteral("declares %1 readbacks; the editor can show at most %2")
                          .arg(d.numOfReadbacks)
                          .arg(MaxReadbacks));
    const qsizetype needed = 1 + d.numOfParameters + d.numOfReadbacks;
    // A text ending in a line break leaves an empty last entry that is no line.
    const qsizetype present = lines.size() - (lines.last().isEmpty() ? 1 : 0);
    if (present < needed)
        return refuse(QStringLiteral("declares %1 parameters and %2 readbacks but has only %3 "
                                     "of the %4 lines they need")
                          .arg(d.numOfParameters)
                          .arg(d.numOfReadbacks)
                          .arg(present - 1)
                          .arg(needed - 1));

    for (int i = 0; i < d.numOfParameters; ++i) {
        const QString& line = lines.at(1 + i);
        if (i >= d.numOfPots + d.numOfSwitches && !line.contains(QLatin1Char(';')))
            return refuse(QStringLiteral("has the selector line \"%1\" without any position "
                                         "(no \";\")")
                              .arg(line));
        debugLog(line);
        d.parameterNames[static_cast<std::size_t>(i)] = line;
    }
    for (int i = 0; i < d.numOfReadbacks; ++i) {
        const QString& line = lines.at(1 + d.numOfParameters + i);
        debugLog(line);
        d.readbackNames[static_cast<std::size_t>(i)] = line;
    }
    return d;
}

std::optional<ControlDescriptor> loadControlDescriptor(const QString& effectName, QString* error,
                                                       const ResourceStore& store) {
    const QString resourceName = format_resource_name(effectName) + QStringLiteral("_ctrls");
    const std::optional<QByteArray> data = store.find(resourceName);
    if (!data) {
        if (error)
            *error = QStringLiteral("Error loading resource: ") + store.errorFor(resourceName);
        return std::nullopt;
    }
    return parseControlDescriptor(effectName, QString::fromUtf8(*data), error);
}

SwitchText splitSwitchLine(const QString& line) {
    const QString rest = textAfter(line, QLatin1Char(':'));
    return {textBefore(line, QLatin1Char(':')), textBefore(rest, QLatin1Char(':')),
            textAfter(rest, QLatin1Char(':'))};
}

bool isButtonLine(const QString& line) {
    return line.contains(QLatin1Char('@'));
}

QString buttonLabel(const QString& line) {
    return textBefore(line, QLatin1Char(':'));
}

SelectorText splitSelectorLine(const QString& line) {
    QStringList parts = line.split(QLatin1Char(';'));
    SelectorText result;
    result.label = parts.takeFirst();
    result.positions = parts;
    return result;
}

} // namespace kestra
