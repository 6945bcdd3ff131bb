// Small sound files for the impulse response tests, written with libsndfile
// (and one by hand, for a chunk libsndfile would not put before "fmt ").
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <sndfile.h>
#include <vector>

namespace kestra::test {

// Samples are full-scale 32-bit values: a 24-bit file stores their upper
// three bytes. Returns false when libsndfile refuses.
inline bool writeWav(const QString& path, int subtype, const std::vector<std::int32_t>& samples,
                     int channels = 1, int sampleRate = 48000) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | subtype;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const auto frames = static_cast<sf_count_t>(samples.size()) / channels;
    const bool written = sf_writef_int(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

// Samples at full scale +-1.0, for floating-point files and for shapes
// (libsndfile scales them to integer formats).
inline bool writeWavReal(const QString& path, int subtype, const std::vector<double>& samples,
                         int channels = 1, int sampleRate = 48000, int type = SF_FORMAT_WAV) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = type | subtype;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const auto frames = static_cast<sf_count_t>(samples.size()) / channels;
    const bool written = sf_writef_double(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

// A canonical 24-bit mono WAV with a LIST chunk between the RIFF header and
// the format chunk.
inline QByteArray wavWithListChunkFirst(const std::vector<std::int32_t>& samples) {
    const auto le = [](QByteArray& out, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    };
    QByteArray list("INFOISFT");
    le(list, 6, 4);
    list.append("kestr", 6); // with its terminating zero
    QByteArray data;
    for (std::int32_t sample : samples)
        le(data, static_cast<std::uint32_t>(sample) >> 8, 3);
    QByteArray body("WAVE");
    body.append("LIST");
    le(body, static_cast<std::uint32_t>(list.size()), 4);
    body.append(list);
    body.append("fmt ");
    le(body, 16, 4);
    le(body, 1, 2);         // PCM
    le(body, 1, 2);         // mono
    le(body, 48000, 4);     // sample rate
    le(body, 48000 * 3, 4); // byte rate
    le(body, 3, 2);         // block align
    le(body, 24, 2);        // bits per sample
    body.append("data");
    le(body, static_cast<std::uint32_t>(data.size()), 4);
    body.append(data);
    QByteArray file("RIFF");
    le(file, static_cast<std::uint32_t>(body.size()), 4);
    file.append(body);
    return file;
}

} // namespace kestra::test
