// The pedal's answer to Request: every parameter level, the routing, the
// reverse flags, the mode and the MIDI channel, sent as decimal numbers each
// followed by CR LF. Pure: the connection receives it.
#pragma once

#include "protocol/Frames.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace kestra {

// The numbers of a reply, in order, each modulo 256. The reply is scanned as
// upper-case hex text: a "D" (of CR) ends a number, an "A" (of LF) starts
// the next one. A number of 1..3 digits is appended; any other length
// repeats the previous number. Nothing (and error set) when a number holds
// something other than decimal digits. Logs the numbers.
std::optional<std::vector<int>> decodeParameterState(const QByteArray& reply,
                                                     QString* error = nullptr);

// Numbers a reply must hold for parameterCount parameters.
constexpr int parameterStateSize(int parameterCount) {
    return 4 * parameterCount + 41;
}

struct ParameterState {
    // Levels on the 0..1024 scale; slots from numOfParameters on stay 0.
    std::array<int, frames::MaxParameters> parameterValues{};
    // Routing codes as the pedal reports them (255 none); unread slots 255.
    std::array<int, frames::MaxParameters> sources{};
    int bypassSource = 0xFF;
    int presetSource = 0xFF;
    std::array<int, frames::MaxReadbacks> leds{};
    // On, off, or nothing for a flag the pedal reported as neither.
    std::array<std::optional<bool>, frames::MaxParameters> reverse{};
    // Bank mode, preset mode, or nothing for an unknown code.
    std::optional<bool> bankMode;
    int bankOrPresetNumber = 0;
    // 0 is OMNI (the pedal reports 0 or 255), else 1..16; nothing otherwise.
    std::optional<int> midiChannel;
};

// Reads the numbers of a reply for the effect shown. Nothing (and error set)
// when fewer numbers arrived than the effect needs.
std::optional<ParameterState> interpretParameterState(const std::vector<int>& receiveArray,
                                                      int numOfParameters, int numOfReadbacks,
                                                      QString* error = nullptr);

// Both steps at once.
std::optional<ParameterState> parseParameterState(const QByteArray& reply, int numOfParameters,
                                                  int numOfReadbacks, QString* error = nullptr);

} // namespace kestra
