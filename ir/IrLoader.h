// Impulse responses for the IR effects: the first samples of a WAV file's
// first channel, at the pedal's 48 kHz, become signed 24-bit coefficient
// words (a sign byte, then the sample, most significant byte first) written
// over a fixed block of the effect's image. WAV files are read with
// libsndfile, so chunks before or after the format chunk, longer format
// chunks and every PCM and floating-point sample format are handled; other
// rates are converted with libsamplerate.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestra {

class Catalogue;

// Where an IR effect keeps its coefficients.
struct IrRule {
    int rule = 0;       // 1..4
    int samples = 0;    // coefficient words taken from the file
    int byteOffset = 0; // first byte of the block in the image
    int blockBytes() const { return 4 * samples; }
};

// The rule of an effect, by its exact catalogue name; nothing for an effect
// that takes no impulse response.
std::optional<IrRule> irRuleFor(const QString& effectName);

// Coefficient word of a sample read as a full-scale 32-bit integer (a
// 24-bit sample s arrives as s << 8): the upper 24 bits under a sign byte.
constexpr std::uint32_t coefficientWord(std::int32_t sample) {
    const auto bits = (static_cast<std::uint32_t>(sample) >> 8) & 0x00FFFFFFu;
    return sample < 0 ? (bits | 0xFF000000u) : bits;
}

// The rate the pedal runs its impulse responses at.
inline constexpr int PedalSampleRate = 48000;

struct WavImpulse {
    QString fileName;
    qint64 fileSize = 0;
    int sampleRate = 0;               // the file's
    int bitsPerSample = 0;            // 8, 16, 24 or 32 (integer); 32 or 64 (floating point)
    int channels = 0;                 // only the first is used
    std::vector<std::uint32_t> words; // at PedalSampleRate
};

// Reads path and converts the first `samples` samples of its first channel,
// resampled to PedalSampleRate when the file has another rate. Integer
// samples keep their upper 24 bits exactly; floating-point ones are read as
// full scale at +-1.0 and clipped there. Nothing, with *error saying why and
// what to do, for a file that cannot be read, is no WAV file, holds neither
// PCM nor floating-point samples, ends before its data does, or holds fewer
// samples. Logs what it reads.
std::optional<WavImpulse> readWavImpulse(const QString& path, int samples, QString* error);

// image with the rule's block replaced by words (upper-case hex, same
// length); nothing when the image is too short for the block.
std::optional<QString> spliceCoefficients(const QString& image, const IrRule& rule,
                                          const std::vector<std::uint32_t>& words);

// The message shown after a load: the file's own data, then how it was
// adapted (resampled, first channel only).
QString irSummary(const WavImpulse& impulse);

// The whole load for effectName: rule, file, image from the catalogue,
// splice. Nothing with *error set.
struct IrLoad {
    WavImpulse impulse;
    QString image;
};
std::optional<IrLoad> loadImpulseResponse(const QString& path, const QString& effectName,
                                          const Catalogue& catalogue, QString* error);

} // namespace kestra
