#include "editor/FilterCoefficients.h"

#include <cfenv>
#include <cmath>
#include <limits>
#include <numbers>

namespace kestra::filter {

QStringList noteNames() {
    static const char* const names[] = {"A",  "A#", "B", "C",  "C#", "D",
                                        "D#", "E",  "F", "F#", "G",  "G#"};
    QStringList result;
    result.reserve(NoteCount);
    for (int i = 0; i < NoteCount; ++i) {
        // Octaves are numbered from C; the list starts three semitones below C2.
        const int octave = 1 + (i + 9) / 12;
        result.append(QString::fromLatin1(names[i % 12]) + QString::number(octave));
    }
    return result;
}

double noteFrequency(int semitoneOffset) {
    return 110.0 * std::pow(2.0, semitoneOffset / 12.0);
}

Coefficients peakingCoefficients(double f0, double q, double boostDb, double outputGainDb) {
    const double A = std::pow(10.0, boostDb / 40.0);
    const double w0 = 2.0 * std::numbers::pi * f0 / SampleRate;
    const double s = std::sin(w0);
    const double c = std::cos(w0);
    const double alpha = s / (2.0 * q);
    const double a0 = 1.0 + alpha / A;
    const double G = std::pow(10.0, outputGainDb / 20.0) / a0;
    return {(1.0 + alpha * A) * G, -2.0 * c * G, (1.0 - alpha * A) * G, 2.0 * c / a0,
            -(1.0 - alpha / A) / a0};
}

std::optional<std::uint32_t> coefficientWord(double coefficient) {
    const double scaled = coefficient * 8388608.0; // 2^23
    if (!std::isfinite(scaled))
        return std::nullopt;
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(scaled);
    std::fesetround(previous);
    if (rounded < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(rounded));
}

QString wordGroups(std::uint32_t word) {
    QStringList groups;
    for (int shift = 24; shift >= 0; shift -= 8)
        groups.append(
            QStringLiteral("'%1'").arg((word >> shift) & 0xFFu, 2, 16, QLatin1Char('0')).toUpper());
    return groups.join(QStringLiteral(", "));
}

QString Calculator::numberText(double value) const {
    return locale_.toString(value, 'g', 15);
}

bool Calculator::readNumber(const QString& text, const char* what, double& value,
                            QString* error) const {
    bool ok = false;
    const double read = locale_.toDouble(text, &ok);
    if (ok && std::isfinite(read)) {
        value = read;
        return true;
    }
    if (error)
        *error = QStringLiteral("'%1' is not a valid number for %2; %2 stays %3.")
                     .arg(text, QLatin1String(what), numberText(value));
    return false;
}

bool Calculator::setQ(const QString& text, QString* error) {
    return readNumber(text, "Q", q_, error);
}

bool Calculator::setBoost(const QString& text, QString* error) {
    return readNumber(text, "boost", boost_, error);
}

QStringList Calculator::calculate(const QString& noteName, QString* error) {
    f0_ = noteFrequency(semitoneOffset_);
    const Coefficients k = peakingCoefficients(f0_, q_, boost_, outputGain_);
    const double values[] = {k.b0, k.b1, k.b2, k.a1, k.a2};
    static const char* const names[] = {"b0", "b1", "b2", "a1", "a2"};
    QStringList lines{
        noteName + QLatin1Char('_') + numberText(std::abs(boost_)) + QStringLiteral("db_") +
        (boost_ < 0 ? QStringLiteral("cut") : QStringLiteral("boost")) + QStringLiteral("_Q") +
        numberText(q_) + QStringLiteral(" : array[0..19] of string =")};
    for (int i = 0; i < 5; ++i) {
        const auto word = coefficientWord(values[i]);
        if (!word) {
            if (error)
                *error = QStringLiteral("Coefficient %1 (%2) does not fit the DSP's 32-bit "
                                        "format. Choose a Q above 0 and a smaller boost or cut.")
                             .arg(QLatin1String(names[i]), numberText(values[i]));
            return {};
        }
        QString line = wordGroups(*word);
        if (i == 0)
            line.prepend(QLatin1Char('('));
        line += i == 4 ? QStringLiteral(");") : QStringLiteral(", ");
        lines.append(line);
    }
    return lines;
}

} // namespace kestra::filter
