// The pedal's controls and LEDs as a player meets them on the box, and the
// one set of rules for routing to them: a parameter goes on a knob, switch,
// footswitch or the expression input; a readback on an LED, one readback an
// LED; the bypass toggle and the preset change on a footswitch, except in
// FX bank mode, where the pedal keeps them on FS and FL. The pick boxes and
// the pedal picture both route through these rules.
#pragma once

#include "editor/EditHistory.h"
#include "editor/ParameterModel.h"

#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace kestra {

enum class PedalControl {
    KnobI,
    KnobII,
    KnobIII,
    KnobIV,
    KnobV,
    SwitchB1,
    SwitchB2,
    SwitchB3,
    FootswitchFS,
    FootswitchFL,
    Remote,
    Expression,
    LedSX,
    LedDX,
    LedRed,
    LedGreen,
};
inline constexpr int PedalControlCount = 16;
std::array<PedalControl, PedalControlCount> allPedalControls();

bool isKnob(PedalControl control);
bool isToggle(PedalControl control); // B1..B3
bool isFootswitch(PedalControl control);
bool isLed(PedalControl control);
// The routing code the pedal uses: a source code for the knobs, switches,
// footswitches and EXP, an LED code for an LED.
int routingCode(PedalControl control);
// The control a source code or an LED code names.
std::optional<PedalControl> sourceControl(int code);
std::optional<PedalControl> ledControl(int code);
// The code printed on the pedal ("KII", "FS", "GREEN").
QString controlCode(PedalControl control);
// What a player calls it ("Knob II", "Footswitch FS", "LED GREEN").
QString controlName(PedalControl control);

// What a player routes: a parameter, a readback, or a footswitch function.
struct RoutedItem {
    enum class Kind { Parameter, Readback, Bypass, Preset };
    Kind kind = Kind::Parameter;
    int index = 0; // parameter or readback; 0 for the footswitch functions

    static RoutedItem parameter(int i) { return {Kind::Parameter, i}; }
    static RoutedItem readback(int k) { return {Kind::Readback, k}; }
    static RoutedItem bypass() { return {Kind::Bypass, 0}; }
    static RoutedItem preset() { return {Kind::Preset, 0}; }
    bool operator==(const RoutedItem&) const = default;

    // A short text for carrying the item (a drag): "parameter 3".
    QString toText() const;
    static std::optional<RoutedItem> fromText(const QString& text);
};

// The item's name as the parameter window shows it.
QString routedItemName(const ParameterModel& model, const RoutedItem& item);
// The control the item is routed to now; nothing when none.
std::optional<PedalControl> routedControl(const ParameterModel& model, const RoutedItem& item);
// Everything routed to control, parameters first, then readbacks, bypass
// and preset change.
std::vector<RoutedItem> routedTo(const ParameterModel& model, PedalControl control);

// Whether item may go on control (or, with no control, be taken off).
bool mayRoute(const ParameterModel& model, const RoutedItem& item,
              std::optional<PedalControl> control, bool bankMode);
// The edits that route item to control, or with no control take it off;
// none when the rules refuse or nothing would change.
std::vector<Edit> routingEdits(const ParameterModel& model, const RoutedItem& item,
                               std::optional<PedalControl> control, bool bankMode);

} // namespace kestra
