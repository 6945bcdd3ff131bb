#include "ir/IrLoader.h"

#include "catalogue/Catalogue.h"
#include "core/DebugLog.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <array>
#include <memory>
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

const char ConvertAdvice[] = "Export the impulse response as a WAV file with 24-bit or 32-bit "
                             "integer samples (48 kHz works best) and load it again.";

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

// The samples as the file stores them (little-endian), for the log.
QString storedSampleHex(const std::vector<int>& samples, int bitsPerSample) {
    const int bytes = bitsPerSample / 8;
    QString text;
    text.reserve(static_cast<qsizetype>(samples.size()) * bytes * 2);
    for (int sample : samples) {
        // sndfile scales a 24-bit sample up by 8 bits.
        auto value = static_cast<std::uint32_t>(sample);
        if (bytes == 3)
            value >>= 8;
        for (int b = 0; b < bytes; ++b) {
            text += QString::number((value >> (8 * b)) & 0xFFu, 16)
                        .toUpper()
                        .rightJustified(2, QLatin1Char('0'));
        }
    }
    return text;
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
    if (subtype == SF_FORMAT_PCM_24) {
        impulse.bitsPerSample = 24;
    } else if (subtype == SF_FORMAT_PCM_32) {
        impulse.bitsPerSample = 32;
    } else {
        SF_FORMAT_INFO subtypeInfo{};
        subtypeInfo.format = subtype;
        const bool named =
            sf_command(nullptr, SFC_GET_FORMAT_INFO, &subtypeInfo, sizeof subtypeInfo) == 0 &&
            subtypeInfo.name;
        *error = QStringLiteral("%1 holds %2 samples; the IR effects take 24-bit or 32-bit "
                                "integer samples only.\n\n%3")
                     .arg(impulse.fileName,
                          named ? QString::fromUtf8(subtypeInfo.name) : QStringLiteral("other"),
                          QString::fromLatin1(ConvertAdvice));
        return std::nullopt;
    }
    debugLog(QStringLiteral("Bits_per_sample: %1").arg(impulse.bitsPerSample));

    const sf_count_t available = format.frames * format.channels;
    if (samples <= 0 || available < samples) {
        *error = QStringLiteral("%1 holds %2 samples, but this effect needs the first %3.\n\n"
                                "Choose a longer impulse response.")
                     .arg(impulse.fileName)
                     .arg(available)
                     .arg(samples);
        return std::nullopt;
    }
    // sndfile reads whole frames; the samples needed may end inside one.
    const sf_count_t frames = (samples + format.channels - 1) / format.channels;
    std::vector<int> data(static_cast<std::size_t>(frames * format.channels));
    const sf_count_t read = sf_readf_int(file.get(), data.data(), frames);
    if (read * format.channels < samples) {
        *error = QStringLiteral("%1 ends early: only %2 of its samples could be read (%3).\n\n"
                                "Check the file or choose another one.")
                     .arg(impulse.fileName)
                     .arg(read * format.channels)
                     .arg(QString::fromUtf8(sf_strerror(file.get())));
        return std::nullopt;
    }
    data.resize(static_cast<std::size_t>(samples));
    debugLog(QStringLiteral("irdata: ") + storedSampleHex(data, impulse.bitsPerSample));

    impulse.words.reserve(data.size());
    QStringList wordLines;
    QString allWords;
    for (int sample : data) {
        const std::uint32_t word = coefficientWord(sample);
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
    return QStringLiteral("Selected file data:\r\nName: ") + impulse.fileName +
           QStringLiteral("\r\nSize: ") + QString::number(impulse.fileSize) +
           QStringLiteral("\r\nSample rate: ") + QString::number(impulse.sampleRate) +
           QStringLiteral("\r\nBits per sample: ") + QString::number(impulse.bitsPerSample);
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
