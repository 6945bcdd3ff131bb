#include "editor/ParameterLogic.h"

#include <algorithm>

namespace kestra {

QStringList assignSourceNames() {
    return {QStringLiteral("KI"),  QStringLiteral("KII"), QStringLiteral("KIII"),
            QStringLiteral("KIV"), QStringLiteral("KV"),  QStringLiteral("B1"),
            QStringLiteral("B2"),  QStringLiteral("B3"),  QStringLiteral("FS"),
            QStringLiteral("FL"),  QStringLiteral("RMT"), QStringLiteral("EXP"),
            QStringLiteral("--")};
}

QStringList readbackLedNames() {
    return {QStringLiteral("SX"), QStringLiteral("DX"), QStringLiteral("RED"),
            QStringLiteral("GREEN"), QStringLiteral("--")};
}

QStringList footswitchNames() {
    return {QStringLiteral("FS"), QStringLiteral("FL"), QStringLiteral("RMT"),
            QStringLiteral("--")};
}

QStringList assignSourceMeanings() {
    return {QStringLiteral("knob I"),        QStringLiteral("knob II"),
            QStringLiteral("knob III"),      QStringLiteral("knob IV"),
            QStringLiteral("knob V"),        QStringLiteral("switch B1"),
            QStringLiteral("switch B2"),     QStringLiteral("switch B3"),
            QStringLiteral("footswitch"),    QStringLiteral("footswitch FL"),
            QStringLiteral("remote switch"), QStringLiteral("expression pedal"),
            QStringLiteral("none")};
}

QStringList readbackLedMeanings() {
    return {QStringLiteral("left LED"), QStringLiteral("right LED"), QStringLiteral("red LED"),
            QStringLiteral("green LED"), QStringLiteral("no LED")};
}

QStringList footswitchMeanings() {
    return {QStringLiteral("footswitch"), QStringLiteral("footswitch FL"),
            QStringLiteral("remote switch"), QStringLiteral("none")};
}

QString spelledOut(const QStringList& names, const QStringList& meanings) {
    QStringList lines;
    for (qsizetype k = 0; k < names.size() && k < meanings.size(); ++k)
        lines << names[k] + QStringLiteral(" = ") + meanings[k];
    return lines.join(QLatin1Char('\n'));
}

int selectorPositionForLevel(int level, int positions) {
    if (positions <= 0)
        return -1;
    const int step = std::max(1, frames::FullScale / positions);
    int position = std::max(0, level) / step;
    if (position >= positions)
        position -= 1;
    // A corrupt level far above full scale must still name an existing item.
    return std::min(position, positions - 1);
}

int sourcePositionForCode(int code) {
    if (code == NoAssignment)
        return NoSourcePosition;
    return code >= 0 && code < NoSourcePosition ? code : -1;
}

int footswitchPositionForCode(int code) {
    if (code == NoAssignment)
        return NoFootswitchPosition;
    const int position = code - FootswitchCodeOffset;
    return position >= 0 && position < NoFootswitchPosition ? position : -1;
}

int ledPositionForCode(int code) {
    if (code == NoAssignment)
        return NoLedPosition;
    return code >= 0 && code <= NoLedPosition ? code : -1;
}

int sourceCodeForPosition(int position) {
    return position >= 0 && position < NoSourcePosition ? position : NoAssignment;
}

int footswitchCodeForPosition(int position) {
    return position >= 0 && position < NoFootswitchPosition ? position + FootswitchCodeOffset
                                                            : NoAssignment;
}

int ledCodeForPosition(int position) {
    return position >= 0 && position < NoLedPosition ? position : NoAssignment;
}

AssignContent assignContent(const std::array<int, 16>& sourcePositions, int numOfParameters,
                            const std::array<int, 4>& ledPositions, int numOfReadbacks,
                            int bypassAssignment, int presetAssignment) {
    AssignContent content;
    for (std::size_t i = 0; i < content.sources.size(); ++i)
        content.sources[i] = static_cast<int>(i) < numOfParameters
                                 ? sourceCodeForPosition(sourcePositions[i])
                                 : NoAssignment;
    for (std::size_t k = 0; k < content.leds.size(); ++k)
        content.leds[k] = static_cast<int>(k) < numOfReadbacks ? ledCodeForPosition(ledPositions[k])
                                                               : NoAssignment;
    content.bypass = bypassAssignment;
    content.preset = presetAssignment;
    return content;
}

} // namespace kestra
