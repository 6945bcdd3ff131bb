// Conversions between what the pedal stores and what the parameter window
// shows: selector positions from levels, and routing codes from pick-box
// positions and back. No widgets here.
#pragma once

#include "protocol/Frames.h"

#include <QStringList>
#include <array>

namespace kestra {

// Routing code of "nothing assigned".
inline constexpr int NoAssignment = frames::NoRouting;

// Pick-box items. The last item of each list is "--" (nothing assigned).
QStringList assignSourceNames(); // "KI".."EXP", "--"
QStringList readbackLedNames();  // "SX","DX","RED","GREEN","--"
QStringList footswitchNames();   // "FS","FL","RMT","--"
// What each item of those lists means to a player, item by item ("knob I"
// for "KI"), and the whole list spelled out as "KI = knob I" lines.
QStringList assignSourceMeanings();
QStringList readbackLedMeanings();
QStringList footswitchMeanings();
QString spelledOut(const QStringList& names, const QStringList& meanings);

inline constexpr int NoSourcePosition = 12;
inline constexpr int NoLedPosition = 4;
inline constexpr int NoFootswitchPosition = 3;
// Footswitch codes follow the twelve parameter sources: FS is 8 as a
// footswitch but position 0 of its box.
inline constexpr int FootswitchCodeOffset = 8;

// Selector position for a level on the 0..1024 scale: level div (1024 div
// positions); the full-scale level lands one past the end and is pulled back,
// and anything further is clamped. -1 when positions is not positive.
int selectorPositionForLevel(int level, int positions);

// Pick-box position for a routing code; -1 for a code that names no item.
int sourcePositionForCode(int code);     // 0..11, 255 -> 12
int footswitchPositionForCode(int code); // 8..10 -> 0..2, 255 -> 3
int ledPositionForCode(int code);        // 0..3, 4 or 255 -> 4

// Routing code for a pick-box position; "--" or no selection is 255.
int sourceCodeForPosition(int position);
int footswitchCodeForPosition(int position);
int ledCodeForPosition(int position);

// What the Assign frame carries, from the positions of the pick boxes.
// Sources beyond numOfParameters and LEDs beyond numOfReadbacks are 255.
struct AssignContent {
    std::array<int, 16> sources{};
    std::array<int, 4> leds{};
    int bypass = NoAssignment;
    int preset = NoAssignment;

    HexFrame frame() const { return frames::assign(sources, leds, bypass, preset); }
};
AssignContent assignContent(const std::array<int, 16>& sourcePositions, int numOfParameters,
                            const std::array<int, 4>& ledPositions, int numOfReadbacks,
                            int bypassAssignment, int presetAssignment);

} // namespace kestra
