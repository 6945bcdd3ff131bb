// The pedal's operations as exchanges for the connection: what is sent, what
// is awaited and how long, and what the answer means. Windows and the
// command-line program run the same exchanges and show the outcome their
// own way; nothing here shows anything.
#pragma once

#include "connection/Exchange.h"
#include "protocol/ParameterStateReply.h"
#include "protocol/StoredEffectReply.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace kestra {

// How long the pedal may take to begin an answer.
inline constexpr int ReplyTimeLimitMs = 3000;
// An EEPROM dump is 16,385 bytes, about 1.4 s on the line.
inline constexpr int EepromDumpTimeLimitMs = 4000;
// The pedal takes this long to settle in bypass before an upload.
inline constexpr int BypassSettleMs = 40;

// What the player reads about an exchange that did not complete; empty for
// one the player ended or that ended with the link (which says so itself).
QString failureMessage(const ExchangeResult& result);

// The text the player reads when an exchange got no answer.
QString noAnswerMessage(const QString& what);

// Why Link failed, and what to do about it; advice is the backend's
// paragraph on what to check (Port::advice), added at the end.
QString linkFailureMessage(const PortResult& result, const QString& advice = {});

// What Scan says when no adapter is attached, with the backend's advice.
QString noDeviceMessage(const QString& advice);

template <typename T>
struct Outcome {
    ExchangeResult result;
    std::optional<T> value; // only when the exchange completed and the answer made sense
    QString error;          // for the player when value is empty (may be empty, see above)

    bool ok() const { return value.has_value(); }
};

// Get stored effect: the four-line reply, parsed.
Exchange readStoredEffect(std::function<void(const Outcome<StoredEffectReply>&)> done);

// Request parameter state for an effect of that many parameters and
// readbacks.
Exchange requestParameterState(int parameters, int readbacks,
                               std::function<void(const Outcome<ParameterState>&)> done);

// Bypass on, a moment to settle, then the image as one Upload effect frame.
Exchange uploadImage(const QString& imageText, std::function<void(const ExchangeResult&)> done);

// Read EEPROM of one device; the value is the 16,384 bytes.
Exchange readEeprom(const QString& i2cAddress,
                    std::function<void(const Outcome<QByteArray>&)> done);

// Every device of the settings memory erased and read back: the values are
// the dumps of 0x50 and 0x51, in that order.
Exchange eraseSettings(std::function<void(const Outcome<std::pair<QByteArray, QByteArray>>&)> done);

// Exchanges of one frame and its pause, for the operations that must not
// overlap anything (Store settings, Erase EEPROM).
Exchange frameExchange(const QString& name, const HexFrame& frame,
                       std::function<void(const ExchangeResult&)> done);

} // namespace kestra
