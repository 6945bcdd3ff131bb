// Undo and redo of the player's edits of a parameter model, and whether the
// pedal runs edits that were not stored on it. Every edit goes through the
// history: it changes the model, keeps the value before and after, and
// gives the frames that tell the pedal. Undo and redo set the model to the
// value kept and give the frames that set the pedal to it. Edits the pedal
// makes (a knob turned) are not the player's and are not kept.
#pragma once

#include "editor/ParameterModel.h"

#include <vector>

namespace kestra {

enum class EditTarget {
    Potentiometer, // value: level 0..1023
    Switch,        // value: 0 off, 1 on
    Button,        // value: 0 off, 1 on (latched)
    Selector,      // value: position
    Source,        // value: source code (NoAssignment for none)
    Reverse,       // value: 0 or 1
    Led,           // index: readback; value: LED code
    BypassSource,  // value: footswitch code
    PresetSource,  // value: footswitch code
};

struct Edit {
    EditTarget target = EditTarget::Potentiometer;
    int index = 0; // parameter, or readback for an LED
    int value = 0;
};

class EditHistory {
public:
    explicit EditHistory(ParameterModel& model) : model_(model) {}

    // Applies the edit to the model and keeps it, unless it changed nothing.
    // Returns the frames the model gave (none for routing, which Assign
    // sends).
    std::vector<HexFrame> apply(const Edit& edit);
    // Sets the model back to the value before the last edit kept, or forward
    // to the value after the next one; the frames set the pedal to it.
    std::vector<HexFrame> undo();
    std::vector<HexFrame> redo();
    bool canUndo() const { return position_ > 0; }
    bool canRedo() const { return position_ < steps_.size(); }

    // Between these, edits of one control are one step (a track bar dragged
    // from press to release).
    void beginGesture();
    void endGesture();

    // Another effect: nothing to undo, nothing unsaved.
    void clear();

    // The pedal runs edits made since the last markSaved(): by this history
    // (undone ones aside) or outside it (markChanged()).
    bool unsaved() const;
    // The pedal's settings were stored, or its state was read.
    void markSaved();
    // The pedal was changed by something other than these edits (a
    // configuration loaded from a file).
    void markChanged() { changedOutside_ = true; }

private:
    // What a target holds; a source also carries its parameter's reverse
    // flag, which unassigning clears.
    struct Value {
        int value = 0;
        bool reversed = false;
        bool operator==(const Value&) const = default;
    };
    struct Step {
        EditTarget target;
        int index;
        Value before;
        Value after;
        bool gesture; // made during the gesture still open
    };
    static constexpr std::size_t NoSavedPosition = static_cast<std::size_t>(-1);

    Value read(EditTarget target, int index) const;
    std::vector<HexFrame> change(EditTarget target, int index, int value);
    std::vector<HexFrame> restore(EditTarget target, int index, const Value& value);

    ParameterModel& model_;
    std::vector<Step> steps_;
    std::size_t position_ = 0; // steps before it are done, from it undone
    std::size_t savedPosition_ = 0;
    bool changedOutside_ = false;
    bool gesture_ = false;
};

} // namespace kestra
