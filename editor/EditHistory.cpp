#include "editor/EditHistory.h"

namespace kestra {

namespace {
void add(std::vector<HexFrame>& frames, const std::optional<HexFrame>& frame) {
    if (frame)
        frames.push_back(*frame);
}
} // namespace

EditHistory::Value EditHistory::read(EditTarget target, int index) const {
    switch (target) {
    case EditTarget::Potentiometer:
        return {model_.level(index)};
    case EditTarget::Switch:
        return {model_.switchOn(index) ? 1 : 0};
    case EditTarget::Button:
        return {model_.buttonOn(index) ? 1 : 0};
    case EditTarget::Selector:
        return {model_.selectorPosition(index)};
    case EditTarget::Source:
        return {model_.source(index), model_.reversed(index)};
    case EditTarget::Reverse:
        return {model_.reversed(index) ? 1 : 0};
    case EditTarget::Led:
        return {model_.led(index)};
    case EditTarget::BypassSource:
        return {model_.bypassSource()};
    case EditTarget::PresetSource:
        return {model_.presetSource()};
    }
    return {};
}

std::vector<HexFrame> EditHistory::change(EditTarget target, int index, int value) {
    std::vector<HexFrame> frames;
    switch (target) {
    case EditTarget::Potentiometer:
        add(frames, model_.setPotentiometer(index, value));
        break;
    case EditTarget::Switch:
        add(frames, model_.setSwitch(index, value != 0));
        break;
    case EditTarget::Button:
        // A click flips the latched state; the value says where it ends.
        if (model_.buttonOn(index) != (value != 0))
            add(frames, model_.toggleButton(index));
        break;
    case EditTarget::Selector:
        add(frames, model_.setSelector(index, value));
        break;
    case EditTarget::Source:
        add(frames, model_.setSource(index, value));
        break;
    case EditTarget::Reverse:
        add(frames, model_.setReversed(index, value != 0));
        break;
    case EditTarget::Led:
        model_.setLed(index, value);
        break;
    case EditTarget::BypassSource:
        model_.setBypassSource(value);
        break;
    case EditTarget::PresetSource:
        model_.setPresetSource(value);
        break;
    }
    return frames;
}

std::vector<HexFrame> EditHistory::restore(EditTarget target, int index, const Value& value) {
    std::vector<HexFrame> frames = change(target, index, value.value);
    // Unassigning cleared the reverse flag: giving the source back gives
    // the flag back too.
    if (target == EditTarget::Source && model_.reversed(index) != value.reversed)
        add(frames, model_.setReversed(index, value.reversed));
    return frames;
}

std::vector<HexFrame> EditHistory::apply(const Edit& edit) {
    const Value before = read(edit.target, edit.index);
    std::vector<HexFrame> frames = change(edit.target, edit.index, edit.value);
    const Value after = read(edit.target, edit.index);
    if (after == before)
        return frames;
    if (gesture_ && position_ > 0 && position_ == steps_.size()) {
        Step& last = steps_[position_ - 1];
        if (last.gesture && last.target == edit.target && last.index == edit.index) {
            last.after = after;
            return frames;
        }
    }
    steps_.resize(position_);
    // A saved state among the steps dropped can never be reached again.
    if (savedPosition_ != NoSavedPosition && savedPosition_ > position_)
        savedPosition_ = NoSavedPosition;
    steps_.push_back({edit.target, edit.index, before, after, gesture_});
    ++position_;
    return frames;
}

std::vector<HexFrame> EditHistory::undo() {
    if (!canUndo())
        return {};
    endGesture();
    --position_;
    const Step& step = steps_[position_];
    return restore(step.target, step.index, step.before);
}

std::vector<HexFrame> EditHistory::redo() {
    if (!canRedo())
        return {};
    endGesture();
    const Step& step = steps_[position_];
    ++position_;
    return restore(step.target, step.index, step.after);
}

void EditHistory::beginGesture() {
    gesture_ = true;
}

void EditHistory::endGesture() {
    gesture_ = false;
    for (Step& step : steps_)
        step.gesture = false;
}

void EditHistory::clear() {
    steps_.clear();
    position_ = 0;
    savedPosition_ = 0;
    changedOutside_ = false;
    gesture_ = false;
}

bool EditHistory::unsaved() const {
    return changedOutside_ || savedPosition_ != position_;
}

void EditHistory::markSaved() {
    savedPosition_ = position_;
    changedOutside_ = false;
}

} // namespace kestra
