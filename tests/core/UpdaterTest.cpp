#include "ui/Updater.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kestra {
namespace {

std::vector<std::string> texts(const QStringList& list) {
    std::vector<std::string> out;
    for (const QString& text : list)
        out.push_back(text.toStdString());
    return out;
}

// Started programs are recorded, never run: the program, then its arguments.
class UpdaterTest : public testing::Test {
protected:
    void SetUp() override {
        setProgramStarter([this](const QString& program, const QStringList& arguments) {
            started = QStringList{program} + arguments;
            return true;
        });
    }
    void TearDown() override { setProgramStarter({}); }

    QStringList started;
};

TEST_F(UpdaterTest, EachPathArrivesAsOneArgument) {
    // Quotes and spaces are legal in Linux paths; a quoted parameter text
    // split again loses the quotes or cuts the path at them.
    QTemporaryDir folder(QDir::tempPath() + "/updater \"test\" XXXXXX");
    ASSERT_TRUE(folder.isValid());
    const QString updater = folder.filePath("KESTRA_Win_Updater.exe");
    QFile file(updater);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString target = "/tmp/my \"temp\"/KESTRA_Editor_Update.exe";
    const QString editor = "/opt/Kestra's \"Editor\"/kestra-editor";

    ASSERT_TRUE(runUpdaterElevated(updater, target, editor));
    // pkexec, where installed, runs the updater as its first argument.
    const qsizetype at = started.indexOf(updater);
    ASSERT_GE(at, 0) << testing::PrintToString(texts(started));
    EXPECT_EQ(texts(started.mid(at + 1)), texts({target, editor}));
}

TEST_F(UpdaterTest, MissingUpdaterIsNotStarted) {
    QTemporaryDir folder;
    EXPECT_FALSE(
        runUpdaterElevated(folder.filePath("KESTRA_Win_Updater.exe"), "/tmp/a.exe", "/opt/b"));
    EXPECT_TRUE(started.isEmpty());
}

} // namespace
} // namespace kestra
