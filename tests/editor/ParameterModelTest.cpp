// The parameter model: the frame each edit gives, the routing, the pedal's
// answer to Request and what the pedal reports moved. Effects come from a
// throw-away catalogue whose addresses are known, so every frame can be read
// in the test, and from the compiled catalogue where a real effect shows the
// case (skipped when this build's catalogue does not hold it).
#include "editor/ParameterModel.h"

#include "catalogue/EffectImage.h"
#include "catalogue/ResourceNames.h"
#include "tests/editor/TestRig.h"

#include <functional>
#include <gtest/gtest.h>

namespace kestra {
namespace {

using test::Bright;
using test::Drive;
using test::Level;
using test::setAt;
using test::Shape;
using test::Tap;
using test::TestRig;

QString textOf(const std::optional<HexFrame>& frame) {
    return frame ? frame->text : QStringLiteral("(nothing)");
}

class RigModel : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(model.load(TestRig, &error, rig.store())) << error.toStdString();
    }

    test::RigCatalogue rig;
    ParameterModel model;
    QString error;
};

// Effects of the compiled catalogue, named as the player sees them.
class CompiledEffect : public ::testing::Test {
protected:
    // Loads effect; false when the test cannot go on (skipped or failed).
    bool open(const QString& effect) {
        if (!ResourceStore::compiled().contains(format_resource_name(effect))) {
            [&] { GTEST_SKIP() << effect.toStdString() << " is not in the compiled catalogue"; }();
            return false;
        }
        QString error;
        const bool loaded = model.load(effect, &error);
        EXPECT_TRUE(loaded) << error.toStdString();
        effect_ = effect;
        return loaded;
    }

    // The Set parameter frame for parameter index, its address read from
    // the image itself.
    QString setFrame(int index, const char* value) const {
        const QByteArray image = *ResourceStore::compiled().find(format_resource_name(effect_));
        return QStringLiteral("01") + parameterAddress(QString::fromLatin1(image), index) +
               QLatin1String(value);
    }

    ParameterModel model;

private:
    QString effect_;
};

struct EditCase {
    const char* name;
    std::function<std::optional<HexFrame>(ParameterModel&)> edit;
    QString frame; // empty: the edit gives nothing
    int parameter;
    int level; // the parameter's level afterwards
};

void PrintTo(const EditCase& c, std::ostream* os) {
    *os << c.name;
}

class Edit : public RigModel, public ::testing::WithParamInterface<EditCase> {};

TEST_P(Edit, GivesTheFrameThatSetsThePedal) {
    const EditCase& c = GetParam();
    const std::optional<HexFrame> frame = c.edit(model);
    EXPECT_EQ(textOf(frame), c.frame.isEmpty() ? textOf(std::nullopt) : c.frame);
    EXPECT_EQ(model.level(c.parameter), c.level);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Edit,
    ::testing::Values(
        EditCase{"KnobSendsItsLevel", [](auto& m) { return m.setPotentiometer(Level, 512); },
                 setAt("0A01", "00400000"), Level, 512},
        EditCase{"KnobStopsAtTheTopOfItsTrack",
                 [](auto& m) { return m.setPotentiometer(Drive, 2000); }, setAt("0A00", "007FE000"),
                 Drive, 1023},
        EditCase{"KnobStopsAtZero", [](auto& m) { return m.setPotentiometer(Drive, -3); },
                 setAt("0A00", "00000000"), Drive, 0},
        EditCase{"SwitchOnIsFullScale", [](auto& m) { return m.setSwitch(Bright, true); },
                 setAt("0A02", "00800000"), Bright, 1024},
        EditCase{"SwitchOffIsZero",
                 [](auto& m) {
                     m.setSwitch(Bright, true);
                     return m.setSwitch(Bright, false);
                 },
                 setAt("0A02", "00000000"), Bright, 0},
        EditCase{"SelectorPositionIsItsStepOnTheScale",
                 [](auto& m) { return m.setSelector(Shape, 3); }, setAt("0A04", "00600000"), Shape,
                 768},
        EditCase{"SelectorFirstPositionIsZero",
                 [](auto& m) {
                     m.setSelector(Shape, 2);
                     return m.setSelector(Shape, 0);
                 },
                 setAt("0A04", "00000000"), Shape, 0},
        EditCase{"SelectorPastItsLastPositionGivesNothing",
                 [](auto& m) { return m.setSelector(Shape, 4); }, QString(), Shape, 0},
        EditCase{"SelectorWithoutPositionGivesNothing",
                 [](auto& m) { return m.setSelector(Shape, -1); }, QString(), Shape, 0},
        EditCase{"SwitchEditOfAKnobGivesNothing", [](auto& m) { return m.setSwitch(Drive, true); },
                 QString(), Drive, 0},
        EditCase{"KnobEditOfASwitchGivesNothing",
                 [](auto& m) { return m.setPotentiometer(Bright, 700); }, QString(), Bright, 0},
        EditCase{"ButtonClickOfASelectorGivesNothing",
                 [](auto& m) { return m.toggleButton(Shape); }, QString(), Shape, 0},
        EditCase{"SelectorEditOfAButtonGivesNothing", [](auto& m) { return m.setSelector(Tap, 1); },
                 QString(), Tap, 0},
        EditCase{"ParameterTheEffectDoesNotHaveGivesNothing",
                 [](auto& m) { return m.setPotentiometer(5, 100); }, QString(), 5, 0}),
    [](const ::testing::TestParamInfo<EditCase>& info) { return std::string(info.param.name); });

TEST_F(RigModel, EachButtonClickFlipsBetweenFullScaleAndZero) {
    EXPECT_EQ(textOf(model.toggleButton(Tap)), setAt("0A03", "00800000"));
    EXPECT_TRUE(model.buttonOn(Tap));
    EXPECT_EQ(textOf(model.toggleButton(Tap)), setAt("0A03", "00000000"));
    EXPECT_FALSE(model.buttonOn(Tap));
    EXPECT_EQ(textOf(model.toggleButton(Tap)), setAt("0A03", "00800000"));
}

TEST_F(CompiledEffect, SelectorOfSixteenSendsItsPositionOnTheScale) {
    if (!open(QStringLiteral("Pitchfold")))
        return;
    ASSERT_EQ(model.selectorPositions(3).size(), 16);
    EXPECT_EQ(textOf(model.setSelector(3, 15)), setFrame(3, "00780000"));
    EXPECT_EQ(textOf(model.setSelector(3, 1)), setFrame(3, "00080000"));
}

// Routing.

TEST_F(RigModel, UnassigningAReversedParameterClearsTheFlagAndTellsThePedal) {
    EXPECT_FALSE(model.setSource(Level, 0)); // KI
    EXPECT_EQ(textOf(model.setReversed(Level, true)), "080101");
    // Another source keeps the direction.
    EXPECT_FALSE(model.setSource(Level, 9)); // FL
    EXPECT_TRUE(model.reversed(Level));

    EXPECT_EQ(textOf(model.setSource(Level, NoAssignment)), "08FF01");
    EXPECT_EQ(model.source(Level), NoAssignment);
    EXPECT_FALSE(model.reversed(Level));
    // Nothing left to clear the second time.
    EXPECT_FALSE(model.setSource(Level, NoAssignment));
}

TEST_F(RigModel, OnlyAnAssignedParameterCanBeReversed) {
    EXPECT_FALSE(model.setReversed(Drive, true));
    EXPECT_FALSE(model.reversed(Drive));
    model.setSource(Drive, 11); // EXP
    EXPECT_EQ(textOf(model.setReversed(Drive, true)), "080100");
    EXPECT_EQ(textOf(model.setReversed(Drive, false)), "08FF00");
}

TEST_F(CompiledEffect, ReverseNamesItsParameterInHex) {
    if (!open(QStringLiteral("Octovolt Synth")))
        return;
    model.setSource(10, 1); // KII
    EXPECT_EQ(textOf(model.setReversed(10, true)), "08010A");
}

TEST_F(RigModel, AssignFrameCarriesTheRoutingAndNoneBeyondTheEffect) {
    model.setSource(Drive, 0);  // KI
    model.setSource(Tap, 11);   // EXP
    model.setSource(Shape, 13); // a code no pick box shows
    model.setLed(0, 2);         // RED
    model.setLed(1, 3);         // a readback the effect does not have
    model.setBypassSource(8);   // FS
    model.setPresetSource(NoAssignment);
    const HexFrame frame = model.assignFrame();
    EXPECT_EQ(frame.text, QStringLiteral("0400FFFF0BFF") + QStringLiteral("FF").repeated(11) +
                              QStringLiteral("02FFFFFF") + QStringLiteral("08FF"));
    EXPECT_EQ(frame.byteCount, 23);
}

TEST_F(RigModel, BankModeFixesBypassToFsAndPresetChangeToFl) {
    model.setBypassSource(NoAssignment);
    model.setPresetSource(10); // RMT
    model.fixFootswitchesForBank();
    EXPECT_EQ(model.bypassSource(), 8);
    EXPECT_EQ(model.presetSource(), 9);
    EXPECT_TRUE(model.assignFrame().text.endsWith(QStringLiteral("0809")));
}

// The pedal's answer to Request.

// What the pedal answers for the rig: Drive 512, Bright on, Tap at full
// scale, Shape at 768; Drive on KI, Level on none, Bright on a code no box
// shows, Shape on EXP; LFO on RED; bypass on FL, no preset change.
ParameterState rigAnswer() {
    ParameterState state;
    state.parameterValues = {512, 0, 1024, 1024, 768};
    state.sources.fill(NoAssignment);
    state.sources[Drive] = 0;
    state.sources[Bright] = 13;
    state.sources[Tap] = 5;
    state.sources[Shape] = 11;
    state.leds = {2, 255, 255, 255};
    state.bypassSource = 9;
    state.presetSource = NoAssignment;
    state.reverse[Drive] = true;
    state.reverse[Tap] = false;
    return state;
}

TEST_F(RigModel, RequestAnswerSetsLevelsAndRoutingButNotButtons) {
    EXPECT_FALSE(model.stateRead());
    model.apply(rigAnswer());

    EXPECT_TRUE(model.stateRead());
    EXPECT_EQ(model.level(Drive), 512);
    EXPECT_TRUE(model.switchOn(Bright)); // full scale
    EXPECT_EQ(model.selectorPosition(Shape), 3);
    // A button is momentary on the pedal: its level says nothing.
    EXPECT_FALSE(model.buttonOn(Tap));
    EXPECT_EQ(model.level(Tap), 0);

    EXPECT_EQ(model.source(Drive), 0);
    EXPECT_EQ(model.source(Level), NoAssignment);
    EXPECT_EQ(model.source(Shape), 11);
    EXPECT_EQ(model.led(0), 2);
    EXPECT_EQ(model.bypassSource(), 9);
    EXPECT_EQ(model.presetSource(), NoAssignment);
    EXPECT_TRUE(model.reversed(Drive));
    // The unknown code is kept as reported and goes back as none.
    EXPECT_EQ(model.source(Bright), 13);
    EXPECT_EQ(model.assignFrame().text.mid(2, 10), "00FFFF050B");
}

// The reply carries 32-bit words: shifted right by 13 they reach 524287.
TEST_F(RigModel, RequestLevelsPastFullScaleAreHeldToTheScale) {
    ParameterState answer = rigAnswer();
    answer.parameterValues[Drive] = 524287;
    answer.parameterValues[Shape] = 4000;
    model.apply(answer);
    EXPECT_EQ(model.level(Drive), 1023);
    EXPECT_EQ(model.level(Shape), 1024);
    EXPECT_EQ(model.selectorPosition(Shape), 3);
}

TEST_F(RigModel, RequestAnswerLeavesAClickedButtonAndFlagsItDoesNotName) {
    model.toggleButton(Tap);
    model.setSource(Level, 1);
    model.setReversed(Level, true);
    model.setSource(Tap, 1);
    model.setReversed(Tap, true);
    ParameterState answer = rigAnswer();
    answer.parameterValues[Tap] = 0;
    answer.sources[Level] = 1;
    model.apply(answer);
    EXPECT_TRUE(model.buttonOn(Tap));
    EXPECT_TRUE(model.reversed(Level)) << "neither on nor off: left as it was";
    EXPECT_FALSE(model.reversed(Tap)) << "reported off";
}

TEST_F(CompiledEffect, TopOfTheScaleSelectsTheLastOfTwelvePositions) {
    if (!open(QStringLiteral("Octovolt Synth")))
        return;
    ASSERT_EQ(model.selectorPositions(15).size(), 12);
    ParameterState answer;
    answer.parameterValues[15] = 1023;
    model.apply(answer);
    EXPECT_EQ(model.selectorPosition(15), 11);
}

// What the pedal reports moved.

RealtimeFrame moved(int source, int parameter, int value) {
    RealtimeFrame frame;
    frame.source = source;
    frame.parameter = parameter;
    frame.value = value;
    return frame;
}

TEST_F(RigModel, KnobMovedOnThePedalIsTakenAndSendsNothingBack) {
    const auto knob = model.applyRealtime(moved(0, Level, 700)); // KI
    ASSERT_TRUE(knob);
    EXPECT_EQ(knob->parameter, Level);
    EXPECT_FALSE(knob->echo);
    EXPECT_EQ(model.level(Level), 700);

    const auto expression = model.applyRealtime(moved(11, Drive, 1024));
    ASSERT_TRUE(expression);
    EXPECT_FALSE(expression->echo);
    EXPECT_EQ(model.level(Drive), 1023) << "a knob's track ends at 1023";
}

TEST_F(RigModel, SwitchTurnedOnThePedalIsEchoed) {
    model.setSwitch(Bright, true);
    const auto off = model.applyRealtime(moved(5, Bright, 0)); // B1
    ASSERT_TRUE(off);
    EXPECT_EQ(off->parameter, Bright);
    EXPECT_EQ(textOf(off->echo), setAt("0A02", "00000000"));
    EXPECT_FALSE(model.switchOn(Bright));
    // The same position again changes nothing.
    EXPECT_FALSE(model.applyRealtime(moved(5, Bright, 0)));
    const auto on = model.applyRealtime(moved(8, Bright, 1024)); // FS
    ASSERT_TRUE(on);
    EXPECT_EQ(textOf(on->echo), setAt("0A02", "00800000"));
}

TEST_F(RigModel, ButtonPressedOnThePedalOnlyChangesItsState) {
    const auto pressed = model.applyRealtime(moved(6, Tap, 1024));
    ASSERT_TRUE(pressed);
    EXPECT_EQ(pressed->parameter, Tap);
    EXPECT_FALSE(pressed->echo);
    EXPECT_TRUE(model.buttonOn(Tap));
    // The next click releases it.
    EXPECT_EQ(textOf(model.toggleButton(Tap)), setAt("0A03", "00000000"));
}

TEST_F(RigModel, SelectorMovedOnThePedalTakesTheNearestLowerPositionAndEchoesIt) {
    struct Step {
        int level;
        int position;
        const char* echo; // nullptr: the position did not change
    };
    const Step steps[] = {{1024, 3, "00600000"},
                          {300, 1, "00200000"},
                          {255, 0, "00000000"},
                          {768, 3, "00600000"},
                          {800, 3, nullptr}};
    for (const Step& s : steps) {
        const auto change = model.applyRealtime(moved(0, Shape, s.level));
        if (s.echo) {
            ASSERT_TRUE(change) << s.level;
            EXPECT_EQ(textOf(change->echo), setAt("0A04", s.echo)) << s.level;
        } else {
            EXPECT_FALSE(change) << s.level;
        }
        EXPECT_EQ(model.selectorPosition(Shape), s.position) << s.level;
    }
}

TEST_F(RigModel, FramesForParametersTheEffectDoesNotHaveAreIgnored) {
    const RealtimeFrame frames[] = {
        moved(0, 5, 100),       // past the last parameter
        moved(5, 15, 1024),     // past the last parameter
        moved(0, 200, 100),     // no parameter at all
        moved(0, -1, 100),      // no parameter at all
        moved(12, 0, 100),      // no such source
        moved(-1, 0, 100),      // no such source
        moved(5, Drive, 1024),  // a switch on a knob's parameter
        moved(0, Bright, 1024), // a knob on a switch's parameter
        moved(0, Tap, 1024),    // a knob on a button's parameter
    };
    for (const RealtimeFrame& f : frames)
        EXPECT_FALSE(model.applyRealtime(f)) << f.source << " " << f.parameter;
    EXPECT_EQ(model.level(Drive), 0);
    EXPECT_FALSE(model.switchOn(Bright));
    EXPECT_FALSE(model.buttonOn(Tap));

    ParameterModel empty;
    EXPECT_FALSE(empty.applyRealtime(moved(0, 0, 100)));
}

// Loads.

TEST_F(RigModel, EveryLoadIsANewGenerationStartingNeutral) {
    model.setPotentiometer(Drive, 300);
    model.toggleButton(Tap);
    model.apply(rigAnswer());
    const quint64 first = model.generation();

    ASSERT_TRUE(model.load(TestRig, &error, rig.store()));
    const quint64 second = model.generation();
    EXPECT_NE(second, first);
    EXPECT_FALSE(model.stateRead());
    EXPECT_EQ(model.level(Drive), 0);
    EXPECT_FALSE(model.buttonOn(Tap));
    EXPECT_EQ(model.source(Drive), NoAssignment);
    EXPECT_FALSE(model.reversed(Drive));
    EXPECT_EQ(model.bypassSource(), NoAssignment);
    EXPECT_EQ(model.led(0), NoAssignment);

    // A failed load is a generation too: an answer asked for before it
    // belongs to neither.
    EXPECT_FALSE(model.load(QStringLiteral("No Such Effect"), &error, rig.store()));
    EXPECT_NE(model.generation(), second);
    EXPECT_FALSE(model.isLoaded());
    EXPECT_EQ(model.parameterCount(), 0);
    EXPECT_TRUE(error.startsWith("Error loading resource: ")) << error.toStdString();
}

} // namespace
} // namespace kestra
