// Impulse response files, read for an IR effect's rule or for a small
// sample count the input picks (so small files reach the conversion). Any
// bytes: an accepted file gives exactly the samples asked for, each a
// sign-extended 24-bit word, which splice into an image and read back. A
// WAV file the input describes (24- or 32-bit PCM, plain or extensible
// format, one or two channels, other chunks before and after): the words are
// the upper 24 bits of its first channel's samples.
#include "fuzz/FuzzSupport.h"
#include "ir/IrLoader.h"

#include <QFile>

namespace kestra::fuzz {
namespace {

struct Sound {
    int bits = 24; // 24 or 32
    int channels = 1;
    bool extensible = false;
    std::vector<std::int32_t> samples; // full scale: a 24-bit sample s is s << 8
};

void littleEndian(QByteArray& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

QByteArray chunk(const char* id, const QByteArray& body) {
    QByteArray out(id, 4);
    littleEndian(out, static_cast<std::uint32_t>(body.size()), 4);
    out += body;
    if (body.size() % 2)
        out.append('\0');
    return out;
}

// A chunk before "fmt ": a LIST of INFO text, or JUNK. (libsndfile 1.2
// misses the pad byte after a LIST chunk of odd size, which a LIST of
// padded INFO chunks never has.)
QByteArray chunkBefore(const QByteArray& text, bool list) {
    return list ? chunk("LIST", "INFO" + chunk("ISFT", text)) : chunk("JUNK", text);
}

QByteArray wavFile(const Sound& sound, const QByteArray& before, const QByteArray& after) {
    const int blockAlign = sound.channels * sound.bits / 8;
    QByteArray format;
    littleEndian(format, sound.extensible ? 0xFFFE : 1, 2);
    littleEndian(format, static_cast<std::uint32_t>(sound.channels), 2);
    littleEndian(format, 48000, 4);
    littleEndian(format, static_cast<std::uint32_t>(48000 * blockAlign), 4);
    littleEndian(format, static_cast<std::uint32_t>(blockAlign), 2);
    littleEndian(format, static_cast<std::uint32_t>(sound.bits), 2);
    if (sound.extensible) {
        littleEndian(format, 22, 2);
        littleEndian(format, static_cast<std::uint32_t>(sound.bits), 2);
        littleEndian(format, sound.channels == 1 ? 0x4 : 0x3, 4);
        // KSDATAFORMAT_SUBTYPE_PCM
        format += QByteArray::fromHex("0100000000001000800000aa00389b71");
    }
    QByteArray data;
    for (std::int32_t sample : sound.samples) {
        const auto value = static_cast<std::uint32_t>(sample);
        littleEndian(data, sound.bits == 24 ? value >> 8 : value, sound.bits / 8);
    }
    QByteArray body("WAVE");
    body += before + chunk("fmt ", format) + chunk("data", data);
    if (!after.isEmpty())
        body += chunk("JUNK", after);
    return chunk("RIFF", body);
}

Sound soundFrom(FuzzedDataProvider& in, int samples) {
    Sound sound;
    sound.bits = in.ConsumeBool() ? 32 : 24;
    sound.channels = in.ConsumeIntegralInRange(1, 2);
    sound.extensible = in.ConsumeBool();
    // One frame per sample: only the first channel is read.
    const int frames = std::max(samples, 0) + in.ConsumeIntegralInRange(0, 2);
    for (int i = 0; i < frames * sound.channels; ++i) {
        auto sample = static_cast<std::int32_t>(
            in.remaining_bytes() > 0 ? in.ConsumeIntegral<std::uint32_t>() : 0x9E3779B9u * i);
        if (sound.bits == 24)
            sample = static_cast<std::int32_t>(static_cast<std::uint32_t>(sample) & 0xFFFFFF00u);
        sound.samples.push_back(sample);
    }
    return sound;
}

bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

void checkImpulse(const WavImpulse& impulse, const QByteArray& file, int samples) {
    FUZZ_CHECK(impulse.fileSize == file.size());
    FUZZ_CHECK(impulse.bitsPerSample == 8 || impulse.bitsPerSample == 16 ||
               impulse.bitsPerSample == 24 || impulse.bitsPerSample == 32 ||
               impulse.bitsPerSample == 64);
    FUZZ_CHECK(impulse.channels >= 1);
    FUZZ_CHECK(static_cast<int>(impulse.words.size()) == samples);
    for (std::uint32_t word : impulse.words)
        FUZZ_CHECK((word & 0xFF000000u) == ((word & 0x00800000u) ? 0xFF000000u : 0u));

    // Spliced into an image, the block holds the words and nothing else moved.
    const IrRule rule{1, samples, 3};
    const QString image = QString(2 * (rule.byteOffset + rule.blockBytes() + 2), u'5');
    const std::optional<QString> spliced = spliceCoefficients(image, rule, impulse.words);
    FUZZ_CHECK(spliced && spliced->size() == image.size());
    FUZZ_CHECK(spliced->left(2 * rule.byteOffset) == image.left(2 * rule.byteOffset));
    const qsizetype end = 2 * (rule.byteOffset + rule.blockBytes());
    FUZZ_CHECK(spliced->mid(end) == image.mid(end));
    for (int i = 0; i < samples; ++i) {
        bool ok = false;
        const uint word = spliced->mid(2 * rule.byteOffset + 8 * i, 8).toUInt(&ok, 16);
        FUZZ_CHECK(ok && word == impulse.words[static_cast<std::size_t>(i)]);
    }
}

} // namespace
} // namespace kestra::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestra;
    using namespace kestra::fuzz;
    static const char* const effects[] = {"Cabprint 4x12", "Cabprint 2x12", "Cabprint 1x10",
                                          "Roomprint Air"};
    FuzzedDataProvider in(data, size);
    const bool described = in.ConsumeBool();
    const int choice = in.ConsumeIntegralInRange(0, 7);
    const int samples = choice < 4 ? irRuleFor(QLatin1String(effects[choice]))->samples
                                   : in.ConsumeIntegralInRange(-1, 64);

    QByteArray file;
    std::optional<Sound> sound;
    if (described) {
        const bool list = in.ConsumeBool();
        const QByteArray text = QByteArray::fromStdString(
            in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, 9)));
        const QByteArray before = text.isEmpty() ? QByteArray() : chunkBefore(text, list);
        const QByteArray after = QByteArray::fromStdString(
            in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, 9)));
        sound = soundFrom(in, samples);
        file = wavFile(*sound, before, after);
    } else {
        file = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());
    }
    const QString path = scratchPath(QStringLiteral("impulse.wav"));
    FUZZ_CHECK(write(path, file));

    QString error;
    const std::optional<WavImpulse> impulse = readWavImpulse(path, samples, &error);
    FUZZ_CHECK(impulse.has_value() == error.isEmpty());
    if (impulse)
        checkImpulse(*impulse, file, samples);
    if (!sound)
        return 0;
    FUZZ_CHECK_MSG(impulse.has_value() == (samples > 0), shown(error));
    if (!impulse)
        return 0;
    FUZZ_CHECK(impulse->bitsPerSample == sound->bits && impulse->channels == sound->channels &&
               impulse->sampleRate == 48000);
    for (int i = 0; i < samples; ++i) {
        const std::int32_t sample =
            sound->samples[static_cast<std::size_t>(i) * static_cast<std::size_t>(sound->channels)];
        FUZZ_CHECK(impulse->words[static_cast<std::size_t>(i)] ==
                   static_cast<std::uint32_t>(sample >> 8));
    }
    return 0;
}

// libsndfile allocates some hundred kilobytes per open; with ASan's full
// quarantine every run faults in fresh pages, at half the speed.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}
