// Peaking-equaliser biquad coefficients centred on a musical note, in the
// pedal DSP's fixed-point format (coefficient × 2^23 as a 32-bit word), laid
// out as a declaration of a 20-element string table for the DSP sources.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace kestra::filter {

inline constexpr double SampleRate = 48000.0;
inline constexpr int NoteCount = 48;
// Index of A2 (110 Hz) in noteNames().
inline constexpr int ReferenceNoteIndex = 12;

// "A1", "A#1", "B1", "C2", ... "G#5": semitone by semitone, the octave
// number changing at C.
QStringList noteNames();
// 110 Hz × 2^(offset / 12).
double noteFrequency(int semitoneOffset);

struct Coefficients {
    double b0, b1, b2, a1, a2;
};

// The Audio EQ Cookbook peaking filter normalised by a0, scaled by the
// output gain, with the feedback terms negated as the DSP adds them.
Coefficients peakingCoefficients(double f0, double q, double boostDb, double outputGainDb);

// coefficient × 2^23 rounded to nearest (ties to even) as a 32-bit two's
// complement word; nothing when it does not fit in 32 bits.
std::optional<std::uint32_t> coefficientWord(double coefficient);
// The word as four apostrophe-quoted hex byte pairs: 'FF', 'C0', '00', '00'
QString wordGroups(std::uint32_t word);

// The calculator's values and its output lines. Numbers are read and written
// in locale's format.
class Calculator {
public:
    explicit Calculator(const QLocale& locale = QLocale()) : locale_(locale) {
        locale_.setNumberOptions(QLocale::OmitGroupSeparator);
    }

    void setNoteIndex(int index) { semitoneOffset_ = index - ReferenceNoteIndex; }
    // Read text as a number; on failure the value stays and the error says why.
    bool setQ(const QString& text, QString* error);
    bool setBoost(const QString& text, QString* error);

    double q() const { return q_; }
    double boost() const { return boost_; }
    double frequency() const { return f0_; }
    QString numberText(double value) const;

    // Computes the note's frequency and the six log lines: the header, then
    // b0, b1, b2, a1, a2. Empty when a coefficient cannot be represented,
    // with the reason in error.
    QStringList calculate(const QString& noteName, QString* error);

private:
    bool readNumber(const QString& text, const char* what, double& value, QString* error) const;

    QLocale locale_;
    // The values the console's controls show at start: the first note, A1.
    int semitoneOffset_ = -ReferenceNoteIndex;
    double f0_ = 0.0;
    double q_ = 1.41;
    double boost_ = 0.0;
    double outputGain_ = 0.0;
};

} // namespace kestra::filter
