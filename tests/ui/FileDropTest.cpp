// Files dropped on the main window and the parameter window take the
// menus' own paths: Load IR, Load Configuration, Restore from Backup; any
// other file is refused with what can be dropped.
#include "PedalFixture.h"
#include "ir/IrLoader.h"
#include "tests/ir/WavFiles.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

namespace kestra::test {
namespace {

const QString IrEffect = "Cabprint 4x12";
const QString Stored = "Wobblecat Trem";

class FileDropTest : public PedalFixture {
protected:
    void SetUp() override {
        PedalFixture::SetUp();
        if (const QString m = missing({IrEffect, Stored}); !m.isEmpty())
            GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
        link();
        putOnPedal("Modulation", Stored);
    }
    QString file(const QString& name) const { return documents.filePath(name); }
    // Drops paths on window as a file manager does; whether it took them.
    bool drop(QWidget* window, const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        const QPoint at = window->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &dropped);
        settle();
        return dropped.isAccepted();
    }
};

TEST_F(FileDropTest, AWavFileLoadsAsLoadIrDoesOnEitherWindow) {
    const IrRule rule = *irRuleFor(IrEffect);
    std::vector<std::int32_t> samples(static_cast<std::size_t>(rule.samples), 0x10000000);
    ASSERT_TRUE(writeWav(file("cab.wav"), SF_FORMAT_PCM_24, samples));
    select("Impulse Response", IrEffect);
    for (QWidget* window :
         {static_cast<QWidget*>(main), static_cast<QWidget*>(&parameterWindow())}) {
        SCOPED_TRACE(window->objectName().toStdString());
        dialogs.clear();
        EXPECT_TRUE(drop(window, {file("cab.wav")}));
        EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_TRUE(dialogs.messages[0].startsWith("Selected file data:\r\nName: cab.wav"));
        EXPECT_FALSE(main->impulseResponseImage(IrEffect).isEmpty());
    }
    // An effect without one refuses it as the menu's path does.
    select("Modulation", Stored);
    dialogs.clear();
    drop(main, {file("cab.wav")});
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("takes no impulse response"));
}

TEST_F(FileDropTest, APresetFileLoadsAsLoadConfigurationDoes) {
    const QString path = documents.path() + "/Quorvane/Kestra/Preset/wobble.txt";
    setSlider("Depth", 700);
    settle();
    dialogs.files.push_back(path);
    trigger("Save Configuration");
    settle();
    ASSERT_TRUE(QFile::exists(path)) << dialogs.errors.join('|').toStdString();
    setSlider("Depth", 10);
    settle();
    dialogs.clear();
    EXPECT_TRUE(drop(&parameterWindow(), {path}));
    EXPECT_EQ(statusLabel(), "File loaded successfully: " + path);
    EXPECT_EQ(slider("Depth"), 700);
    EXPECT_EQ(pedalValue(1), 700);
}

TEST_F(FileDropTest, ABackupOffersRestore) {
    dialogs.files = {file("pedal")};
    trigger("Back Up Pedal…");
    settle();
    ASSERT_TRUE(QFile::exists(file("pedal.kbackup"))) << dialogs.errors.join('|').toStdString();
    dialogs.clear();
    dialogs.answers = {false};
    pedal.clearWrites();
    EXPECT_TRUE(drop(main, {file("pedal.kbackup")}));
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.questions[0].startsWith("Restore the backup of"));
    EXPECT_TRUE(pedal.writes().isEmpty()) << "No restores nothing";
}

TEST_F(FileDropTest, AnythingElseIsRefusedWithWhatCanBeDropped) {
    QFile other(file("notes.pdf"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    const struct {
        const char* what;
        QStringList paths;
        const char* says;
    } cases[] = {
        {"another kind", {file("notes.pdf")}, "cannot take \"notes.pdf\""},
        {"two files", {file("a.wav"), file("b.txt")}, "2 files were dropped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dialogs.clear();
        pedal.clearWrites();
        drop(main, c.paths);
        ASSERT_EQ(dialogs.errors.size(), 1);
        EXPECT_TRUE(dialogs.errors[0].contains(c.says)) << dialogs.errors[0].toStdString();
        EXPECT_TRUE(dialogs.errors[0].contains("a WAV file")) << "says what can be dropped";
        EXPECT_TRUE(pedal.writes().isEmpty());
    }
}

} // namespace
} // namespace kestra::test
