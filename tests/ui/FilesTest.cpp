// Preset files of the stored effect's state, and impulse responses loaded
// into an IR effect's image, end to end on the virtual pedal.
#include "PedalFixture.h"
#include "ir/IrLoader.h"
#include "tests/ir/WavFiles.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>

namespace kestra::test {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QString hex(int value, int width) {
    return QString::number(value, 16).toUpper().rightJustified(width, '0');
}

class FilesTest : public PedalFixture {
protected:
    void SetUp() override {
        PedalFixture::SetUp();
        link();
        dialogs.clear();
    }
    QString presetPath(const QString& name) const {
        return documents.path() + "/Quorvane/Kestra/Preset/" + name;
    }
    // Saves under the name the dialog answers with (empty: cancelled); the
    // path written, or nothing.
    QString save(const QString& chosen) {
        dialogs.files.push_back(chosen.isEmpty() ? QString() : presetPath(chosen));
        trigger("Save Configuration");
        settle();
        const QString saved = "File saved successfully: ";
        return !statusLabel().startsWith(saved) ? QString() : statusLabel().mid(saved.size());
    }
    void load(const QString& path) {
        dialogs.files.push_back(path);
        trigger("Load Configuration");
        settle();
    }
    QStringList lines(const QString& path) {
        const QByteArray bytes = readAll(path);
        EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
        EXPECT_FALSE(bytes.contains('\n'));
        EXPECT_TRUE(bytes.endsWith('\r'));
        return QString::fromUtf8(bytes.mid(3)).split('\r', Qt::SkipEmptyParts);
    }
};

// Gravel X2: pots Gain, Tone, Level, Tight; a Stage selector of six
// positions; one readback, Clip.
class GravelFiles : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        if (const QString m = missing({"Gravel X2"}); !m.isEmpty())
            GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
        putOnPedal("Gain", "Gravel X2");
        setSlider("Gain", 1023);
        setSlider("Tone", 300);
        pick("Stage", "3");
        pick("Gain source", "KI");
        pick("Tight source", "B1");
        pick("Clip LED", "RED");
        click("Assign");
        parameter<QCheckBox>("Gain reverse")->click();
        clock.advance(100);
        ASSERT_EQ(pedalList("sources").mid(0, 4), QStringList({"0", "255", "255", "5"}));
        dialogs.clear();
    }
};

TEST_F(GravelFiles, SavedFileHoldsThePedalsStateLineByLineReadJustBefore) {
    pedal.clearWrites();
    const QString path = save("gravel");
    ASSERT_EQ(path, presetPath("gravel.txt")) << dialogs.errors.join('|').toStdString();
    EXPECT_EQ(pedal.writes(), QStringList({"0205"})) << "the state is read again first";
    EXPECT_EQ(dialogs.lastDialog.title, "Save Preset File");
    EXPECT_EQ(dialogs.lastDialog.fileName, "Gravel X2");
    EXPECT_EQ(dialogs.lastDialog.filter, "Preset files (*.txt)");
    EXPECT_EQ(dialogs.lastDialog.defaultSuffix, "txt");
    EXPECT_EQ(dialogs.lastDialog.folder, documents.path() + "/Quorvane/Kestra/Preset");
    const QStringList expected = {hex(effectNumber("Gravel X2"), 4),
                                  hex(pedalStatus("effect.version").toInt(), 2),
                                  "05",
                                  "007FE000",
                                  hex(300 << 13, 8),
                                  "00000000",
                                  "00000000",
                                  hex((2 * (1024 / 6)) << 13, 8),
                                  "00",
                                  "FF",
                                  "FF",
                                  "05",
                                  "FF",
                                  "1",
                                  "0",
                                  "0",
                                  "0",
                                  "0",
                                  "02"};
    EXPECT_EQ(lines(path), expected);
}

TEST_F(GravelFiles, LoadingTheSavedFileBringsEverythingBack) {
    const QString path = save("gravel");
    const QStringList saved = shown();
    setSlider("Gain", 10);
    pick("Stage", "1");
    pick("Tight source", "--");
    pick("Clip LED", "--");
    parameter<QCheckBox>("Gain reverse")->click();
    clock.advance(100);
    ASSERT_NE(shown(), saved);
    dialogs.clear();

    load(path);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
    EXPECT_TRUE(dialogs.messages.isEmpty()) << "success is said in the status line";
    EXPECT_EQ(statusLabel(), "File loaded successfully: " + path);
    EXPECT_EQ(dialogs.lastDialog.title, "Open Preset File");
    EXPECT_EQ(shown(), saved);
    EXPECT_EQ(pedalValue(0), 1023);
    EXPECT_EQ(pedalList("reverse").value(0), "1");
}

TEST_F(GravelFiles, LoadSendsOneFrameForEachControlThatChanges) {
    const QString path = save("gravel");
    pedal.clearWrites();
    load(path);
    EXPECT_TRUE(pedal.writes().isEmpty()) << pedal.writes().join('|').toStdString();

    setSlider("Tone", 5);
    parameter<QCheckBox>("Gain reverse")->click();
    clock.advance(100);
    pedal.clearWrites();
    load(path);
    const QStringList writes = pedal.writes();
    ASSERT_EQ(writes.size(), 2) << writes.join('|').toStdString();
    EXPECT_TRUE(writes[0].startsWith(setFrame("Gravel X2", 1, "")));
    EXPECT_EQ(writes[1], "080100");
    EXPECT_EQ(pedalValue(1), 300);
}

TEST_F(GravelFiles, LineEndsAndByteOrderMarkDoNotMatter) {
    const QByteArray saved = readAll(save("gravel"));
    const QByteArray body = saved.mid(3);
    QByteArray crlf = saved;
    crlf.replace("\r", "\r\n");
    QByteArray lf = body;
    lf.replace('\r', '\n');
    for (const QByteArray& variant : {crlf, lf, body}) {
        writeAll(presetPath("variant.txt"), variant);
        dialogs.clear();
        pedal.clearWrites();
        load(presetPath("variant.txt"));
        EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
        EXPECT_TRUE(pedal.writes().isEmpty());
    }
}

TEST_F(GravelFiles, FileThatDoesNotFitIsRefusedAndNothingIsApplied) {
    const QString good = QString::fromUtf8(readAll(save("gravel")).mid(3));
    const QStringList before = shown();
    const QString otherNumber = hex(effectNumber("Gravel X2") + 1, 4);
    const QString otherVersion = hex(pedalStatus("effect.version").toInt() + 1, 2);
    QString notHex = good;
    notHex.replace("007FE000", "007FG000");
    const std::pair<QString, QString> cases[] = {
        // Another effect, whose version differs as well: the effect is named
        // (its upload offered first and declined).
        {otherNumber + "\r" + otherVersion + good.mid(7),
         "Loaded configuration does not match the effect currently stored on pedal"},
        {good.left(5) + otherVersion + good.mid(7),
         "Loaded configuration does not match the effect version currently stored on pedal"},
        {good.left(8) + "04" + good.mid(10), "Number of parameters mismatch"},
        {good.left(good.size() - 8), "The preset file is damaged or incomplete"},
        {notHex, "The preset file is damaged or incomplete"},
    };
    for (const auto& [text, error] : cases) {
        writeAll(presetPath("bad.txt"), text.toUtf8());
        setSlider("Gain", 3);
        clock.advance(10);
        dialogs.clear();
        pedal.clearWrites();
        dialogs.answers = {false};
        load(presetPath("bad.txt"));
        dialogs.answers.clear();
        ASSERT_EQ(dialogs.errors.size(), 1) << text.toStdString();
        EXPECT_TRUE(dialogs.errors[0].startsWith(error)) << dialogs.errors[0].toStdString();
        EXPECT_EQ(slider("Gain"), 3);
        EXPECT_TRUE(pedal.writes().isEmpty());
        setSlider("Gain", 1023);
        clock.advance(10);
    }
    EXPECT_EQ(shown(), before);
}

TEST_F(GravelFiles, ChosenNameGetsTheTxtExtensionCaseSensitively) {
    const std::pair<QString, QString> cases[] = {
        {"test", "test.txt"}, {"test.TXT", "test.TXT.txt"}, {"test.txt", "test.txt"}};
    for (const auto& [chosen, written] : cases) {
        dialogs.clear();
        EXPECT_EQ(save(chosen), presetPath(written));
        EXPECT_TRUE(QFile::exists(presetPath(written))) << written.toStdString();
    }
}

TEST_F(GravelFiles, CancelledOrFailedSaveLeavesFilesAlone) {
    EXPECT_TRUE(save("").isEmpty());
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_TRUE(QDir(presetPath("")).isEmpty());

    ASSERT_TRUE(QDir().mkpath(presetPath("taken.txt")));
    EXPECT_TRUE(save("taken").isEmpty());
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Error saving file: "));
    EXPECT_TRUE(QFileInfo(presetPath("taken.txt")).isDir());

    dialogs.clear();
    load(presetPath("missing.txt"));
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Error loading file: "));
}

TEST_F(FilesTest, EffectWithoutReadbacksHasNoLedLinesAndKeepsItsSwitch) {
    if (const QString m = missing({"Grizzle Drive"}); !m.isEmpty())
        GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
    putOnPedal("Gain", "Grizzle Drive"); // Drive, Tone, Level, and the Bright switch
    auto* bright = parameter<ToggleSwitch>("Bright");
    ASSERT_NE(bright, nullptr);
    bright->click();
    clock.advance(10);
    const QString path = save("drive");
    const QStringList saved = lines(path);
    ASSERT_EQ(saved.size(), 3 + 3 * 4);
    EXPECT_EQ(saved[3 + 3], "00800000");
    bright->click();
    clock.advance(10);
    dialogs.clear();
    pedal.clearWrites();
    load(path);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
    EXPECT_TRUE(bright->isChecked());
    EXPECT_EQ(pedal.writes().size(), 1);
}

TEST_F(FilesTest, ConfigurationNeedsTheStoredEffectInTheWindow) {
    if (const QString m = missing({"Gravel X2", "Grizzle Drive"}); !m.isEmpty())
        GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
    putOnPedal("Gain", "Gravel X2");
    select("Gain", "Grizzle Drive");
    EXPECT_FALSE(action("Save Configuration")->isEnabled());
    EXPECT_FALSE(action("Load Configuration")->isEnabled());
    pedal.clearWrites();
    dialogs.files = {presetPath("x.txt"), presetPath("x.txt")};
    trigger("Save Configuration");
    trigger("Load Configuration");
    settle();
    EXPECT_EQ(dialogs.files.size(), 2u) << "no file dialog opens";
    EXPECT_TRUE(pedal.writes().isEmpty());
    EXPECT_FALSE(QFile::exists(presetPath("x.txt")));
}

class IrFiles : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        if (const QString m = missing({Effect}); !m.isEmpty())
            GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
        rule = *irRuleFor(Effect);
    }
    QString wav(const QString& name) const { return documents.path() + "/" + name; }
    void loadIr(const QString& file) {
        dialogs.files.push_back(file);
        trigger("Load IR");
    }

    const QString Effect = "Cabprint 4x12";
    IrRule rule;
};

TEST_F(IrFiles, LoadedResponseIsUploadedInsideTheEffectsImage) {
    std::vector<std::int32_t> samples(static_cast<std::size_t>(rule.samples) + 100, 0);
    samples[0] = static_cast<std::int32_t>(0xF2345600);
    samples[1] = 0x7F000000;
    ASSERT_TRUE(writeWav(wav("cab.wav"), SF_FORMAT_PCM_24, samples));
    select("Impulse Response", Effect);
    ASSERT_TRUE(action("Load IR")->isEnabled());
    dialogs.clear();
    loadIr(wav("cab.wav"));
    ASSERT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
    EXPECT_EQ(dialogs.lastDialog.filter, "Wave Files (*.wav)");
    EXPECT_EQ(dialogs.messages, QStringList{"Selected file data:\r\nName: cab.wav\r\nSize: " +
                                            QString::number(QFileInfo(wav("cab.wav")).size()) +
                                            "\r\nSample rate: 48000\r\nBits per sample: 24"});

    pedal.clearWrites();
    click("Upload Selected Effect");
    settle();
    const QString sent = pedal.writes().value(1);
    const QString image = imageOf(Effect);
    const qsizetype start = 2 * rule.byteOffset;
    const qsizetype length = 2 * rule.blockBytes();
    ASSERT_EQ(sent.size(), image.size());
    EXPECT_EQ(sent.left(start), image.left(start));
    EXPECT_EQ(sent.mid(start + length), image.mid(start + length));
    EXPECT_EQ(sent.mid(start, length),
              "FFF23456007F0000" + QString("00000000").repeated(rule.samples - 2));
    EXPECT_EQ(statusLabel(), "Upload complete");
}

TEST_F(IrFiles, RefusedFileLeavesTheLoadedResponse) {
    ASSERT_TRUE(writeWav(wav("good.wav"), SF_FORMAT_PCM_32,
                         std::vector<std::int32_t>(static_cast<std::size_t>(rule.samples), 0x100)));
    {
        QFile text(wav("notes.wav"));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("not a sound file\n");
    }
    ASSERT_TRUE(writeWav(wav("short.wav"), SF_FORMAT_PCM_24,
                         std::vector<std::int32_t>(static_cast<std::size_t>(rule.samples) - 1, 0)));
    select("Impulse Response", Effect);
    loadIr(wav("good.wav"));
    const QString loaded = main->impulseResponseImage(Effect);
    ASSERT_FALSE(loaded.isEmpty());
    for (const char* name : {"notes.wav", "short.wav"}) {
        dialogs.clear();
        loadIr(wav(name));
        EXPECT_EQ(dialogs.errors.size(), 1) << name;
        EXPECT_TRUE(dialogs.messages.isEmpty()) << name;
        EXPECT_EQ(main->impulseResponseImage(Effect), loaded) << name;
    }
    dialogs.clear();
    trigger("Load IR"); // cancelled
    EXPECT_TRUE(dialogs.errors.isEmpty() && dialogs.messages.isEmpty());
    EXPECT_EQ(main->impulseResponseImage(Effect), loaded);
}

// The response goes to the chosen bank like any effect: without the bank's
// command it would replace the preset slot's effect.
TEST_F(IrFiles, InBankModeTheResponseGoesToTheChosenBank) {
    ASSERT_TRUE(writeWav(wav("cab.wav"), SF_FORMAT_PCM_24,
                         std::vector<std::int32_t>(static_cast<std::size_t>(rule.samples), 0x100)));
    trigger("FX Bank Mode");
    checkBank(1);
    select("Impulse Response", Effect);
    loadIr(wav("cab.wav"));
    ASSERT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
    const QString loaded = main->impulseResponseImage(Effect);
    ASSERT_FALSE(loaded.isEmpty());
    pedal.clearWrites();
    click("Upload Selected Effect");
    settle();
    // The bank's command and the image; reading the pedal back follows.
    ASSERT_GE(pedal.writes().size(), 2);
    const QString sent = pedal.writes()[1];
    EXPECT_EQ(sent.left(2), "0F") << "Bank II's command";
    EXPECT_TRUE(sent.mid(2) == loaded.mid(2)) << "the loaded response follows it";
    EXPECT_EQ(pedalStatus("effect.slot"), "bank1");
    EXPECT_EQ(pedalStatus("effect.number").toInt(), effectNumber(Effect));
    EXPECT_EQ(statusLabel(), "Upload complete");
}

} // namespace
} // namespace kestra::test
