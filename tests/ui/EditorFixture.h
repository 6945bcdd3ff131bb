// The whole editor on the virtual pedal: the stand-in library is bound by
// KESTRA_D2XX_LIBRARY exactly as a user would point the editor at a library.
#pragma once

#include "app/KestraApplication.h"
#include "core/MakerSite.h"
#include "core/UserFolders.h"
#include "tests/support/TestClock.h"
#include "tests/support/TestDialogs.h"
#include "tests/support/VirtualPedalControl.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace kestra::test {

class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("KESTRA_D2XX_LIBRARY", virtualD2xxPath().toUtf8());
        // The editor's settings and presets go to a documents folder of the test's own.
        setDocumentsFolder(documents.path());
        // Nothing listens there: the editor never reaches the real web site.
        setMakerSite(QStringLiteral("http://127.0.0.1:1"));
        pedal.command("reset");
        prepare();
        editor = std::make_unique<KestraApplication>(false);
        main = editor->formMain.get();
    }
    void TearDown() override {
        editor.reset();
        pedal.command("reset");
        setDocumentsFolder(QString());
        setMakerSite(QString());
    }
    // Runs before the editor starts, for scenarios that need a pedal state.
    virtual void prepare() {}

    // Runs n ticks of the background receive.
    void poll(int ticks = 1) {
        for (int i = 0; i < ticks; ++i)
            main->Timer_USB_readTimer();
    }
    QString log() const { return editor->formPrint->logText(); }

    QTemporaryDir documents;
    TestClock clock;
    TestDialogs prompts;
    VirtualPedalControl pedal;
    std::unique_ptr<KestraApplication> editor;
    TformMain* main = nullptr;
};

} // namespace kestra::test
