// Undo and redo of the player's edits: the frames that set the pedal back
// and forward, a drag kept as one step, and whether the pedal runs edits it
// has not stored. The test rig's addresses make every frame readable.
#include "editor/EditHistory.h"

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
using test::TestRig;

QStringList texts(const std::vector<HexFrame>& frames) {
    QStringList all;
    for (const HexFrame& frame : frames)
        all << frame.text;
    return all;
}

class History : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(model.load(TestRig, &error, rig.store())) << error.toStdString();
    }
    QStringList apply(EditTarget target, int index, int value) {
        return texts(history.apply({target, index, value}));
    }
    QStringList undo() { return texts(history.undo()); }
    QStringList redo() { return texts(history.redo()); }

    test::RigCatalogue rig;
    ParameterModel model;
    EditHistory history{model};
};

struct StepCase {
    const char* name;
    Edit edit;
    QStringList frames; // of the edit and of redo
    QStringList undone; // of undo
};
void PrintTo(const StepCase& c, std::ostream* os) {
    *os << c.name;
}

class EachControl : public History, public ::testing::WithParamInterface<StepCase> {};

TEST_P(EachControl, UndoSendsTheValueBeforeAndRedoTheValueAfter) {
    const StepCase& c = GetParam();
    // Routing a parameter first lets its reverse box be used; that is a step too.
    apply(EditTarget::Source, Drive, 0);
    ASSERT_EQ(apply(c.edit.target, c.edit.index, c.edit.value), c.frames);
    ASSERT_TRUE(history.canUndo());
    EXPECT_EQ(undo(), c.undone);
    EXPECT_TRUE(history.canRedo());
    EXPECT_EQ(redo(), c.frames);
    EXPECT_FALSE(history.canRedo());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EachControl,
    ::testing::Values(StepCase{"TrackBar",
                               {EditTarget::Potentiometer, Level, 512},
                               {setAt("0A01", "00400000")},
                               {setAt("0A01", "00000000")}},
                      StepCase{"Switch",
                               {EditTarget::Switch, Bright, 1},
                               {setAt("0A02", "00800000")},
                               {setAt("0A02", "00000000")}},
                      StepCase{"Button",
                               {EditTarget::Button, Tap, 1},
                               {setAt("0A03", "00800000")},
                               {setAt("0A03", "00000000")}},
                      StepCase{"Selector",
                               {EditTarget::Selector, Shape, 3},
                               {setAt("0A04", "00600000")},
                               {setAt("0A04", "00000000")}},
                      StepCase{
                          "ReverseBox", {EditTarget::Reverse, Drive, 1}, {"080100"}, {"08FF00"}},
                      // Routing reaches the pedal with Assign: the model alone changes.
                      StepCase{"SourceBox", {EditTarget::Source, Level, 5}, {}, {}},
                      StepCase{"LedBox", {EditTarget::Led, 0, 2}, {}, {}},
                      StepCase{"BypassBox", {EditTarget::BypassSource, 0, 12}, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(History, UndoWalksBackThroughEveryStepAndRedoForward) {
    apply(EditTarget::Potentiometer, Drive, 100);
    apply(EditTarget::Potentiometer, Drive, 200);
    apply(EditTarget::Selector, Shape, 2);
    EXPECT_EQ(undo(), QStringList{setAt("0A04", "00000000")});
    EXPECT_EQ(undo(), QStringList{setAt("0A00", "000C8000")});
    EXPECT_EQ(model.level(Drive), 100);
    EXPECT_EQ(undo(), QStringList{setAt("0A00", "00000000")});
    EXPECT_FALSE(history.canUndo());
    EXPECT_TRUE(undo().isEmpty()) << "nothing left to undo sends nothing";
    EXPECT_EQ(redo(), QStringList{setAt("0A00", "000C8000")});
    EXPECT_EQ(redo(), QStringList{setAt("0A00", "00190000")});
    EXPECT_EQ(model.level(Drive), 200);
}

TEST_F(History, ADragIsOneStepAndTheNextEditAnother) {
    history.beginGesture();
    for (int level : {10, 300, 700, 650})
        apply(EditTarget::Potentiometer, Drive, level);
    history.endGesture();
    apply(EditTarget::Potentiometer, Drive, 900); // a key press after the drag

    EXPECT_EQ(undo(), QStringList{setAt("0A00", "00514000")}) << "back to the drag's end, 650";
    EXPECT_EQ(undo(), QStringList{setAt("0A00", "00000000")}) << "back to before the drag";
    EXPECT_FALSE(history.canUndo());
}

TEST_F(History, ADragOverTwoControlsIsAStepForEach) {
    history.beginGesture();
    apply(EditTarget::Potentiometer, Drive, 10);
    apply(EditTarget::Potentiometer, Level, 20);
    apply(EditTarget::Potentiometer, Level, 30);
    history.endGesture();
    EXPECT_EQ(undo(), QStringList{setAt("0A01", "00000000")});
    EXPECT_EQ(undo(), QStringList{setAt("0A00", "00000000")});
}

TEST_F(History, AnEditAfterUndoDropsWhatCouldBeRedone) {
    apply(EditTarget::Potentiometer, Drive, 100);
    apply(EditTarget::Potentiometer, Drive, 200);
    undo();
    apply(EditTarget::Switch, Bright, 1);
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(undo(), QStringList{setAt("0A02", "00000000")});
    EXPECT_EQ(undo(), QStringList{setAt("0A00", "00000000")});
}

TEST_F(History, AnEditThatChangesNothingIsNoStep) {
    apply(EditTarget::Selector, Shape, 0);
    apply(EditTarget::Source, Level, NoAssignment);
    EXPECT_FALSE(history.canUndo());
    EXPECT_FALSE(history.unsaved());
}

// Unassigning a reversed parameter clears its flag on the pedal: undoing it
// gives the source back and the flag with it.
TEST_F(History, UndoingAnUnassignmentGivesTheReverseFlagBack) {
    apply(EditTarget::Source, Level, 0);
    apply(EditTarget::Reverse, Level, 1);
    EXPECT_EQ(apply(EditTarget::Source, Level, NoAssignment), QStringList{"08FF01"});
    EXPECT_EQ(undo(), QStringList{"080101"});
    EXPECT_EQ(model.source(Level), 0);
    EXPECT_TRUE(model.reversed(Level));
    EXPECT_EQ(redo(), QStringList{"08FF01"});
    EXPECT_FALSE(model.reversed(Level));
}

TEST_F(History, UnsavedFollowsTheEditsSinceTheLastStoreOrRead) {
    EXPECT_FALSE(history.unsaved());
    apply(EditTarget::Potentiometer, Drive, 100);
    EXPECT_TRUE(history.unsaved());
    history.markSaved();
    EXPECT_FALSE(history.unsaved());

    apply(EditTarget::Potentiometer, Drive, 200);
    EXPECT_TRUE(history.unsaved());
    undo();
    EXPECT_FALSE(history.unsaved()) << "the pedal runs what it stored again";
    undo();
    EXPECT_TRUE(history.unsaved()) << "undone past the store";
    redo();
    EXPECT_FALSE(history.unsaved());

    history.markChanged();
    EXPECT_TRUE(history.unsaved()) << "a file loaded is an edit no undo takes back";
    history.markSaved();
    EXPECT_FALSE(history.unsaved());
}

TEST_F(History, AStoreAmongDroppedStepsCannotBeReachedAgain) {
    apply(EditTarget::Potentiometer, Drive, 100);
    history.markSaved();
    undo();
    apply(EditTarget::Potentiometer, Drive, 300);
    EXPECT_TRUE(history.unsaved());
    undo();
    EXPECT_TRUE(history.unsaved()) << "the pedal stored 100, it runs 0";
}

TEST_F(History, ClearForgetsEveryStepAndTheUnsavedEdits) {
    apply(EditTarget::Potentiometer, Drive, 100);
    undo();
    history.markChanged();
    history.clear();
    EXPECT_FALSE(history.canUndo());
    EXPECT_FALSE(history.canRedo());
    EXPECT_FALSE(history.unsaved());
}

} // namespace
} // namespace kestra
