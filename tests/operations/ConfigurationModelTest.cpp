// Preset files and the parameter model: what a file saves of the effect
// shown, and the frames that loading one gives for what changed.
#include "editor/ParameterModel.h"
#include "operations/Configuration.h"
#include "tests/editor/TestRig.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

using test::Bright;
using test::Drive;
using test::Level;
using test::setAt;
using test::Shape;
using test::Tap;

class ConfigurationModel : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(model.load(test::TestRig, &error, rig.store())) << error.toStdString();
    }

    QStringList applied(const Configuration& c) {
        QStringList texts;
        for (const HexFrame& frame : applyConfiguration(model, c))
            texts << frame.text;
        return texts;
    }

    test::RigCatalogue rig;
    ParameterModel model;
};

TEST_F(ConfigurationModel, SavesTheEffectShownWithUnknownCodesAsNone) {
    model.setPotentiometer(Drive, 700);
    model.setSwitch(Bright, true);
    model.setSelector(Shape, 2);
    model.setSource(Drive, 8);  // FS
    model.setSource(Level, 12); // a code no pick box shows
    model.setSource(Shape, 11); // EXP
    model.setReversed(Shape, true);
    model.setLed(0, 7); // a code no pick box shows
    // Pressed on the pedal: the button's state, not its level, is saved.
    model.applyRealtime({6, Tap, 1024});

    const Configuration c = configurationOf(model, 0x2E, 9);
    EXPECT_EQ(c.effectNumber, 0x2E);
    EXPECT_EQ(c.effectVersion, 9);
    EXPECT_EQ(c.numOfParameters, 5);
    EXPECT_EQ(c.numOfReadbacks, 1);
    EXPECT_EQ(c.values, (std::array<int, 16>{700, 0, 1024, 1024, 512}));
    EXPECT_EQ(c.assignments,
              (std::array<int, 16>{8, 255, 255, 255, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(c.reverse[Shape], 1);
    EXPECT_EQ(c.reverse[Drive], 0);
    EXPECT_EQ(c.leds[0], 255);
}

TEST_F(ConfigurationModel, LoadingGivesTheFramesOfWhatChangedInControlOrder) {
    model.setPotentiometer(Level, 300);
    model.setSource(Level, 0); // KI
    model.setReversed(Level, true);

    Configuration c;
    c.numOfParameters = 5;
    c.numOfReadbacks = 1;
    c.values = {512, 300, 1, 1024, 800};
    c.assignments = {0, 255, 255, 255, 11};
    c.reverse = {1, std::nullopt, 0, 1, 1};
    c.leds = {2};
    EXPECT_EQ(applied(c), QStringList({
                              setAt("0A00", "00400000"), // Drive
                              setAt("0A02", "00800000"), // Bright: any level but 0 is on
                              setAt("0A04", "00600000"), // Shape: 800 is the fourth position
                              "08FF01",                  // Level unassigned, so not reversed
                              "080100",                  // Drive reversed
                              "080103",                  // Tap reversed, without a source
                              "080104",                  // Shape reversed
                          }));
    // Level kept its level; a button is momentary on the pedal. A flag
    // loads as the file says, assigned or not, and saves back the same.
    EXPECT_FALSE(model.buttonOn(Tap));
    EXPECT_TRUE(model.reversed(Tap));
    EXPECT_EQ(model.source(Tap), NoAssignment);
    EXPECT_EQ(configurationOf(model, 1, 1).reverse[Tap], 1);
    EXPECT_EQ(model.source(Level), NoAssignment);
    EXPECT_EQ(model.led(0), 2);

    // The same file again changes nothing.
    EXPECT_TRUE(applied(c).isEmpty());
}

TEST_F(ConfigurationModel, WhatIsSavedLoadsBackIntoANewLoad) {
    model.setPotentiometer(Drive, 1023);
    model.setSelector(Shape, 1);
    model.setSource(Bright, 5); // B1
    model.setReversed(Bright, true);
    model.setLed(0, 3);
    const Configuration saved = configurationOf(model, 1, 1);

    QString error;
    ASSERT_TRUE(model.load(test::TestRig, &error, rig.store()));
    EXPECT_EQ(applied(saved),
              QStringList({setAt("0A00", "007FE000"), setAt("0A04", "00200000"), "080102"}));
    const Configuration again = configurationOf(model, 1, 1);
    EXPECT_EQ(again.values, saved.values);
    EXPECT_EQ(again.assignments, saved.assignments);
    EXPECT_EQ(again.reverse, saved.reverse);
    EXPECT_EQ(again.leds, saved.leds);
}

} // namespace
} // namespace kestra
