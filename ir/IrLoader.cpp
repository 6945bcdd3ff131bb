#include "ir/IrLoader.h"

#include "catalogue/Catalogue.h"
#include "core/DebugLog.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <samplerate.h>
#include <sndfile.h>

namespace kestra {

namespace {

struct NamedRule {
    const char* effectName;
    IrRule rule;
};

// The effect images are built with their blocks at these places.
constexpr std::array<NamedRule, 4> Rules{{
    {"Cabprint 4x12", {1, 882, 230}},
    {"Cabprint 2x12", {2, 703, 362}},
    {"Cabprint 1x10", {3, 703, 370}},
    {"Roomprint Air", {4, 912, 230}},
}};

const char ConvertAdvice[] = "Export the impulse response as a WAV file with PCM or floating-point "
                             "samples (48 kHz works best) and load it again.";

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

QString hexWord(std::uint32_t word) {
    return QString::number(word, 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

std::uint32_t littleEndian32(const QByteArray& bytes, int offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes.at(offset + i));
    return value;
}

// The RIFF header as the file holds it; only logged.
void logRiffHeader(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray head = file.read(16);
    if (head.size() < 16)
        return;
    debugLog(QStringLiteral("ID: ") + QString::fromLatin1(head.left(4)));
    debugLog(QStringLiteral("chunk size: %1").arg(littleEndian32(head, 4)));
    debugLog(QStringLiteral("Subchunk ID: ") + QString::fromLatin1(head.mid(12, 4)));
}

struct SampleFormat {
    int subtype;
    int bits;
};

// The sample formats libsndfile reads from a WAV file as doubles without
// loss: integers scaled by a power of two, floating point as it is.
constexpr std::array<SampleFormat, 7> SampleFormats{{
    {SF_FORMAT_PCM_U8, 8},
    {SF_FORMAT_PCM_S8, 8},
    {SF_FORMAT_PCM_16, 16},
    {SF_FORMAT_PCM_24, 24},
    {SF_FORMAT_PCM_32, 32},
    {SF_FORMAT_FLOAT, 32},
    {SF_FORMAT_DOUBLE, 64},
}};

const SampleFormat* sampleFormat(int subtype) {
    for (const SampleFormat& format : SampleFormats) {
        if (format.subtype == subtype)
            return &format;
    }
    return nullptr;
}

// A sample read as a double (full scale at +-1.0; integer samples divided
// by a power of two, so exactly) as a full-scale 32-bit integer.
std::int32_t fullScale(double sample) {
    if (std::isnan(sample))
        return 0;
    const double scaled = std::round(sample * 0x1p31);
    if (scaled >= 0x1p31)
        return std::numeric_limits<std::int32_t>::max();
    if (scaled <= -0x1p31)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(scaled);
}

// The samples as the file stores them (little-endian), for the log.
QString storedSampleHex(const std::vector<double>& samples, const SampleFormat& format) {
    const int bytes = format.bits / 8;
    QString text;
    text.reserve(static_cast<qsizetype>(samples.size()) * bytes * 2);
    for (double sample : samples) {
        std::uint64_t value = 0;
        if (format.subtype == SF_FORMAT_FLOAT)
            value = std::bit_cast<std::uint32_t>(static_cast<float>(sample));
        else if (format.subtype == SF_FORMAT_DOUBLE)
            value = std::bit_cast<std::uint64_t>(sample);
        else
            value = static_cast<std::uint64_t>(std::llround(std::ldexp(sample, format.bits - 1)));
        if (format.subtype == SF_FORMAT_PCM_U8)
            value ^= 0x80u; // stored with an offset of 128
        for (int b = 0; b < bytes; ++b) {
            text += QString::number((value >> (8 * b)) & 0xFFu, 16)
                        .toUpper()
                        .rightJustified(2, QLatin1Char('0'));
        }
    }
    return text;
}

// Whether the data chunk claims more bytes than the file holds: a file cut
// off while being copied, which libsndfile reads as a shorter one.
bool endsBeforeItsData(SNDFILE* file, const SF_INFO& format, int bytesPerFrame) {
    SF_CHUNK_INFO wanted{};
    std::memcpy(wanted.id, "data", 4);
    wanted.id_size = 4;
    SF_CHUNK_ITERATOR* data = sf_get_chunk_iterator(file, &wanted);
    SF_CHUNK_INFO found{};
    if (!data || sf_get_chunk_size(data, &found) != SF_ERR_NO_ERROR)
        return false;
    // 0xFFFFFFFF stands for "unknown" in files written as a stream.
    if (found.datalen == 0xFFFFFFFFu)
        return false;
    return found.datalen >= (format.frames + 1) * bytesPerFrame;
}

// The first channel at the pedal's rate: input at inputRate, converted with
// libsamplerate's best converter. Nothing with *error set when it fails.
std::optional<std::vector<double>> resample(const std::vector<double>& input, int inputRate,
                                            QString* error) {
    const double ratio = static_cast<double>(PedalSampleRate) / inputRate;
    std::vector<float> in(input.begin(), input.end());
    std::vector<float> out(static_cast<std::size_t>(std::ceil(in.size() * ratio)) + 16);
    SRC_DATA data{};
    data.data_in = in.data();
    data.input_frames = static_cast<long>(in.size());
    data.data_out = out.data();
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = ratio;
    data.end_of_input = 1;
    if (const int failure = src_simple(&data, SRC_SINC_BEST_QUALITY, 1)) {
        *error = QString::fromUtf8(src_strerror(failure));
        return std::nullopt;
    }
    return std::vector<double>(out.begin(), out.begin() + data.output_frames_gen);
}

} // namespace

std::optional<IrRule> irRuleFor(const QString& effectName) {
    for (const NamedRule& named : Rules) {
        if (effectName == QLatin1String(named.effectName))
            return named.rule;
    }
    return std::nullopt;
}

std::optional<WavImpulse> readWavImpulse(const QString& path, int samples, QString* error) {
    WavImpulse impulse;
    const QFileInfo info(path);
    impulse.fileName = info.fileName();
    impulse.fileSize = info.size();
    debugLog(path);
    debugLog(impulse.fileName);
    debugLog(QString::number(impulse.fileSize));
    logRiffHeader(path);

    SF_INFO format{};
    SndfileHandle file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &format));
    if (!file) {
        *error = QStringLiteral("%1 could not be read as a WAV file (%2).\n\n%3")
                     .arg(impulse.fileName, QString::fromUtf8(sf_strerror(nullptr)),
                          QString::fromLatin1(ConvertAdvice));
        return std::nullopt;
    }
    const int type = format.format & SF_FORMAT_TYPEMASK;
    const int subtype = format.format & SF_FORMAT_SUBMASK;
    if (type != SF_FORMAT_WAV && type != SF_FORMAT_WAVEX) {
        *error = QStringLiteral("%1 is not a WAV file.\n\n%2")
                     .arg(impulse.fileName, QString::fromLatin1(ConvertAdvice));
        return std::nullopt;
    }
    impulse.channels = format.channels;
    impulse.sampleRate = format.samplerate;
    debugLog(QStringLiteral("Num_of_channels: %1").arg(format.channels));
    debugLog(QStringLiteral("Sample_Rate: %1").arg(format.samplerate));
    const SampleFormat* sample = sampleFormat(subtype);
    if (!sample) {
        SF_FORMAT_INFO subtypeInfo{};
        subtypeInfo.format = subtype;
        const bool named =
            sf_command(nullptr, SFC_GET_FORMAT_INFO, &subtypeInfo, sizeof subtypeInfo) == 0 &&
            subtypeInfo.name;
        *error = QStringLiteral("%1 holds %2 samples; the IR effects take PCM or floating-point "
                                "samples only.\n\n%3")
                     .arg(impulse.fileName,
                          named ? QString::fromUtf8(subtypeInfo.name) : QStringLiteral("other"),
                          QString::fromLatin1(ConvertAdvice));
        return std::nullopt;
    }
    impulse.bitsPerSample = sample->bits;
    debugLog(QStringLiteral("Bits_per_sample: %1").arg(impulse.bitsPerSample));

    if (endsBeforeItsData(file.get(), format, format.channels * sample->bits / 8)) {
        *error = QStringLiteral("%1 ends before its sound data does: the file was cut off, "
                                "perhaps while being copied.\n\nCopy or export the impulse "
                                "response again and load the new file.")
                     .arg(impulse.fileName);
        return std::nullopt;
    }
    const bool resampled = impulse.sampleRate != PedalSampleRate;
    const double ratio = static_cast<double>(PedalSampleRate) / impulse.sampleRate;
    if (resampled && !src_is_valid_ratio(ratio)) {
        *error = QStringLiteral("%1 has a sample rate of %2 Hz, which cannot be converted to "
                                "%3 Hz.\n\n%4")
                     .arg(impulse.fileName)
                     .arg(impulse.sampleRate)
                     .arg(PedalSampleRate)
                     .arg(QString::fromLatin1(ConvertAdvice));
        return std::nullopt;
    }
    const auto tooShort = [&](qint64 held, qint64 heldAtPedalRate) {
        const QString holds =
            resampled ? QStringLiteral("holds %1 samples at %2 Hz, which make %3 at %4 Hz")
                            .arg(held)
                            .arg(impulse.sampleRate)
                            .arg(heldAtPedalRate)
                            .arg(PedalSampleRate)
                      : QStringLiteral("holds %1 samples").arg(held);
        *error = QStringLiteral("%1 %2, but this effect needs the first %3.\n\n"
                                "Choose a longer impulse response.")
                     .arg(impulse.fileName, holds)
                     .arg(samples);
        return std::nullopt;
    };
    if (samples <= 0 || format.frames == 0 || (!resampled && format.frames < samples))
        return tooShort(format.frames, format.frames);

    // The converter looks a little ahead (about 150 samples, more when the
    // rate comes down), so a margin past the needed input leaves the first
    // samples as the whole file would give them.
    const sf_count_t needed = resampled ? static_cast<sf_count_t>(std::ceil(samples / ratio)) +
                                              200 + impulse.sampleRate / 20
                                        : samples;
    const sf_count_t frames = std::min(format.frames, needed);
    std::vector<double> interleaved(static_cast<std::size_t>(frames * format.channels));
    const sf_count_t read = sf_readf_double(file.get(), interleaved.data(), frames);
    if (read < frames) {
        *error = QStringLiteral("%1 ends early: only %2 of its samples could be read (%3).\n\n"
                                "Check the file or choose another one.")
                     .arg(impulse.fileName)
                     .arg(read)
                     .arg(QString::fromUtf8(sf_strerror(file.get())));
        return std::nullopt;
    }
    std::vector<double> first(static_cast<std::size_t>(frames));
    for (std::size_t i = 0; i < first.size(); ++i)
        first[i] = interleaved[i * static_cast<std::size_t>(format.channels)];
    debugLog(QStringLiteral("irdata: ") + storedSampleHex(first, *sample));

    if (resampled) {
        QString failure;
        std::optional<std::vector<double>> converted =
            resample(first, impulse.sampleRate, &failure);
        if (!converted) {
            *error = QStringLiteral("%1 could not be converted from %2 Hz to %3 Hz (%4).\n\n%5")
                         .arg(impulse.fileName)
                         .arg(impulse.sampleRate)
                         .arg(PedalSampleRate)
                         .arg(failure, QString::fromLatin1(ConvertAdvice));
            return std::nullopt;
        }
        if (static_cast<qint64>(converted->size()) < samples)
            return tooShort(format.frames, static_cast<qint64>(converted->size()));
        first = std::move(*converted);
        debugLog(QStringLiteral("Resampled to: %1").arg(PedalSampleRate));
    }
    first.resize(static_cast<std::size_t>(samples));

    impulse.words.reserve(first.size());
    QStringList wordLines;
    QString allWords;
    for (double value : first) {
        const std::uint32_t word = coefficientWord(fullScale(value));
        impulse.words.push_back(word);
        wordLines.append(hexWord(word));
        allWords += wordLines.last();
    }
    DebugLog::appendBatch(wordLines);
    debugLog(QStringLiteral("irdata swapped endianess: ") + allWords);
    return impulse;
}

std::optional<QString> spliceCoefficients(const QString& image, const IrRule& rule,
                                          const std::vector<std::uint32_t>& words) {
    const qsizetype start = 2 * static_cast<qsizetype>(rule.byteOffset);
    const qsizetype length = 2 * static_cast<qsizetype>(rule.blockBytes());
    if (static_cast<int>(words.size()) != rule.samples || image.size() < start + length)
        return std::nullopt;
    QString block;
    block.reserve(length);
    for (std::uint32_t word : words)
        block += hexWord(word);
    QString spliced = image;
    spliced.replace(start, length, block);
    return spliced;
}

QString irSummary(const WavImpulse& impulse) {
    QString summary = QStringLiteral("Selected file data:\r\nName: ") + impulse.fileName +
                      QStringLiteral("\r\nSize: ") + QString::number(impulse.fileSize) +
                      QStringLiteral("\r\nSample rate: ") + QString::number(impulse.sampleRate) +
                      QStringLiteral("\r\nBits per sample: ") +
                      QString::number(impulse.bitsPerSample);
    if (impulse.sampleRate != PedalSampleRate) {
        summary += QStringLiteral("\r\nResampled from %1 Hz to %2 Hz")
                       .arg(impulse.sampleRate)
                       .arg(PedalSampleRate);
    }
    if (impulse.channels > 1)
        summary += QStringLiteral("\r\nFirst of %1 channels used").arg(impulse.channels);
    return summary;
}

std::optional<IrLoad> loadImpulseResponse(const QString& path, const QString& effectName,
                                          const Catalogue& catalogue, QString* error) {
    const std::optional<IrRule> rule = irRuleFor(effectName);
    if (!rule) {
        *error = QStringLiteral("\"%1\" takes no impulse response.\n\nSelect one of the effects "
                                "in the Impulse Response category, then load the WAV file.")
                     .arg(effectName);
        return std::nullopt;
    }
    std::optional<WavImpulse> impulse = readWavImpulse(path, rule->samples, error);
    if (!impulse)
        return std::nullopt;
    // Always from the catalogue's image, so loads never build on each other.
    const std::optional<QString> original = catalogue.image(effectName, error);
    if (!original)
        return std::nullopt;
    const std::optional<QString> image = spliceCoefficients(*original, *rule, impulse->words);
    if (!image) {
        *error = QStringLiteral("The image of \"%1\" is too short to hold an impulse response, "
                                "so nothing was loaded. Reinstall the editor to repair its "
                                "catalogue.")
                     .arg(effectName);
        return std::nullopt;
    }
    debugLog(*image);
    return IrLoad{std::move(*impulse), *image};
}

} // namespace kestra
