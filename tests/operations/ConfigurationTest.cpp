#include "operations/Configuration.h"

#include "tests/catalogue/CatalogueFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestra {
namespace {

const char WrongEffect[] =
    "Loaded configuration does not match the effect currently stored on pedal";
const char WrongVersion[] =
    "Loaded configuration does not match the effect version currently stored on pedal";
const char WrongCount[] = "Number of parameters mismatch";

// Effect 0x1A version 2, two parameters (512 and 0, no sources, the first
// reversed), no readbacks.
Configuration twoParameters() {
    Configuration c;
    c.effectNumber = 0x1A;
    c.effectVersion = 2;
    c.numOfParameters = 2;
    c.values = {512, 0};
    c.assignments = {0xFF, 0xFF};
    c.reverse = {1, 0};
    return c;
}

// Effect 0x2E version 9, three parameters, two readbacks.
Configuration withReadbacks() {
    Configuration c;
    c.effectNumber = 0x2E;
    c.effectVersion = 9;
    c.numOfParameters = 3;
    c.numOfReadbacks = 2;
    c.values = {1023, 1024, 7};
    c.assignments = {0, 11, 0xFF};
    c.reverse = {0, 1, 1};
    c.leds = {2, 0xFF};
    return c;
}

ConfigurationTarget targetOf(const Configuration& c) {
    return {c.effectNumber, c.effectVersion, c.numOfParameters, c.numOfReadbacks};
}

QString joined(const QString& composed) {
    return presetFileText(presetFileBytes(composed));
}

TEST(ConfigurationCompose, WritesEveryFieldAtItsWidthInUpperCaseEachLineEndedByCr) {
    EXPECT_EQ(composeConfiguration(twoParameters()),
              "001A\r02\r02\r00400000\r00000000\rFF\rFF\r1\r0\r");
    EXPECT_EQ(composeConfiguration(withReadbacks()),
              "002E\r09\r03\r007FE000\r00800000\r0000E000\r00\r0B\rFF\r0\r1\r1\r02\rFF\r");
}

TEST(ConfigurationCompose, FileIsUtf8WithByteOrderMark) {
    const QByteArray bytes = presetFileBytes("001A\r");
    EXPECT_EQ(bytes, QByteArray("\xEF\xBB\xBF"
                                "001A\r"));
}

TEST(ConfigurationFileText, AnyLineEndReadsAsCrLfAndTheMarkIsSkipped) {
    const QString expected = "001A\r\n02\r\n";
    const QByteArray files[] = {
        "\xEF\xBB\xBF"
        "001A\r02\r",
        "001A\r02\r",
        "001A\r\n02\r\n",
        "001A\n02\n",
        "001A\r02",
    };
    for (const QByteArray& file : files)
        EXPECT_EQ(presetFileText(file), expected) << file.toStdString();
    EXPECT_EQ(presetFileText("A\r\rB\r"), "A\r\n\r\nB\r\n");
}

TEST(ConfigurationRead, SavedConfigurationReadsBackUnchanged) {
    for (const Configuration& saved : {twoParameters(), withReadbacks()}) {
        const ConfigurationReading reading =
            readConfiguration(joined(composeConfiguration(saved)), targetOf(saved));
        ASSERT_TRUE(reading.configuration) << reading.error.toStdString();
        const Configuration& read = *reading.configuration;
        EXPECT_EQ(read.values, saved.values);
        EXPECT_EQ(read.assignments, saved.assignments);
        EXPECT_EQ(read.reverse, saved.reverse);
        EXPECT_EQ(read.leds, saved.leds);
    }
}

TEST(ConfigurationRead, FieldsAreTakenAtFixedPositionsOfTheJoinedText) {
    test::LogCapture log;
    const QString text = "001A\r\n02\r\n02\r\n007FE000\r\n00000000\r\n0B\r\nFF\r\n1\r\n0\r\n";
    const ConfigurationReading reading = readConfiguration(text, {0x1A, 2, 2, 0});
    ASSERT_TRUE(reading.configuration) << reading.error.toStdString();
    EXPECT_EQ(reading.configuration->values[0], 1023);
    EXPECT_EQ(reading.configuration->assignments[0], 11);
    EXPECT_EQ(log.lines.mid(0, 4), (QStringList{"FX number: 001A", "FX version: 02",
                                                "Num of Parameters: 02", "parameters data:"}));
    EXPECT_TRUE(log.lines.contains("0: 007FE000"));
}

TEST(ConfigurationRead, ReverseDigitOtherThanZeroOrOneLeavesTheFlag) {
    const QString text = "001A\r\n02\r\n02\r\n00400000\r\n00000000\r\nFF\r\nFF\r\n7\r\n1\r\n";
    const ConfigurationReading reading = readConfiguration(text, {0x1A, 2, 2, 0});
    ASSERT_TRUE(reading.configuration) << reading.error.toStdString();
    EXPECT_FALSE(reading.configuration->reverse[0].has_value());
    EXPECT_EQ(reading.configuration->reverse[1], 1);
}

TEST(ConfigurationRead, RefusesFilesThatDoNotFitOrAreDamaged) {
    const QString good = composeConfiguration(withReadbacks());
    const ConfigurationTarget target = targetOf(withReadbacks());
    struct Case {
        const char* name;
        QString text;
        QString error; // exact, or the start of a damaged-file message
    };
    const QString damaged = "The preset file is damaged or incomplete";
    QString longerLine = good;
    longerLine.replace("007FE000\r", "0007FE000\r");
    QString notHex = good;
    notHex.replace("00800000\r", "0080Z000\r");
    QString badNumber = good;
    badNumber.replace(0, 4, "00G1");
    const Case cases[] = {
        // The effect is judged before the version, which is wrong as well.
        {"other effect", QString(good).replace(0, 7, "002F\r08"), WrongEffect},
        {"other version", QString(good).replace(5, 2, "08"), WrongVersion},
        {"other count", QString(good).replace(8, 2, "04"), WrongCount},
        {"body cut short", good.left(good.size() - 4), damaged},
        {"header only", good.left(11), damaged},
        {"empty", QString(), damaged},
        {"value not hex", notHex, damaged},
        {"effect number not hex", badNumber, damaged},
        {"a longer line moves the later fields", longerLine, damaged},
    };
    for (const Case& c : cases) {
        const ConfigurationReading reading = readConfiguration(joined(c.text), target);
        EXPECT_FALSE(reading.configuration) << c.name;
        EXPECT_TRUE(reading.error.startsWith(c.error))
            << c.name << ": " << reading.error.toStdString();
    }
}

TEST(ConfigurationRead, HexToIntAcceptsPrefixesAndSurroundingSpace) {
    const std::pair<QString, std::optional<int>> cases[] = {
        {"1A", 0x1A},       {"001a", 0x1A},      {" $1A\r\n", 0x1A},   {"0x1A", 0x1A},
        {"", std::nullopt}, {"$", std::nullopt}, {"1G", std::nullopt}, {"-1", std::nullopt},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(HexToInt(text), value) << text.toStdString();
}

class PresetFileTest : public testing::Test {
protected:
    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    QTemporaryDir dir;
};

TEST_F(PresetFileTest, WriteReplacesTheWholeFile) {
    QFile old(path("p.txt"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(500, 'x'));
    old.close();
    QString error;
    ASSERT_TRUE(writePresetFile(path("p.txt"), "001A\r", &error)) << error.toStdString();
    QFile written(path("p.txt"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), presetFileBytes("001A\r"));
    EXPECT_EQ(readPresetFile(path("p.txt"), &error), "001A\r\n");
}

TEST_F(PresetFileTest, FailuresSayWhichFile) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.txt"));
    QString error;
    EXPECT_FALSE(writePresetFile(path("folder.txt"), "001A\r", &error));
    EXPECT_TRUE(error.contains("folder.txt")) << error.toStdString();
    EXPECT_TRUE(QFileInfo(path("folder.txt")).isDir());

    EXPECT_FALSE(readPresetFile(path("missing.txt"), &error));
    EXPECT_TRUE(error.contains("missing.txt")) << error.toStdString();

    QFile empty(path("empty.txt"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_FALSE(readPresetFile(path("empty.txt"), &error));
    EXPECT_TRUE(error.contains("empty")) << error.toStdString();
}

} // namespace
} // namespace kestra
