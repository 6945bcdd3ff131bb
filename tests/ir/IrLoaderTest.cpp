#include "ir/IrLoader.h"

#include "catalogue/Catalogue.h"
#include "catalogue/ResourceNames.h"
#include "tests/catalogue/CatalogueFixtures.h"
#include "tests/ir/WavFiles.h"
#include "tests/support/TestDialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace kestra {
namespace {

using test::writeWav;
using test::writeWavReal;

class IrLoaderTest : public testing::Test {
protected:
    // The summary's lines about the file itself.
    QString summaryStart(const QString& name, int rate, int bits) const {
        return "Selected file data:\r\nName: " + name +
               "\r\nSize: " + QString::number(QFileInfo(path(name)).size()) +
               "\r\nSample rate: " + QString::number(rate) +
               "\r\nBits per sample: " + QString::number(bits);
    }
    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    std::optional<WavImpulse> read(const QString& name, int samples) {
        error.clear();
        return readWavImpulse(path(name), samples, &error);
    }

    QTemporaryDir dir;
    test::TestDialogs prompts;
    test::LogCapture log;
    QString error;
};

TEST_F(IrLoaderTest, SamplesBecomeSignedCoefficientWords) {
    // 24-bit file bytes 56 34 F2, 00 00 80, 00 00 7F; 32-bit bytes 9A 78 56 34.
    ASSERT_TRUE(writeWav(path("24.wav"), SF_FORMAT_PCM_24,
                         {static_cast<std::int32_t>(0xF2345600), INT32_MIN, 0x7F000000}));
    ASSERT_TRUE(writeWav(path("32.wav"), SF_FORMAT_PCM_32, {0x3456789A}));

    const auto wide = read("24.wav", 3);
    ASSERT_TRUE(wide) << error.toStdString();
    EXPECT_EQ(wide->words, (std::vector<std::uint32_t>{0xFFF23456, 0xFF800000, 0x007F0000}));
    EXPECT_EQ(wide->bitsPerSample, 24);
    EXPECT_EQ(wide->sampleRate, 48000);
    EXPECT_TRUE(log.lines.contains("irdata: 5634F200008000007F"));
    EXPECT_TRUE(log.lines.contains("irdata swapped endianess: FFF23456FF800000007F0000"));

    const auto full = read("32.wav", 1);
    ASSERT_TRUE(full) << error.toStdString();
    EXPECT_EQ(full->words, (std::vector<std::uint32_t>{0x00345678}));
    EXPECT_EQ(full->bitsPerSample, 32);
}

TEST_F(IrLoaderTest, ThirtyTwoBitFileGivesTheWordsOfItsUpperTwentyFourBits) {
    const std::vector<std::int32_t> samples{0x12345678, -0x12345678, 0x7FFFFFFF, -1, 0};
    std::vector<std::int32_t> upper;
    for (std::int32_t s : samples)
        upper.push_back(static_cast<std::int32_t>(static_cast<std::uint32_t>(s) & 0xFFFFFF00u));
    ASSERT_TRUE(writeWav(path("32.wav"), SF_FORMAT_PCM_32, samples));
    ASSERT_TRUE(writeWav(path("24.wav"), SF_FORMAT_PCM_24, upper));
    const auto full = read("32.wav", 5);
    const auto wide = read("24.wav", 5);
    ASSERT_TRUE(full && wide) << error.toStdString();
    EXPECT_EQ(full->words, wide->words);
}

TEST_F(IrLoaderTest, ChunkBeforeTheFormatChunkChangesNothing) {
    const std::vector<std::int32_t> samples{0x10203000, static_cast<std::int32_t>(0x80000100)};
    ASSERT_TRUE(writeWav(path("plain.wav"), SF_FORMAT_PCM_24, samples));
    QFile listed(path("listed.wav"));
    ASSERT_TRUE(listed.open(QIODevice::WriteOnly));
    listed.write(test::wavWithListChunkFirst(samples));
    listed.close();

    const auto plain = read("plain.wav", 2);
    log.lines.clear();
    const auto withList = read("listed.wav", 2);
    ASSERT_TRUE(plain && withList) << error.toStdString();
    EXPECT_EQ(withList->words, plain->words);
    EXPECT_TRUE(log.lines.contains("Subchunk ID: LIST"));
    EXPECT_TRUE(log.lines.contains("Sample_Rate: 48000"));
}

// Every sample format at the pedal's rate: the words of the first channel.
struct FormatCase {
    const char* name;
    int subtype;
    int channels;
    std::vector<std::int32_t> ints; // PCM, full scale, interleaved
    std::vector<double> reals;      // floating point, full scale at +-1.0, interleaved
    int bits;
    std::vector<std::uint32_t> words;
};
void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.name;
}

const FormatCase FormatCases[] = {
    {"Unsigned8Bit",
     SF_FORMAT_PCM_U8,
     1,
     {0x7F000000, INT32_MIN, 0x01000000, -0x01000000, 0},
     {},
     8,
     {0x007F0000, 0xFF800000, 0x00010000, 0xFFFF0000, 0}},
    {"Pcm16Bit",
     SF_FORMAT_PCM_16,
     1,
     {0x12340000, -0x12340000, 0x7FFF0000, INT32_MIN},
     {},
     16,
     {0x00123400, 0xFFEDCC00, 0x007FFF00, 0xFF800000}},
    {"Pcm24BitStereo",
     SF_FORMAT_PCM_24,
     2,
     {0x01000000, 0x02000000, 0x03000000, 0x04000000, -0x05000000, 0x06000000},
     {},
     24,
     {0x00010000, 0x00030000, 0xFFFB0000}},
    {"Pcm16BitFourChannels",
     SF_FORMAT_PCM_16,
     4,
     {0x11110000, 0x22220000, 0x33330000, 0x44440000, -0x11110000, 0x55550000, 0x66660000,
      0x77770000},
     {},
     16,
     {0x00111100, 0xFFEEEF00}},
    {"Float32Bit",
     SF_FORMAT_FLOAT,
     1,
     {},
     {0.5, -0.25, -1.0, 0x123456p-23, -0x123456p-23, 0x1p-30, -0x1p-30, 1.0, 1.5, -1.5},
     32,
     {0x00400000, 0xFFE00000, 0xFF800000, 0x00123456, 0xFFEDCBAA, 0, 0xFFFFFFFF, 0x007FFFFF,
      0x007FFFFF, 0xFF800000}},
    // Bits below the 24th are dropped as for 32-bit integer samples.
    {"Float64BitStereo",
     SF_FORMAT_DOUBLE,
     2,
     {},
     {(0x12345678 + 0.25) * 0x1p-31, 0.9, -0x12345678 * 0x1p-31, 0.9},
     64,
     {0x00123456, 0xFFEDCBA9}},
};

class FormatTest : public IrLoaderTest, public testing::WithParamInterface<FormatCase> {};

TEST_P(FormatTest, FirstChannelBecomesTheUpperTwentyFourBits) {
    const FormatCase& c = GetParam();
    const QString name = QString(c.name) + ".wav";
    ASSERT_TRUE(c.reals.empty() ? writeWav(path(name), c.subtype, c.ints, c.channels)
                                : writeWavReal(path(name), c.subtype, c.reals, c.channels));
    const auto impulse = read(name, static_cast<int>(c.words.size()));
    ASSERT_TRUE(impulse) << error.toStdString();
    EXPECT_EQ(impulse->words, c.words);
    EXPECT_EQ(impulse->bitsPerSample, c.bits);
    EXPECT_EQ(impulse->channels, c.channels);
    EXPECT_EQ(irSummary(*impulse),
              summaryStart(name, 48000, c.bits) +
                  (c.channels > 1 ? QString("\r\nFirst of %1 channels used").arg(c.channels)
                                  : QString()));
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatTest, testing::ValuesIn(FormatCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Other rates are converted to 48 kHz: a known signal keeps its shape.
struct RateCase {
    const char* name;
    int rate;
    int channels;
};
void PrintTo(const RateCase& c, std::ostream* os) {
    *os << c.name;
}

class RateTest : public IrLoaderTest, public testing::WithParamInterface<RateCase> {
protected:
    static constexpr int Needed = 1500;
    // A file long enough for Needed samples at 48 kHz, the first channel
    // from shape (seconds -> level), the others a level that would show.
    bool writeShape(const QString& name, const std::function<double(int frame)>& shape) {
        const RateCase& c = GetParam();
        const int frames = Needed * c.rate / 48000 + c.rate / 10;
        std::vector<double> samples;
        for (int frame = 0; frame < frames; ++frame) {
            samples.push_back(shape(frame));
            for (int channel = 1; channel < c.channels; ++channel)
                samples.push_back(0.75);
        }
        return writeWavReal(path(name), SF_FORMAT_PCM_24, samples, c.channels, c.rate);
    }
    static double level(std::uint32_t word) {
        return static_cast<std::int32_t>(word << 8) * 0x1p-31;
    }
};

TEST_P(RateTest, ImpulseStaysAnImpulseAtTheSameTime) {
    const RateCase& c = GetParam();
    // 20 ms in: frame rate / 50 of the file, sample 960 at 48 kHz.
    ASSERT_TRUE(
        writeShape("impulse.wav", [&](int frame) { return frame == c.rate / 50 ? 0.5 : 0; }));
    const auto impulse = read("impulse.wav", Needed);
    ASSERT_TRUE(impulse) << error.toStdString();
    ASSERT_EQ(impulse->words.size(), std::size_t(Needed));
    std::size_t peak = 0;
    for (std::size_t i = 0; i < impulse->words.size(); ++i)
        if (std::abs(level(impulse->words[i])) > std::abs(level(impulse->words[peak])))
            peak = i;
    EXPECT_EQ(peak, 960u);
    // Slightly under the height a band limit leaves (lower when the rate
    // comes down), and ringing that dies within a millisecond.
    const double height = 0.5 * std::min(1.0, 48000.0 / c.rate);
    EXPECT_NEAR(level(impulse->words[peak]), 0.966 * height, 0.01 * height);
    for (std::size_t i = 0; i < impulse->words.size(); ++i) {
        if (i + 48 < peak || i > peak + 48) {
            ASSERT_LT(std::abs(level(impulse->words[i])), 0.05 * height) << "sample " << i;
        }
    }
    EXPECT_EQ(irSummary(*impulse),
              summaryStart("impulse.wav", c.rate, 24) +
                  QString("\r\nResampled from %1 Hz to 48000 Hz").arg(c.rate) +
                  (c.channels > 1 ? QString("\r\nFirst of %1 channels used").arg(c.channels)
                                  : QString()));
}

TEST_P(RateTest, LevelStaysTheLevel) {
    ASSERT_TRUE(writeShape("level.wav", [](int) { return 0.25; }));
    const auto impulse = read("level.wav", Needed);
    ASSERT_TRUE(impulse) << error.toStdString();
    ASSERT_EQ(impulse->words.size(), std::size_t(Needed));
    // Past the filter's ringing at the start.
    for (std::size_t i = 200; i < impulse->words.size(); ++i)
        ASSERT_NEAR(level(impulse->words[i]), 0.25, 0.001) << "sample " << i;
}

const RateCase RateCases[] = {
    {"From44100Hz", 44100, 1},         {"From22050HzStereo", 22050, 2}, {"From96000Hz", 96000, 1},
    {"From192000HzStereo", 192000, 2}, {"From8000Hz", 8000, 1},
};
INSTANTIATE_TEST_SUITE_P(Rates, RateTest, testing::ValuesIn(RateCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The block is filled from the samples there are at 48 kHz.
struct LengthCase {
    const char* name;
    int rate;
    int frames;
    const char* refusal; // empty when the file is long enough
};
void PrintTo(const LengthCase& c, std::ostream* os) {
    *os << c.name;
}

const LengthCase LengthCases[] = {
    {"At48000HzExactlyEnough", 48000, 882, ""},
    {"At48000HzOneShort", 48000, 881,
     "short.wav holds 881 samples, but this effect needs the first 882.\n\n"
     "Choose a longer impulse response."},
    {"From44100HzJustEnough", 44100, 811, ""},
    {"From44100HzOneShort", 44100, 810,
     "short.wav holds 810 samples at 44100 Hz, which make 881 at 48000 Hz, but this effect "
     "needs the first 882.\n\nChoose a longer impulse response."},
    {"From96000HzExactlyEnough", 96000, 1764, ""},
    {"From96000HzOneShort", 96000, 1763,
     "short.wav holds 1763 samples at 96000 Hz, which make 881 at 48000 Hz, but this effect "
     "needs the first 882.\n\nChoose a longer impulse response."},
    {"From44100HzMuchLonger", 44100, 441000, ""},
};

class LengthTest : public IrLoaderTest, public testing::WithParamInterface<LengthCase> {};

TEST_P(LengthTest, FileMustHoldTheBlockAtThePedalsRate) {
    const LengthCase& c = GetParam();
    ASSERT_TRUE(writeWavReal(path("short.wav"), SF_FORMAT_PCM_16,
                             std::vector<double>(static_cast<std::size_t>(c.frames), 0.125), 1,
                             c.rate));
    const auto impulse = read("short.wav", 882);
    EXPECT_EQ(error, c.refusal);
    EXPECT_EQ(impulse.has_value(), QString(c.refusal).isEmpty());
    if (impulse) {
        EXPECT_EQ(impulse->words.size(), 882u);
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, LengthTest, testing::ValuesIn(LengthCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Files that give no impulse response, each refused saying what is wrong
// and what to do.
struct RefusalCase {
    const char* name;
    std::function<bool(const QString& path)> make; // false when it could not
    std::vector<const char*> says;
};
void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

bool cutTo(const QString& path, qint64 bytes) {
    return QFile::resize(path, bytes);
}
bool cutBy(const QString& path, qint64 bytes) {
    return QFile::resize(path, QFileInfo(path).size() - bytes);
}
const std::vector<double> Long(2000, 0.125);

const RefusalCase RefusalCases[] = {
    {"NotASoundFile",
     [](const QString& path) {
         QFile text(path);
         return text.open(QIODevice::WriteOnly) && text.write("this is no sound\r\n") > 0;
     },
     {"could not be read as a WAV file", "Export the impulse response as a WAV file"}},
    {"Missing",
     [](const QString&) { return true; },
     {"could not be read as a WAV file", "Export the impulse response as a WAV file"}},
    {"Aiff",
     [](const QString& path) {
         return writeWavReal(path, SF_FORMAT_PCM_24, Long, 1, 48000, SF_FORMAT_AIFF);
     },
     {"is not a WAV file", "Export the impulse response as a WAV file"}},
    {"ImaAdpcm",
     [](const QString& path) { return writeWavReal(path, SF_FORMAT_IMA_ADPCM, Long); },
     {"holds IMA ADPCM samples; the IR effects take PCM or floating-point samples only",
      "Export the impulse response as a WAV file"}},
    {"CutInTheHeader",
     [](const QString& path) {
         return writeWavReal(path, SF_FORMAT_PCM_24, Long) && cutTo(path, 30);
     },
     {"could not be read as a WAV file", "Export the impulse response as a WAV file"}},
    // Long enough still, but not what was recorded.
    {"CutInTheData",
     [](const QString& path) {
         return writeWavReal(path, SF_FORMAT_PCM_24, Long) && cutBy(path, 3 * 1000);
     },
     {"ends before its sound data does", "Copy or export the impulse response again"}},
    {"CutInsideTheLastFrame",
     [](const QString& path) {
         return writeWavReal(path, SF_FORMAT_PCM_16, Long, 2) && cutBy(path, 1);
     },
     {"ends before its sound data does", "Copy or export the impulse response again"}},
    {"RateBeyondConversion",
     [](const QString& path) { return writeWavReal(path, SF_FORMAT_PCM_24, Long, 1, 100); },
     {"has a sample rate of 100 Hz, which cannot be converted to 48000 Hz",
      "Export the impulse response as a WAV file"}},
};

class RefusalTest : public IrLoaderTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, SaysWhatIsWrongAndWhatToDo) {
    const RefusalCase& c = GetParam();
    ASSERT_TRUE(c.make(path("refused.wav")));
    EXPECT_FALSE(read("refused.wav", 882));
    for (const char* part : c.says)
        EXPECT_TRUE(error.contains(part)) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Refusals, RefusalTest, testing::ValuesIn(RefusalCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IrLoaderTest, RulesNameTheFourIrEffects) {
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"Cabprint 4x12", 882}, {"Cabprint 2x12", 703},          {"Cabprint 1x10", 703},
        {"Roomprint Air", 912}, {"cabprint 4x12", std::nullopt}, {"Grizzle Drive", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [name, samples] : cases) {
        const std::optional<IrRule> rule = irRuleFor(name);
        EXPECT_EQ(rule ? std::optional<int>(rule->samples) : std::nullopt, samples) << name;
    }
    EXPECT_EQ(irRuleFor("Cabprint 1x10")->byteOffset, 370);
}

TEST_F(IrLoaderTest, SpliceReplacesOnlyTheBlock) {
    const IrRule rule{9, 2, 3};
    const QString image = "00112233445566778899AABB";
    EXPECT_EQ(spliceCoefficients(image, rule, {0xFFF23456, 0x007F0000}),
              "001122FFF23456007F0000BB");
    EXPECT_FALSE(spliceCoefficients(image.left(20), rule, {0xFFF23456, 0x007F0000}));
    EXPECT_FALSE(spliceCoefficients(image, rule, {0xFFF23456}));
}

TEST_F(IrLoaderTest, LoadStartsFromTheCataloguesImageEachTime) {
    const QString effect = "Cabprint 4x12";
    const IrRule rule = *irRuleFor(effect);
    ASSERT_TRUE(writeWav(path("a.wav"), SF_FORMAT_PCM_24,
                         std::vector<std::int32_t>(static_cast<std::size_t>(rule.samples), 0x100)));
    ASSERT_TRUE(
        writeWav(path("b.wav"), SF_FORMAT_PCM_32,
                 std::vector<std::int32_t>(static_cast<std::size_t>(rule.samples) + 5, -0x1000)));
    const Catalogue catalogue;
    ASSERT_TRUE(loadImpulseResponse(path("a.wav"), effect, catalogue, &error))
        << error.toStdString();
    const auto second = loadImpulseResponse(path("b.wav"), effect, catalogue, &error);
    ASSERT_TRUE(second) << error.toStdString();

    const QString original = catalogue.image(effect).value_or(QString());
    ASSERT_EQ(second->image.size(), original.size());
    const qsizetype start = 2 * rule.byteOffset;
    const qsizetype length = 2 * rule.blockBytes();
    EXPECT_EQ(second->image.left(start), original.left(start));
    EXPECT_EQ(second->image.mid(start + length), original.mid(start + length));
    EXPECT_EQ(second->image.mid(start, length), QString("FFFFFFF0").repeated(rule.samples));
    EXPECT_EQ(irSummary(second->impulse), "Selected file data:\r\nName: b.wav\r\nSize: " +
                                              QString::number(QFileInfo(path("b.wav")).size()) +
                                              "\r\nSample rate: 48000\r\nBits per sample: 32");
}

TEST_F(IrLoaderTest, EffectWithoutRuleIsRefusedBeforeTheFileIsRead) {
    EXPECT_FALSE(loadImpulseResponse(path("missing.wav"), "Grizzle Drive", Catalogue(), &error));
    EXPECT_TRUE(error.contains("takes no impulse response")) << error.toStdString();
    EXPECT_TRUE(log.lines.isEmpty());
}

} // namespace
} // namespace kestra
