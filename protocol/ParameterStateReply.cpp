#include "protocol/ParameterStateReply.h"

#include "core/DebugLog.h"
#include "protocol/Frames.h"
#include "protocol/HexText.h"

namespace kestra {

namespace {

QString refusal(const QString& reason) {
    return QStringLiteral("The pedal's answer to Request %1. Nothing was changed; try Request "
                          "again.")
        .arg(reason);
}

// The decimal number spelt by the hex text of ASCII digits ("3132" is 12).
std::optional<int> decimalOfHexText(QStringView token) {
    int number = 0;
    for (qsizetype at = 0; at + 1 < token.size(); at += 2) {
        const QChar high = token[at];
        const QChar low = token[at + 1];
        if (high != QLatin1Char('3') || low < QLatin1Char('0') || low > QLatin1Char('9'))
            return std::nullopt;
        number = number * 10 + (low.unicode() - '0');
    }
    return number;
}

} // namespace

std::optional<std::vector<int>> decodeParameterState(const QByteArray& reply, QString* error) {
    const QString text = QString::fromLatin1(reply.toHex().toUpper());
    std::vector<int> numbers;
    int last = 0;
    qsizetype start = 0;
    for (qsizetype j = 0; j < text.size(); ++j) {
        const QChar c = text[j];
        if (c == QLatin1Char('A')) {
            start = j + 1;
        } else if (c == QLatin1Char('D')) {
            // The token ends with the "0" of "0D", which is no digit.
            const QStringView token =
                QStringView(text).mid(start, std::max<qsizetype>(0, j - start - 1));
            if (token.size() == 2 || token.size() == 4 || token.size() == 6) {
                const std::optional<int> number = decimalOfHexText(token);
                if (!number) {
                    if (error)
                        *error = refusal(
                            QStringLiteral("could not be read: \"%1\" is not a decimal number")
                                .arg(QString::fromLatin1(QByteArray::fromHex(token.toLatin1()))));
                    return std::nullopt;
                }
                last = *number % 256;
            }
            numbers.push_back(last);
            if (j + 1 < text.size() && text[j + 1] == QLatin1Char('A'))
                ++j;
            start = j + 1;
        }
    }
    debugLog(QStringLiteral("num of bytes received: %1").arg(numbers.size()));
    debugLog(QStringLiteral("receive array size: %1").arg(numbers.size()));
    for (std::size_t k = 0; k < numbers.size(); ++k)
        debugLog(QStringLiteral("%1: %2").arg(k).arg(hex2(static_cast<std::uint32_t>(numbers[k]))));
    return numbers;
}

std::optional<ParameterState> interpretParameterState(const std::vector<int>& receiveArray,
                                                      int numOfParameters, int numOfReadbacks,
                                                      QString* error) {
    const int parameters = std::clamp(numOfParameters, 0, frames::MaxParameters);
    const int readbacks = std::clamp(numOfReadbacks, 0, frames::MaxReadbacks);
    const int needed = parameterStateSize(parameters);
    if (static_cast<int>(receiveArray.size()) < needed) {
        if (error)
            *error = refusal(QStringLiteral("was incomplete: %1 of %2 values arrived")
                                 .arg(receiveArray.size())
                                 .arg(needed));
        return std::nullopt;
    }
    const auto at = [&](int index) { return receiveArray[static_cast<std::size_t>(index)]; };
    const int b = 4 * parameters;

    ParameterState state;
    state.sources.fill(0xFF);
    state.leds.fill(0xFF);
    for (int i = 0; i < parameters; ++i) {
        const auto word = static_cast<std::uint32_t>(at(4 * i)) << 24 |
                          static_cast<std::uint32_t>(at(4 * i + 1)) << 16 |
                          static_cast<std::uint32_t>(at(4 * i + 2)) << 8 |
                          static_cast<std::uint32_t>(at(4 * i + 3));
        state.parameterValues[static_cast<std::size_t>(i)] =
            static_cast<int>(word >> frames::ValueShift);
        state.sources[static_cast<std::size_t>(i)] = at(b + i);
    }
    state.bypassSource = at(b + 16);
    state.presetSource = at(b + 17);
    for (int k = 0; k < readbacks; ++k)
        state.leds[static_cast<std::size_t>(k)] = at(b + 18 + k);
    for (int i = 0; i < frames::MaxParameters; ++i) {
        const int flag = at(b + 22 + i);
        if (flag == 1)
            state.reverse[static_cast<std::size_t>(i)] = true;
        else if (flag == 0xFF)
            state.reverse[static_cast<std::size_t>(i)] = false;
    }
    if (at(b + 38) == 1)
        state.bankMode = true;
    else if (at(b + 38) == 0)
        state.bankMode = false;
    state.bankOrPresetNumber = at(b + 39);
    const int channel = at(b + 40);
    if (channel == 0 || channel == 0xFF)
        state.midiChannel = 0;
    else if (channel >= 1 && channel <= 16)
        state.midiChannel = channel;
    return state;
}

std::optional<ParameterState> parseParameterState(const QByteArray& reply, int numOfParameters,
                                                  int numOfReadbacks, QString* error) {
    const std::optional<std::vector<int>> numbers = decodeParameterState(reply, error);
    if (!numbers)
        return std::nullopt;
    return interpretParameterState(*numbers, numOfParameters, numOfReadbacks, error);
}

} // namespace kestra
