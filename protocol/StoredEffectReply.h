// The pedal's answer to Get stored effect: four decimal lines (store status,
// effect number, effect version, firmware version), each ended by CR LF.
#pragma once

#include <QString>
#include <optional>

namespace kestra {

struct StoredEffectReply {
    int effectNumber = 0;
    int effectVersion = 0;
    int firmwareVersion = 0;
    bool empty = false; // lines 1 and 2 both "255", or both "0"
};

// Nullopt with *error set when the text is not four decimal numbers.
std::optional<StoredEffectReply> parseStoredEffectReply(const QString& text, QString* error);

} // namespace kestra
