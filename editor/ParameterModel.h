// The parameters of one effect as the editor knows them: what the descriptor
// shows (knobs, switches, buttons, selectors, readbacks), each parameter's
// address in the effect's image, its level on the pedal, and the routing to
// the pedal's knobs, switches, footswitches and LEDs. No widgets: the
// parameter window shows this model, the command-line program edits it, and
// each edit gives the frame that tells the pedal.
#pragma once

#include "catalogue/ControlDescriptor.h"
#include "catalogue/ResourceStore.h"
#include "editor/ParameterLogic.h"
#include "protocol/Frames.h"
#include "protocol/Inbound.h"
#include "protocol/ParameterStateReply.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

namespace kestra {

class ParameterModel {
public:
    ParameterModel();

    // Loads effectName's descriptor and its image's parameter addresses; all
    // levels neutral, no routing. On failure the model is empty and error
    // says why. Every load, failed or not, is a new generation.
    bool load(const QString& effectName, QString* error,
              const ResourceStore& store = ResourceStore::compiled());
    void clear();

    bool isLoaded() const { return loaded_; }
    // Changes with every load: an answer requested for an earlier load must
    // not be applied to this one.
    quint64 generation() const { return generation_; }
    const QString& effectName() const { return effectName_; }
    const ControlDescriptor& descriptor() const { return descriptor_; }
    int parameterCount() const { return descriptor_.numOfParameters; }
    int readbackCount() const { return descriptor_.numOfReadbacks; }

    ControlKind kind(int parameter) const { return descriptor_.kindOf(parameter); }
    // A parameter's label; a switch's off and on texts; a selector's positions.
    QString name(int parameter) const;
    SwitchText switchText(int parameter) const;
    QStringList selectorPositions(int parameter) const;
    QString readbackName(int readback) const;
    // Four hex digits from the image's address table.
    QString address(int parameter) const;

    // Levels on the 0..1024 scale, as far as the editor knows the pedal's.
    int level(int parameter) const;
    bool switchOn(int parameter) const { return level(parameter) != 0; }
    // The selector position a level stands for; -1 for no selector.
    int selectorPosition(int parameter) const;
    // A button's latched state (each click flips it; the pedal's footswitch
    // sets it).
    bool buttonOn(int parameter) const;
    // Request has read the pedal's state into this generation.
    bool stateRead() const { return stateRead_; }
    // What was read no longer tells the pedal's state (the link ended, the
    // pedal holds something else): the values stay shown until read again.
    void forgetState() { stateRead_ = false; }

    // Player edits: each gives the frame that sets the pedal, or nothing for
    // a parameter of another kind.
    std::optional<HexFrame> setPotentiometer(int parameter, int level);
    std::optional<HexFrame> setSwitch(int parameter, bool on);
    std::optional<HexFrame> toggleButton(int parameter);
    std::optional<HexFrame> setSelector(int parameter, int position);

    // Routing codes (255 none).
    int source(int parameter) const;
    // Unassigning a parameter also clears its reverse flag; the frame that
    // tells the pedal so is returned then.
    std::optional<HexFrame> setSource(int parameter, int code);
    bool reversed(int parameter) const;
    // The Reverse frame; nothing for an unassigned parameter, whose box a
    // player cannot reach.
    std::optional<HexFrame> setReversed(int parameter, bool on);
    // A configuration file's flag, taken as the file says whatever the
    // source: the pedal keeps a direction for a parameter without one.
    std::optional<HexFrame> loadReversed(int parameter, bool on);
    int led(int readback) const;
    void setLed(int readback, int code);
    int bypassSource() const { return bypassSource_; }
    int presetSource() const { return presetSource_; }
    void setBypassSource(int code) { bypassSource_ = code; }
    void setPresetSource(int code) { presetSource_ = code; }
    // In FX bank mode the pedal toggles bypass with FS and steps banks with
    // FL: the routing says so and cannot be changed.
    void fixFootswitchesForBank();
    HexFrame assignFrame() const;

    // The pedal's state read by Request: levels, routing and reverse flags.
    void apply(const ParameterState& state);

    // What a frame from the pedal changed.
    struct RealtimeChange {
        int parameter = -1;
        // The Set parameter frame sent back for a switch or selector the
        // pedal moved, as the pedal expects.
        std::optional<HexFrame> echo;
    };
    // A knob, switch or expression input moved on the pedal. Nothing when the
    // frame is for no parameter of this effect or changes nothing.
    std::optional<RealtimeChange> applyRealtime(const RealtimeFrame& frame);

private:
    bool valid(int parameter) const { return parameter >= 0 && parameter < parameterCount(); }
    std::optional<HexFrame> setLevel(int parameter, int level, std::uint32_t value,
                                     bool potentiometer);

    ControlDescriptor descriptor_;
    QString effectName_;
    bool loaded_ = false;
    quint64 generation_ = 0;
    bool stateRead_ = false;
    std::array<QString, frames::MaxParameters> addresses_;
    std::array<int, frames::MaxParameters> levels_{};
    std::array<bool, frames::MaxParameters> buttons_{};
    std::array<int, frames::MaxParameters> sources_{};
    std::array<bool, frames::MaxParameters> reverse_{};
    std::array<int, frames::MaxReadbacks> leds_{};
    int bypassSource_ = NoAssignment;
    int presetSource_ = NoAssignment;
};

} // namespace kestra
