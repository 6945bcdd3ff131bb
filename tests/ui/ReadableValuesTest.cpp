// What a player reads in the parameter window of the effect on the pedal:
// each knob's level beside it in percent, steps a hand can use from the
// keyboard, switches that say on or off, selector names in full, the effect
// named in the window, and routing whose codes are spelled out for the eye
// and for a screen reader.
#include "PedalFixture.h"
#include "core/Settings.h"
#include "ui/ParameterWindow.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QTest>

namespace kestra::test {
namespace {

const QString Stored = "Wobblecat Trem"; // Rate, Depth, Level, Tap button, Shape selector
const QString Drive = "Grizzle Drive";   // three knobs and the Bright switch
const QString Pad = "Glasswave Pad";     // five knobs and a selector with a long name

class ReadableValuesTest : public PedalFixture {
protected:
    void SetUp() override {
        PedalFixture::SetUp();
        if (const QString m = missing({Stored}); !m.isEmpty())
            GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
        link();
        putOnPedal("Modulation", Stored);
        pedal.clearWrites();
    }
    // The level label beside the track bar named name.
    QLabel* levelBeside(const QString& name) {
        auto* bar = parameter<QSlider>(name);
        if (!bar)
            return nullptr;
        for (QLabel* label : parameterWindow().findChildren<QLabel*>("value"))
            if (label->y() == bar->y() && label->x() > bar->x())
                return label;
        ADD_FAILURE() << "no level beside " << name.toStdString();
        return nullptr;
    }
    QLabel* labelShowing(const QString& text) {
        for (QLabel* label : parameterWindow().findChildren<QLabel*>())
            if (label->text() == text)
                return label;
        ADD_FAILURE() << "no label " << text.toStdString();
        return nullptr;
    }
};

TEST_F(ReadableValuesTest, EachKnobShowsItsLevelBesideItInPercent) {
    EXPECT_TRUE(action("Show Track Bar Values")->isChecked()) << "shown from the first start";
    setSlider("Depth", 512);
    settle();
    QLabel* level = levelBeside("Depth");
    ASSERT_NE(level, nullptr);
    EXPECT_TRUE(level->isVisibleTo(&parameterWindow()));
    EXPECT_EQ(level->text(), "50 %");
    auto* depth = parameter<QSlider>("Depth");
    EXPECT_EQ(depth->toolTip(), "512 (50 %)");
    EXPECT_EQ(depth->accessibleDescription(), "512 (50 %)");
    EXPECT_EQ(pedalValue(1), 512);

    // The setting hides the column and keeps the choice for the next start.
    trigger("Show Track Bar Values");
    EXPECT_FALSE(level->isVisibleTo(&parameterWindow()));
    EXPECT_EQ(depth->toolTip(), "512 (50 %)") << "the tooltip keeps the level";
    QFile file(settings::valueColumnFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "NO");
}

// The keys a player reaches for, each step on the pedal as it is taken.
TEST_F(ReadableValuesTest, KeysMoveAKnobByOneAndTenPercentAndToEitherEnd) {
    auto* rate = parameter<QSlider>("Rate");
    ASSERT_NE(rate, nullptr);
    setSlider("Rate", 0);
    settle();
    struct Step {
        Qt::Key key;
        int level;
        const char* percent;
    };
    const Step steps[] = {
        {Qt::Key_Right, 10, "1 %"},  {Qt::Key_Right, 20, "2 %"},   {Qt::Key_PageUp, 122, "12 %"},
        {Qt::Key_Left, 112, "11 %"}, {Qt::Key_End, 1023, "100 %"}, {Qt::Key_PageDown, 921, "90 %"},
        {Qt::Key_Home, 0, "0 %"},
    };
    for (const Step& step : steps) {
        QTest::keyClick(rate, step.key);
        settle();
        EXPECT_EQ(rate->value(), step.level) << step.percent;
        EXPECT_EQ(levelBeside("Rate")->text(), step.percent);
        EXPECT_EQ(pedalValue(0), step.level) << step.percent;
    }
}

TEST_F(ReadableValuesTest, TheWindowNamesItsEffect) {
    auto* name = parameterWindow().findChild<QLabel*>("effectName");
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(name->text().startsWith(Stored)) << name->text().toStdString();
    EXPECT_EQ(name->text(), parameterWindow().windowTitle()) << "as the title names it";
    EXPECT_TRUE(name->isVisibleTo(&parameterWindow()));
    EXPECT_GE(parameterWindow().rowsArea()->mapTo(&parameterWindow(), QPoint()).y(),
              name->geometry().bottom())
        << "above the rows";
}

TEST_F(ReadableValuesTest, ASwitchSaysWhetherItIsOnOrOff) {
    if (!inCatalogue(Drive))
        GTEST_SKIP() << "Grizzle Drive is not in the compiled catalogue";
    putOnPedal("Gain", Drive);
    auto* bright = parameter<ToggleSwitch>("Bright");
    ASSERT_NE(bright, nullptr);
    EXPECT_EQ(bright->accessibleDescription(), "Off");
    bright->click();
    settle();
    EXPECT_EQ(bright->accessibleDescription(), "On");
    EXPECT_EQ(bright->toolTip(), "On");
    EXPECT_NE(labelShowing("ON"), nullptr);
}

TEST_F(ReadableValuesTest, ALongSelectorNameWrapsToItsFullText) {
    if (!inCatalogue(Pad))
        GTEST_SKIP() << "Glasswave Pad is not in the compiled catalogue";
    select("Synthesis", Pad);
    const QString name = "Pad voicing (harmonic series above the note)";
    QLabel* label = labelShowing(name);
    ASSERT_NE(label, nullptr);
    ASSERT_TRUE(label->wordWrap());
    EXPECT_GE(label->height(), label->heightForWidth(label->width())) << "every line shown";
    EXPECT_GT(label->height(), 20);
    // The rows below make room for it.
    auto* bypass = parameter<QWidget>("Bypass Toggle");
    ASSERT_NE(bypass, nullptr);
    EXPECT_GT(bypass->y(), label->geometry().bottom());
}

// Every pick box spells out its codes, and a screen reader, which reads a
// pick box by its entry alone, hears what the box routes in its description.
TEST_F(ReadableValuesTest, RoutingSpellsOutItsCodes) {
    pick("Rate source", "KII");
    pick("Depth source", "EXP");
    pick("Bypass Toggle", "FS");
    pick("LFO LED", "RED");
    settle();
    struct Case {
        const char* box;
        const char* description;
    };
    const Case cases[] = {
        {"Rate source", "Pedal source of Rate: KII, knob II"},
        {"Depth source", "Pedal source of Depth: EXP, expression pedal"},
        {"Bypass Toggle", "Footswitch of Bypass Toggle: FS, footswitch"},
        {"LFO LED", "LED that shows LFO: RED, red LED"},
    };
    for (const Case& c : cases) {
        auto* box = parameter<QComboBox>(c.box);
        ASSERT_NE(box, nullptr) << c.box;
        EXPECT_EQ(box->accessibleDescription(), c.description);
        // Each entry explains itself while the list is open.
        for (int k = 0; k < box->count(); ++k)
            EXPECT_FALSE(box->itemData(k, Qt::ToolTipRole).toString().isEmpty())
                << c.box << " " << box->itemText(k).toStdString();
    }
    const QString tip = parameter<QComboBox>("Rate source")->toolTip();
    for (const char* spelled : {"KI = knob I", "KV = knob V", "B1 = switch B1", "FS = footswitch",
                                "RMT = remote switch", "EXP = expression pedal", "-- = none"})
        EXPECT_TRUE(tip.contains(spelled)) << spelled << " in " << tip.toStdString();
    const QString ledTip = parameter<QComboBox>("LFO LED")->toolTip();
    for (const char* spelled : {"SX = left LED", "DX = right LED", "GREEN = green LED"})
        EXPECT_TRUE(ledTip.contains(spelled)) << spelled << " in " << ledTip.toStdString();
    auto* reverse = parameter<QCheckBox>("Rate reverse");
    ASSERT_NE(reverse, nullptr);
    EXPECT_FALSE(reverse->toolTip().isEmpty());
    EXPECT_TRUE(reverse->accessibleDescription().contains("Rate"));

    // The pedal's own routing, read back, is described the same way.
    click("Assign");
    settle();
    request();
    EXPECT_EQ(parameter<QComboBox>("Depth source")->accessibleDescription(),
              "Pedal source of Depth: EXP, expression pedal");
}

TEST_F(ReadableValuesTest, ColumnsHaveHeaders) {
    QStringList headers;
    for (QLabel* label : parameterWindow().findChildren<QLabel*>("columnHeader")) {
        headers << label->text();
        EXPECT_FALSE(label->toolTip().isEmpty()) << label->text().toStdString();
    }
    EXPECT_EQ(headers, QStringList({"Control", "Level (%)", "Pedal source", "Reverse"}));
    EXPECT_NE(labelShowing("LED"), nullptr);
    EXPECT_NE(labelShowing("Readback"), nullptr);
}

} // namespace
} // namespace kestra::test
