#include "ir/IrLoader.h"

#include "catalogue/Catalogue.h"
#include "catalogue/ResourceNames.h"
#include "tests/catalogue/CatalogueFixtures.h"
#include "tests/ir/WavFiles.h"
#include "tests/support/TestDialogs.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestra {
namespace {

using test::writeWav;

class IrLoaderTest : public testing::Test {
protected:
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

TEST_F(IrLoaderTest, ChannelsAreTakenInFileOrder) {
    ASSERT_TRUE(writeWav(path("stereo.wav"), SF_FORMAT_PCM_24,
                         {0x01000000, 0x02000000, 0x03000000, 0x04000000}, 2));
    const auto impulse = read("stereo.wav", 3);
    ASSERT_TRUE(impulse) << error.toStdString();
    EXPECT_EQ(impulse->words, (std::vector<std::uint32_t>{0x00010000, 0x00020000, 0x00030000}));
    EXPECT_EQ(impulse->channels, 2);
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

TEST_F(IrLoaderTest, RefusesWhatItCannotConvert) {
    ASSERT_TRUE(writeWav(path("16.wav"), SF_FORMAT_PCM_16, {0, 0, 0, 0}));
    ASSERT_TRUE(writeWav(path("float.wav"), SF_FORMAT_FLOAT, {0, 0, 0, 0}));
    ASSERT_TRUE(writeWav(path("short.wav"), SF_FORMAT_PCM_24, {0, 0, 0}));
    QFile text(path("text.wav"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is no sound\r\n");
    text.close();
    const std::pair<const char*, const char*> cases[] = {
        {"16.wav", "24-bit or 32-bit"},
        {"float.wav", "24-bit or 32-bit"},
        {"short.wav", "holds 3 samples"},
        {"text.wav", "could not be read as a WAV file"},
        {"missing.wav", "could not be read as a WAV file"},
    };
    for (const auto& [name, reason] : cases) {
        EXPECT_FALSE(read(name, 4)) << name;
        EXPECT_TRUE(error.contains(reason)) << name << ": " << error.toStdString();
    }
}

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
