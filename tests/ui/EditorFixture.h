// The whole editor on the virtual pedal: the stand-in library is bound by
// KESTRA_D2XX_LIBRARY exactly as a user would point the editor at a library.
// Tests use the windows as a player or a screen reader does: controls are
// found by their accessible names, menu entries by their text.
#pragma once

#include "app/EditorApplication.h"
#include "core/MakerSite.h"
#include "core/UserFolders.h"
#include "tests/support/StatusLine.h"
#include "tests/support/TestClock.h"
#include "tests/support/TestDialogs.h"
#include "tests/support/VirtualPedalControl.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace kestra::test {

// The control of window whose accessible name is name (exactly one).
template <typename W = QWidget>
W* control(QWidget* window, const QString& name) {
    W* found = nullptr;
    for (W* widget : window->findChildren<W*>()) {
        if (widget->accessibleName() != name)
            continue;
        EXPECT_EQ(found, nullptr) << "two controls named " << name.toStdString();
        found = widget;
    }
    EXPECT_NE(found, nullptr) << "no control named " << name.toStdString();
    return found;
}

class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("KESTRA_D2XX_LIBRARY", virtualD2xxPath().toUtf8());
        // The editor's settings and presets go to a documents folder of the test's own.
        setDocumentsFolder(documents.path());
        // Nothing listens there: the editor never reaches the real web site.
        setMakerSite(QStringLiteral("http://127.0.0.1:1"));
        pedal.command("reset");
        // The pedal's line runs on the test's clock, at line time both ways.
        clock.onTimeChange([this](qint64 ms) { pedal.setClock(ms); });
        pedal.command("timing on");
        prepare();
        editor = std::make_unique<EditorApplication>(false);
        editor->completeStartup();
        main = &editor->mainWindow();
    }
    void TearDown() override {
        editor.reset();
        clock.onTimeChange(nullptr);
        pedal.command("reset");
        setDocumentsFolder(QString());
        setMakerSite(QString());
    }
    // Runs before the editor starts, for scenarios that need a pedal state.
    virtual void prepare() {}

    // Lets the clock run until no operation is left, then a moment more for
    // what the pedal sends on its own to arrive.
    void settle() {
        EXPECT_TRUE(clock.runUntil([this] { return connection().operation().isEmpty(); }))
            << "an operation never ended";
        clock.advance(100);
    }

    Connection& connection() { return editor->connection(); }
    QAbstractButton* button(const QString& name) { return control<QAbstractButton>(main, name); }
    // A menu entry of the main window by its text (the first one found).
    QAction* action(const QString& text) {
        for (QAction* a : main->menuBar()->findChildren<QAction*>()) {
            if (a->text() == text)
                return a;
        }
        ADD_FAILURE() << "no menu entry " << text.toStdString();
        return nullptr;
    }
    // Clicks a button as a player does: nothing happens while it is disabled.
    void click(const QString& name) {
        if (QAbstractButton* b = button(name))
            b->click();
    }
    void trigger(const QString& text) {
        if (QAction* a = action(text))
            a->trigger();
    }
    void link() {
        trigger("Link");
        settle();
    }
    // Unlink, and a moment for Live off to leave before the device closes.
    void unlink() {
        trigger("Unlink");
        bool closed = false;
        connection().whenClosed([&closed] { closed = true; });
        EXPECT_TRUE(clock.runUntil([&closed] { return closed; })) << "the device never closed";
    }
    QString deviceLabel() { return main->findChild<QLabel*>("deviceName")->text(); }
    // The status line's whole text (a long one is cut on screen, whole in
    // its tooltip).
    QString statusLabel() { return statusLine(*main); }
    QListWidget* list(const QString& name) { return control<QListWidget>(main, name); }
    void chooseCategory(const QString& category) {
        QListWidget* categories = list("Categories");
        const auto items = categories->findItems(category, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << category.toStdString();
        emit categories->itemClicked(items[0]);
    }
    void chooseEffect(const QString& effect) {
        QListWidget* effects = list("Effects");
        const auto items = effects->findItems(effect, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << effect.toStdString();
        emit effects->itemClicked(items[0]);
    }
    void select(const QString& category, const QString& effect) {
        chooseCategory(category);
        chooseEffect(effect);
    }
    QString log() const { return editor->console().logText(); }
    // Timers still waiting once the console has shown what was logged (its
    // own short wait is no work of the link's).
    int waitingTimers() {
        log();
        return clock.activeTimers();
    }
    // A key=value line of the pedal's status.
    QString pedalStatus(const QString& key) {
        for (const QString& line : pedal.command("status").split('\n'))
            if (line.startsWith(key + '='))
                return line.mid(key.size() + 1);
        return {};
    }

    QTemporaryDir documents;
    TestClock clock;
    TestDialogs dialogs;
    VirtualPedalControl pedal;
    std::unique_ptr<EditorApplication> editor;
    MainWindow* main = nullptr;
};

} // namespace kestra::test
