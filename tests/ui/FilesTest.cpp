#include "EditorFixture.h"
#include "catalogue/CatalogueLists.h"
#include "catalogue/ResourceNames.h"
#include "editor/TformFXParameters.h"
#include "ir/IrLoader.h"
#include "tests/ir/WavFiles.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSlider>

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

class FilesTest : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        params = editor->formFXParameters.get();
        main->menuConnectClick();
        prompts.clear();
    }

    void select(const QString& category, const QString& effect) {
        emit main->lstCategory->itemClicked(
            main->lstCategory->findItems(category, Qt::MatchExactly).value(0));
        const auto items = main->lstEffects->findItems(effect, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << effect.toStdString();
        emit main->lstEffects->itemClicked(items[0]);
    }
    // Uploads effect, opens it as the stored effect and reads its state.
    void putOnPedal(const QString& category, const QString& effect) {
        select(category, effect);
        main->btnUpload->click();
        poll(3);
        main->btnOpenEffect->click();
        main->btnRequest->click();
        ASSERT_TRUE(main->menuSaveConfiguration->isEnabled())
            << (prompts.errors + prompts.messages).join('|').toStdString();
        prompts.clear();
    }
    QString presetPath(const QString& name) const {
        return documents.path() + "/Quorvane/Kestra/Preset/" + name;
    }
    // Saves under the name the dialog answers with; the path written.
    QString save(const QString& chosen) {
        prompts.files.push_back(chosen.isEmpty() ? QString() : presetPath(chosen));
        main->menuSaveConfiguration->trigger();
        return prompts.messages.isEmpty()
                   ? QString()
                   : prompts.messages.last().mid(QString("File saved successfully: ").size());
    }
    void load(const QString& path) {
        prompts.files.push_back(path);
        main->menuLoadConfiguration->trigger();
    }
    QStringList lines(const QString& path) {
        QByteArray bytes = readAll(path);
        EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
        EXPECT_FALSE(bytes.contains('\n'));
        EXPECT_TRUE(bytes.endsWith('\r'));
        return QString::fromUtf8(bytes.mid(3)).split('\r', Qt::SkipEmptyParts);
    }
    // Every value, source, reverse flag and LED the window shows.
    QStringList shown() {
        QStringList all;
        for (int i = 0; i < params->numOfParameters(); ++i) {
            const auto slot = static_cast<std::size_t>(i);
            if (params->potParameter[slot])
                all << QString::number(params->potParameter[slot]->value());
            if (params->switchParameter[slot])
                all << QString::number(params->switchParameter[slot]->isChecked());
            if (params->multiSwitch[slot])
                all << params->multiSwitch[slot]->currentText();
            all << params->boxAssign[slot]->currentText()
                << QString::number(params->reverseCheckBox[slot]->isChecked());
        }
        for (int k = 0; k < params->numOfReadbacks(); ++k)
            all << params->boxAssignRdbcks[static_cast<std::size_t>(k)]->currentText();
        return all;
    }
    QString status(const QString& key) {
        for (const QString& line : pedal.command("status").split('\n'))
            if (line.startsWith(key + '='))
                return line.mid(key.size() + 1);
        return {};
    }
    QString hex(int value, int width) {
        return QString::number(value, 16).toUpper().rightJustified(width, '0');
    }

    TformFXParameters* params = nullptr;
};

// Gravel X2: four pots, a selector and one readback.
class GravelFiles : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        putOnPedal("Gain", "Gravel X2");
        params->potParameter[0]->setValue(1023);
        params->potParameter[1]->setValue(300);
        params->multiSwitch[4]->setCurrentIndex(2);
        params->boxAssign[0]->setCurrentIndex(0);       // KI
        params->boxAssign[3]->setCurrentIndex(5);       // B1
        params->boxAssignRdbcks[0]->setCurrentIndex(2); // RED
        main->btnAssign->click();
        params->reverseCheckBox[0]->click();
        prompts.clear();
    }
};

TEST_F(GravelFiles, SavedFileHoldsThePedalsStateLineByLine) {
    const QString path = save("gravel");
    ASSERT_EQ(path, presetPath("gravel.txt")) << prompts.errors.join('|').toStdString();
    EXPECT_FALSE(main->btnUpload->isEnabled());
    EXPECT_EQ(prompts.lastDialog.title, "Save Preset File");
    EXPECT_EQ(prompts.lastDialog.fileName, "Gravel X2");
    EXPECT_EQ(prompts.lastDialog.filter, "Preset files (*.txt)");
    EXPECT_EQ(prompts.lastDialog.defaultSuffix, "txt");
    EXPECT_EQ(prompts.lastDialog.folder, documents.path() + "/Quorvane/Kestra/Preset");
    const int n = params->numOfParameters();
    const QStringList expected = {hex(main->state().storedEffectNumber, 4),
                                  hex(main->state().storedEffectVersion, 2),
                                  hex(n, 2),
                                  "007FE000",
                                  hex(300 << 13, 8),
                                  "00000000",
                                  "00000000",
                                  hex((2 * (1024 / params->multiSwitch[4]->count())) << 13, 8),
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
    params->potParameter[0]->setValue(10);
    params->multiSwitch[4]->setCurrentIndex(0);
    params->boxAssign[3]->setCurrentIndex(12);
    params->boxAssignRdbcks[0]->setCurrentIndex(4);
    params->reverseCheckBox[0]->click();
    ASSERT_NE(shown(), saved);
    prompts.clear();

    load(path);
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('|').toStdString();
    EXPECT_EQ(prompts.messages, QStringList{"File loaded successfully: " + path});
    EXPECT_EQ(prompts.lastDialog.title, "Open Preset File");
    EXPECT_EQ(shown(), saved);
    EXPECT_EQ(params->parameterValues[0], 1023);
    EXPECT_EQ(params->parameterAssignments[3], 5);
    EXPECT_EQ(params->reverseParameters[0], 1);
    EXPECT_EQ(params->readbackLEDs[0], 2);
}

TEST_F(GravelFiles, LoadSendsOneFrameForEachControlThatChanges) {
    const QString path = save("gravel");
    pedal.clearWrites();
    load(path);
    EXPECT_TRUE(pedal.writes().isEmpty()) << pedal.writes().join('|').toStdString();

    params->potParameter[1]->setValue(5);
    params->reverseCheckBox[0]->click();
    pedal.clearWrites();
    load(path);
    const QStringList writes = pedal.writes();
    ASSERT_EQ(writes.size(), 2) << writes.join('|').toStdString();
    EXPECT_TRUE(writes[0].startsWith("01" + params->parameterAddresses[1]));
    EXPECT_EQ(writes[1], "080100");
    EXPECT_EQ(status("values").split(',').value(1), "300");
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
        prompts.clear();
        pedal.clearWrites();
        load(presetPath("variant.txt"));
        EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('|').toStdString();
        EXPECT_TRUE(pedal.writes().isEmpty());
    }
}

TEST_F(GravelFiles, FileThatDoesNotFitIsRefusedAndNothingIsApplied) {
    const QString good = QString::fromUtf8(readAll(save("gravel")).mid(3));
    const QStringList before = shown();
    const int number = main->state().storedEffectNumber;
    const int version = main->state().storedEffectVersion;
    const QString otherNumber = hex(number + 1, 4);
    const QString otherVersion = hex(version + 1, 2);
    QString notHex = good;
    notHex.replace("007FE000", "007FG000");
    const std::pair<QString, QString> cases[] = {
        // Another effect, whose version differs as well: the effect is named.
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
        params->potParameter[0]->setValue(3);
        prompts.clear();
        pedal.clearWrites();
        load(presetPath("bad.txt"));
        ASSERT_EQ(prompts.errors.size(), 1) << text.toStdString();
        EXPECT_TRUE(prompts.errors[0].startsWith(error)) << prompts.errors[0].toStdString();
        EXPECT_EQ(params->potParameter[0]->value(), 3);
        EXPECT_TRUE(pedal.writes().isEmpty());
        params->potParameter[0]->setValue(1023);
    }
    EXPECT_EQ(shown(), before);
}

TEST_F(GravelFiles, ChosenNameGetsTheTxtExtensionCaseSensitively) {
    const std::pair<QString, QString> cases[] = {
        {"test", "test.txt"}, {"test.TXT", "test.TXT.txt"}, {"test.txt", "test.txt"}};
    for (const auto& [chosen, written] : cases) {
        prompts.clear();
        EXPECT_EQ(save(chosen), presetPath(written));
        EXPECT_TRUE(QFile::exists(presetPath(written))) << written.toStdString();
    }
}

TEST_F(GravelFiles, CancelledOrFailedSaveLeavesFilesAloneAndUploadDisabled) {
    main->btnUpload->setEnabled(true);
    EXPECT_TRUE(save("").isEmpty());
    EXPECT_TRUE(prompts.errors.isEmpty());
    EXPECT_FALSE(main->btnUpload->isEnabled());
    EXPECT_TRUE(QDir(presetPath("")).isEmpty());

    ASSERT_TRUE(QDir().mkpath(presetPath("taken.txt")));
    EXPECT_TRUE(save("taken").isEmpty());
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].startsWith("Error saving file: "));
    EXPECT_TRUE(QFileInfo(presetPath("taken.txt")).isDir());

    prompts.clear();
    load(presetPath("missing.txt"));
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].startsWith("Error loading file: "));
}

TEST_F(FilesTest, EffectWithoutReadbacksHasNoLedLinesAndKeepsItsSwitch) {
    putOnPedal("Gain", "Grizzle Drive");
    ASSERT_EQ(params->numOfReadbacks(), 0);
    params->switchParameter[3]->setChecked(true);
    const QString path = save("drive");
    const QStringList saved = lines(path);
    const int n = params->numOfParameters();
    ASSERT_EQ(saved.size(), 3 + 3 * n);
    EXPECT_EQ(saved[3 + 3], "00800000");
    params->switchParameter[3]->setChecked(false);
    prompts.clear();
    pedal.clearWrites();
    load(path);
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('|').toStdString();
    EXPECT_TRUE(params->switchParameter[3]->isChecked());
    EXPECT_EQ(pedal.writes().size(), 1);
}

TEST_F(FilesTest, ConfigurationNeedsTheStoredEffectInTheWindow) {
    putOnPedal("Gain", "Gravel X2");
    select("Gain", "Grizzle Drive");
    pedal.clearWrites();
    prompts.files.push_back(presetPath("x.txt"));
    main->menuSaveConfigurationClick();
    main->menuLoadConfigurationClick();
    EXPECT_EQ(prompts.errors.size(), 2);
    EXPECT_TRUE(pedal.writes().isEmpty());
    EXPECT_FALSE(QFile::exists(presetPath("x.txt")));
}

class IrFiles : public FilesTest {
protected:
    QString original() {
        CatalogueLists lists;
        lists.read_file_from_stream(format_resource_name("Cabprint 4x12"));
        return lists.categoryList.value(0);
    }
    QString wav(const QString& name) const { return documents.path() + "/" + name; }
};

TEST_F(IrFiles, LoadedResponseIsUploadedInsideTheEffectsImage) {
    const IrRule rule = *irRuleFor("Cabprint 4x12");
    std::vector<std::int32_t> samples(static_cast<std::size_t>(rule.samples) + 100, 0);
    samples[0] = static_cast<std::int32_t>(0xF2345600);
    samples[1] = 0x7F000000;
    ASSERT_TRUE(writeWav(wav("cab.wav"), SF_FORMAT_PCM_24, samples));
    select("Impulse Response", "Cabprint 4x12");
    ASSERT_TRUE(main->menuLoadIR->isEnabled());
    prompts.clear();
    prompts.files.push_back(wav("cab.wav"));
    main->menuLoadIR->trigger();
    ASSERT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('|').toStdString();
    EXPECT_EQ(prompts.lastDialog.filter, "Wave Files (*.wav)");
    EXPECT_EQ(prompts.messages, QStringList{"Selected file data:\r\nName: cab.wav\r\nSize: " +
                                            QString::number(QFileInfo(wav("cab.wav")).size()) +
                                            "\r\nSample rate: 48000\r\nBits per sample: 24"});

    pedal.clearWrites();
    main->btnUpload->click();
    const QString sent = pedal.writes().value(1);
    const QString image = original();
    const qsizetype start = 2 * rule.byteOffset;
    const qsizetype length = 2 * rule.blockBytes();
    ASSERT_EQ(sent.size(), image.size());
    EXPECT_EQ(sent.left(start), image.left(start));
    EXPECT_EQ(sent.mid(start + length), image.mid(start + length));
    EXPECT_EQ(sent.mid(start, length),
              "FFF23456007F0000" + QString("00000000").repeated(rule.samples - 2));
    poll(3);
    EXPECT_EQ(main->lblStatus->text(), "Upload complete");
}

TEST_F(IrFiles, RefusedFileLeavesTheLoadedResponse) {
    const IrRule rule = *irRuleFor("Cabprint 4x12");
    ASSERT_TRUE(writeWav(wav("good.wav"), SF_FORMAT_PCM_32,
                         std::vector<std::int32_t>(static_cast<std::size_t>(rule.samples), 0x100)));
    ASSERT_TRUE(writeWav(wav("16.wav"), SF_FORMAT_PCM_16,
                         std::vector<std::int32_t>(static_cast<std::size_t>(rule.samples), 0)));
    ASSERT_TRUE(writeWav(wav("short.wav"), SF_FORMAT_PCM_24,
                         std::vector<std::int32_t>(static_cast<std::size_t>(rule.samples) - 1, 0)));
    select("Impulse Response", "Cabprint 4x12");
    prompts.files.push_back(wav("good.wav"));
    main->menuLoadIR->trigger();
    const QString loaded = main->state().irEffectImage;
    ASSERT_FALSE(loaded.isEmpty());
    for (const char* name : {"16.wav", "short.wav"}) {
        prompts.clear();
        prompts.files.push_back(wav(name));
        main->menuLoadIR->trigger();
        EXPECT_EQ(prompts.errors.size(), 1) << name;
        EXPECT_TRUE(prompts.messages.isEmpty()) << name;
        EXPECT_EQ(main->state().irEffectImage, loaded) << name;
    }
    prompts.clear();
    main->menuLoadIR->trigger(); // cancelled
    EXPECT_TRUE(prompts.errors.isEmpty() && prompts.messages.isEmpty());
}

} // namespace
} // namespace kestra::test
