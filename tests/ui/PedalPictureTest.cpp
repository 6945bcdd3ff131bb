// The pedal picture: what each control shows after Request, routing from a
// control's menu and by a dropped parameter name under the pick boxes' own
// rules, the knobs following the pedal, and the built-in virtual pedal's
// front panel.
#include "PedalFixture.h"
#include "ui/PedalWindow.h"

#include <QCheckBox>
#include <QMenu>
#include <QMimeData>
#include <QTest>

namespace kestra::test {
namespace {

using C = PedalControl;
const QString Gravel = "Gravel X2"; // pots Gain, Tone, Level, Tight; Stage selector; readback Clip

class PedalPicture : public PedalFixture {
protected:
    void SetUp() override {
        PedalFixture::SetUp();
        if (const QString m = missing({Gravel}); !m.isEmpty())
            GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
        link();
        putOnPedal("Gain", Gravel);
    }
    PedalWindow& picture() { return editor->pedalWindow(); }
    PedalControlView* on(C c) { return picture().control(c); }
    QString name(C c) { return on(c)->accessibleName(); }
    // Assign as the player does, answering Yes; the frame it sent.
    QString assign() {
        pedal.clearWrites();
        click("Assign");
        settle();
        const QStringList writes = pedal.writes();
        return writes.isEmpty() ? QString() : writes.last();
    }
    // The menu of control as the keyboard opens it, and its entry text.
    QAction* menuEntry(C c, const QString& text) {
        on(c)->setFocus();
        QTest::keyClick(on(c), Qt::Key_Menu);
        for (QAction* a : picture().menu()->actions())
            if (a->text() == text)
                return a;
        ADD_FAILURE() << "no entry " << text.toStdString() << " in " << name(c).toStdString();
        return nullptr;
    }
    void pickFromMenu(C c, const QString& text) {
        if (QAction* a = menuEntry(c, text))
            a->trigger();
    }
    // A parameter row's name dropped on control, as the drag from the
    // parameter window carries it; whether the control took it.
    bool drop(C c, const RoutedItem& item) {
        QMimeData data;
        data.setData(RoutedItemMimeType, item.toText().toUtf8());
        const QPoint at = on(c)->rect().center();
        QDragEnterEvent enter(at, Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(on(c), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(at, Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(on(c), &dropped);
        return dropped.isAccepted();
    }
};

TEST_F(PedalPicture, AfterRequestEachControlShowsWhatThePedalRoutesToIt) {
    EXPECT_EQ(name(C::KnobI), "Knob I: not routed");
    pick("Gain source", "KI");
    pick("Tight source", "B1");
    pick("Level source", "FS");
    pick("Clip LED", "RED");
    pick("Bypass Toggle", "FS");
    pick("Preset Change", "RMT");
    assign();
    parameter<QCheckBox>("Gain reverse")->click();
    settle();
    // Read back from the pedal into a model that starts afresh.
    select("Modulation", "Wobblecat Trem");
    trigger("Edit After Upload"); // off: Get FX reads the effect alone
    getStored();
    EXPECT_EQ(name(C::KnobI), "Knob I: not routed") << "nothing known before Request";
    request();

    const struct {
        C control;
        const char* name;
    } expected[] = {
        {C::KnobI, "Knob I: Gain (reversed)"},
        {C::KnobII, "Knob II: not routed"},
        {C::SwitchB1, "Switch B1: Tight"},
        {C::FootswitchFS, "Footswitch FS: Level, Bypass Toggle"},
        {C::Remote, "Remote footswitch RMT: Preset Change"},
        {C::LedRed, "LED RED: Clip"},
        {C::LedSX, "LED SX: not routed"},
        {C::Expression, "Expression input EXP: not routed"},
    };
    for (const auto& e : expected)
        EXPECT_EQ(name(e.control), e.name);
    EXPECT_TRUE(on(C::LedRed)->look().lit);
    EXPECT_FALSE(on(C::LedSX)->look().lit);
    EXPECT_EQ(picture().windowTitle(), "Pedal - " + Gravel);
}

// The menu (reached from the keyboard) and a drop route as the pick box
// does: the same model, marker, undo step and Assign frame.
TEST_F(PedalPicture, MenuAndDropRouteAsThePickBoxDoes) {
    pick("Tone source", "KII");
    const QString byPickBox = assign();
    ASSERT_TRUE(byPickBox.startsWith("04")) << byPickBox.toStdString();
    parameterWindow().undo();
    ASSERT_EQ(picked("Tone source"), "--");

    const struct {
        const char* how;
        std::function<void()> route;
    } ways[] = {
        {"menu", [this] { pickFromMenu(C::KnobII, "Tone"); }},
        {"drop", [this] { EXPECT_TRUE(drop(C::KnobII, RoutedItem::parameter(1))); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        way.route();
        EXPECT_EQ(picked("Tone source"), "KII");
        EXPECT_EQ(name(C::KnobII), "Knob II: Tone");
        EXPECT_TRUE(parameterWindow().windowTitle().endsWith(" *")) << "edited, not stored";
        EXPECT_EQ(assign(), byPickBox);
        parameterWindow().undo();
        EXPECT_EQ(picked("Tone source"), "--");
        EXPECT_EQ(name(C::KnobII), "Knob II: not routed");
    }
    // A checked entry takes the parameter off again.
    pickFromMenu(C::KnobII, "Tone");
    pickFromMenu(C::KnobII, "Tone");
    EXPECT_EQ(picked("Tone source"), "--");
}

TEST_F(PedalPicture, WhatMayGoWhereIsThePickBoxesRule) {
    EXPECT_FALSE(drop(C::LedDX, RoutedItem::parameter(0))) << "a parameter on an LED";
    EXPECT_FALSE(drop(C::KnobI, RoutedItem::readback(0))) << "a readback on a knob";
    EXPECT_FALSE(drop(C::KnobIII, RoutedItem::bypass())) << "bypass on a knob";
    EXPECT_TRUE(drop(C::Remote, RoutedItem::bypass()));
    EXPECT_EQ(picked("Bypass Toggle"), "RMT");
    // One readback an LED, whichever way it was put there.
    EXPECT_TRUE(drop(C::LedGreen, RoutedItem::readback(0)));
    EXPECT_EQ(picked("Clip LED"), "GREEN");
    EXPECT_EQ(name(C::LedGreen), "LED GREEN: Clip");
    pick("Clip LED", "SX");
    EXPECT_EQ(name(C::LedGreen), "LED GREEN: not routed");
    EXPECT_EQ(name(C::LedSX), "LED SX: Clip");
}

TEST_F(PedalPicture, InBankModeTheFootswitchesKeepBypassAndBankSteps) {
    if (!inCatalogue("Wobblecat Trem"))
        GTEST_SKIP() << "Wobblecat Trem is not in the compiled catalogue";
    trigger("FX Bank Mode");
    checkBank(2);                               // the pedal then plays bank III
    putOnPedal("Modulation", "Wobblecat Trem"); // small enough for a bank
    ASSERT_TRUE(main->bankMode());
    EXPECT_EQ(name(C::FootswitchFS), "Footswitch FS: Bypass Toggle");
    EXPECT_EQ(name(C::FootswitchFL), "Footswitch FL: Preset Change");
    EXPECT_FALSE(drop(C::Remote, RoutedItem::bypass()));
    QAction* bypass = menuEntry(C::Remote, "Bypass Toggle");
    ASSERT_TRUE(bypass);
    EXPECT_FALSE(bypass->isEnabled());
    QAction* moved = menuEntry(C::FootswitchFS, "Bypass Toggle");
    ASSERT_TRUE(moved);
    EXPECT_TRUE(moved->isChecked());
    EXPECT_FALSE(moved->isEnabled()) << "nor taken off FS";
    EXPECT_TRUE(drop(C::Remote, RoutedItem::parameter(0))) << "parameters still go anywhere";
    EXPECT_TRUE(assign().endsWith("0809"));
}

TEST_F(PedalPicture, TheKnobFollowsEditsUndoAndThePedal) {
    pick("Gain source", "KI");
    assign();
    const struct {
        const char* what;
        std::function<void()> step;
        int level;
    } steps[] = {
        {"the pedal's knob", [this] { pedal.command("knob 1 700"); }, 700},
        {"the track bar", [this] { setSlider("Gain", 200); }, 200},
        {"undo", [this] { parameterWindow().undo(); }, 700},
        {"redo", [this] { parameterWindow().redo(); }, 200},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        s.step();
        settle();
        EXPECT_EQ(on(C::KnobI)->look().level, s.level);
        EXPECT_EQ(slider("Gain"), s.level);
    }
    EXPECT_EQ(on(C::KnobII)->look().level, std::nullopt) << "nothing on it";
}

// The picture is the built-in virtual pedal's front panel: the editor
// hears it as it would hear hardware.
class FrontPanelTest : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        editor.reset();
        editor = std::make_unique<EditorApplication>(false, BackendOptions{true, QString()});
        editor->completeStartup();
        main = &editor->mainWindow();
        if (!inCatalogue(Gravel))
            GTEST_SKIP() << Gravel.toStdString() << " is not in the compiled catalogue";
    }
    PedalControlView* on(C c) { return editor->pedalWindow().control(c); }
    QString virtualPedal(const QString& command) {
        return editor->backends().virtualPedal().command(command).value_or("<refused>");
    }
};

TEST_F(FrontPanelTest, AKnobTurnedOnThePanelArrivesAsFromThePedal) {
    EXPECT_TRUE(on(C::KnobI)->frontPanel());
    link();
    select("Gain", Gravel);
    click("Upload Selected Effect");
    settle();
    click("Get FX Stored on Pedal");
    settle();
    click("Request");
    settle();
    auto* gain = control<QComboBox>(&editor->parameterWindow(), "Gain source");
    gain->setCurrentIndex(gain->findText("KI"));
    click("Assign");
    settle();

    on(C::KnobI)->setFocus();
    QTest::keyClick(on(C::KnobI), Qt::Key_End);
    settle();
    EXPECT_EQ(control<QSlider>(&editor->parameterWindow(), "Gain")->value(), 1023);
    EXPECT_EQ(on(C::KnobI)->look().level, 1023);
    QTest::keyClick(on(C::KnobI), Qt::Key_PageDown);
    settle();
    EXPECT_EQ(control<QSlider>(&editor->parameterWindow(), "Gain")->value(), 1023 - 128);
    EXPECT_TRUE(virtualPedal("status").contains("values=895,")) << "the pedal's own level";
}

// The effect and bank picked on the panel are the pedal's own choice.
TEST_F(FrontPanelTest, TheEffectAndBankPickedOnThePanelReachThePedal) {
    link();
    auto* effects = control<QComboBox>(&editor->pedalWindow(), "Effect on the pedal");
    ASSERT_TRUE(effects->isEnabled());
    const int row = effects->findText(Gravel);
    ASSERT_GE(row, 0);
    effects->setCurrentIndex(row);
    emit effects->activated(row);
    settle();
    EXPECT_TRUE(virtualPedal("status").contains(
        QStringLiteral("effect.number=%1\n").arg(effectNumber(Gravel))));
    control<QAbstractButton>(&editor->pedalWindow(), "Pedal bank II")->click();
    settle();
    EXPECT_TRUE(virtualPedal("status").contains("\nbank=1\n"));
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
}

TEST_F(FrontPanelTest, NeverForRealHardware) {
    editor.reset();
    editor = std::make_unique<EditorApplication>(false);
    editor->completeStartup();
    main = &editor->mainWindow();
    EXPECT_FALSE(on(C::KnobI)->frontPanel());
    EXPECT_FALSE(main->enabled().frontPanel);
}

// B2 stays down on the panel while the player answers the question, so the
// pedal starts its bootloader and a whole firmware upgrade goes through.
TEST_F(FrontPanelTest, HoldingB2LetsAFirmwareUpgradeComplete) {
    link();
    on(C::SwitchB2)->setFocus();
    QTest::keyClick(on(C::SwitchB2), Qt::Key_Space);
    EXPECT_EQ(on(C::SwitchB2)->look().on, true);
    trigger("Upgrade Mode");
    settle();
    ASSERT_EQ(connection().state(), Connection::State::Bootloader)
        << dialogs.errors.join('|').toStdString();
    QTest::keyClick(on(C::SwitchB2), Qt::Key_Space); // let go, as the message says
    EXPECT_EQ(on(C::SwitchB2)->look().on, false);

    trigger("Start Firmware Upgrade");
    auto* images = control<QComboBox>(&editor->firmwareWindow(), "Firmware");
    images->setCurrentIndex(images->findData("Firmware_2"));
    dialogs.clear();
    control<QAbstractButton>(&editor->firmwareWindow(), "Upgrade Firmware")->click();
    settle();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
    EXPECT_EQ(dialogs.messages,
              QStringList({"Firmware Upgrade Complete, device will now restart"}));
    EXPECT_EQ(connection().state(), Connection::State::Linked);
    EXPECT_TRUE(virtualPedal("status").contains("firmware=2"));
}

} // namespace
} // namespace kestra::test
